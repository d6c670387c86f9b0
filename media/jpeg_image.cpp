#include "media/jpeg_image.h"

// libjpeg's headers need stdio's FILE first.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

// jpeglib.h first: jerror.h's list of codes depends on its configuration.
#include <jpeglib.h>
#include <jerror.h>

#include "media/jpeg_sections.h"
#include "media/kept_block.h"

namespace {

// Errors return to the caller instead of ending the process; warnings
// (such as a truncated file) are not printed.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool ended = false;  // the data ran out: what follows from that is not said again
    // Why the job failed, in our words: set before an error of our own, or
    // from libjpeg's code when it raises one.
    std::string words;
    int code = 0;  // libjpeg's code of the error that ended the job
    // The library's own maker of sample rows, which ZeroedSampleRows wraps.
    JSAMPARRAY (*librarySampleRows)(j_common_ptr, int, JDIMENSION, JDIMENSION) = nullptr;
};

void ErrorExit(j_common_ptr info)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (err->words.empty()) err->words = JpegTroubleWords(info->err->msg_code);
    err->code = info->err->msg_code;
    std::longjmp(err->jump, 1);
}

// Warnings are not printed: the thread's collector, when there is one,
// keeps those that mean part of the picture is lost, each kind once.
thread_local CJpegWarnings* gWarnings = nullptr;

// Every warning comes here, not only the first (libjpeg's own count would
// let a harmless one hide the damage after it); trace messages are dropped.
void EmitMessage(j_common_ptr info, int level)
{
    if (level >= 0) return;
    ++info->err->num_warnings;
    const int code = info->err->msg_code;
    // A file cut short ends in the marker libjpeg puts there, which the
    // picture's data then runs into.
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (code == JWRN_HIT_MARKER && err->ended) return;
    if (code == JWRN_JPEG_EOF) err->ended = true;
    if (!gWarnings || info->is_decompressor == 0 || !JpegWarningMeansDamage(code)) return;
    gWarnings->Add(JpegTroubleWords(code));
}

void InstallErrorManager(ErrorManager& err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
}

// libjpeg-turbo's SIMD code reads its sample rows in whole blocks, past the
// samples a reduced-scale decode sets (at 1/8, one per block of the file),
// and what it read reaches the picture's edge pixels. Its rows come zeroed,
// each to a whole number of the widest block, so no byte read was never set.
constexpr JDIMENSION kSampleBlock = 64;

JSAMPARRAY ZeroedSampleRows(j_common_ptr info, int pool, JDIMENSION samplesPerRow, JDIMENSION rows)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    if (samplesPerRow <= std::numeric_limits<JDIMENSION>::max() - kSampleBlock)
        samplesPerRow = (samplesPerRow + kSampleBlock - 1) / kSampleBlock * kSampleBlock;
    JSAMPARRAY array = err->librarySampleRows(info, pool, samplesPerRow, rows);
    for (JDIMENSION r = 0; r < rows; ++r) std::memset(array[r], 0, samplesPerRow * sizeof(JSAMPLE));
    return array;
}

void ZeroSampleRows(j_decompress_ptr info, ErrorManager& err)
{
    err.librarySampleRows = info->mem->alloc_sarray;
    info->mem->alloc_sarray = ZeroedSampleRows;
}

// A kind of JPEG named, said as one not decoded.
std::string NotDecoded(const std::string& kind)
{
    return kind + ", which this program does not decode";
}

}  // namespace

std::string JpegTroubleWords(int code)
{
    switch (code) {
        case JWRN_JPEG_EOF:
        case JERR_INPUT_EOF:
        case JERR_INPUT_EMPTY:
            return "the file ends before the picture does";
        case JWRN_EXTRANEOUS_DATA:
            return "data that is no JPEG before a marker";
        case JWRN_HIT_MARKER:
            return "picture data cut short by a marker";
        case JWRN_MUST_RESYNC:
            return "a restart marker out of place";
        case JERR_NO_HUFF_TABLE:
            return "a Huffman table it uses is missing";
        case JERR_NO_QUANT_TABLE:
            return "a quantization table it uses is missing";
#ifdef D_ARITH_CODING_SUPPORTED
        case JERR_NO_ARITH_TABLE:
            return "an arithmetic-coding table it uses is missing";
#endif
        case JERR_BAD_HUFF_TABLE:
        case JERR_DHT_INDEX:
        case JERR_HUFF_CLEN_OVERFLOW:
        case JERR_HUFF_MISSING_CODE:
            return "a damaged Huffman table";
        case JERR_DQT_INDEX:
            return "a damaged quantization table";
        case JERR_BAD_LENGTH:
        case JERR_UNKNOWN_MARKER:
        case JERR_NO_SOI:
        case JERR_SOI_DUPLICATE:
        case JERR_SOF_DUPLICATE:
        case JERR_SOF_NO_SOS:
        case JERR_SOS_NO_SOF:
        case JERR_EOI_EXPECTED:
        case JERR_NO_IMAGE:
        case JERR_BAD_COMPONENT_ID:
        case JERR_DAC_INDEX:
        case JERR_DAC_VALUE:
            return "a damaged marker";
        case JERR_EMPTY_IMAGE:
            return NotDecoded("a JPEG whose height follows its data");
        case JERR_SOF_UNSUPPORTED:
        case JERR_BAD_PRECISION:
        case JERR_COMPONENT_COUNT:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_BAD_J_COLORSPACE:
        case JERR_NOTIMPL:
        case JERR_NOT_COMPILED:
        case JERR_ARITH_NOTIMPL:
        case JERR_CCIR601_NOTIMPL:
        case JERR_FRACT_SAMPLE_NOTIMPL:
            return "a kind of JPEG this program does not decode";
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            return "a JPEG larger than this program decodes";
        case JERR_OUT_OF_MEMORY:
            return "out of memory";
        case JERR_FILE_READ:
            return "the file cannot be read";
        default:
            return "damaged JPEG data";
    }
}

bool JpegWarningMeansDamage(int code)
{
    return code != JWRN_JFIF_MAJOR && code != JWRN_NOT_SEQUENTIAL && code != JWRN_BOGUS_ICC &&
           code != JWRN_ADOBE_XFORM && code != JWRN_TOO_MUCH_DATA;
}

CJpegWarnings::CJpegWarnings() : outer_(gWarnings)
{
    gWarnings = this;
}

CJpegWarnings::~CJpegWarnings()
{
    gWarnings = outer_;
}

void CJpegWarnings::AddToCurrent(const std::string& text)
{
    if (gWarnings) gWarnings->Add(text);
}

void CJpegWarnings::Add(const std::string& text)
{
    // A picture damaged in many places says so once per kind.
    for (const std::string& seen : warnings_)
        if (seen == text) return;
    warnings_.push_back(text);
}

namespace {

// A destination that grows: the stream never wraps or stops short.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    uint8_t* buffer = nullptr;
    size_t size = 0;
    size_t written = 0;
};

void InitDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(info->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->size;
    dest->written = 0;
}

boolean GrowDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(info->dest);
    // libjpeg calls this only when the buffer is full.
    const size_t used = dest->size;
    const size_t grown = used * 2;
    uint8_t* bigger = grown > std::numeric_limits<uint32_t>::max() ? nullptr : new (std::nothrow) uint8_t[grown];
    if (!bigger) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    std::memcpy(bigger, dest->buffer, used);
    delete[] dest->buffer;
    dest->buffer = bigger;
    dest->size = grown;
    dest->pub.next_output_byte = bigger + used;
    dest->pub.free_in_buffer = grown - used;
    return TRUE;
}

void TermDestination(j_compress_ptr info)
{
    auto* dest = reinterpret_cast<MemoryDestination*>(info->dest);
    dest->written = dest->size - dest->pub.free_in_buffer;
}

struct CompressJob {
    jpeg_compress_struct info;
    ErrorManager err;
    MemoryDestination dest;
    ~CompressJob() { delete[] dest.buffer; }
};

// Only trivially destructible locals here: a library error jumps back in.
bool RunCompress(CompressJob* job, uint32_t width, uint32_t height, int quality, const uint8_t* input)
{
    if (setjmp(job->err.jump)) {
        jpeg_destroy_compress(&job->info);
        return false;
    }
    jpeg_create_compress(&job->info);
    job->info.image_width = width;
    job->info.image_height = height;
    job->info.input_components = 3;
    job->info.in_color_space = JCS_RGB;
    job->dest.pub.init_destination = InitDestination;
    job->dest.pub.empty_output_buffer = GrowDestination;
    job->dest.pub.term_destination = TermDestination;
    job->info.dest = &job->dest.pub;
    jpeg_set_defaults(&job->info);
    jpeg_set_quality(&job->info, quality, TRUE);
    jpeg_start_compress(&job->info, TRUE);
    const size_t rowBytes = size_t(width) * 3;
    while (job->info.next_scanline < job->info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(input + size_t(job->info.next_scanline) * rowBytes);
        jpeg_write_scanlines(&job->info, &row, 1);
    }
    jpeg_finish_compress(&job->info);
    jpeg_destroy_compress(&job->info);
    return true;
}

struct DecompressJob {
    jpeg_decompress_struct info;
    ErrorManager err;
    uint8_t* block = nullptr;
    CKeptBlock* kept = nullptr;  // when set, block lies in it
    uint32_t width = 0, height = 0;
    ~DecompressJob()
    {
        if (!kept) delete[] block;
    }
};

inline uint8_t Scale(unsigned a, unsigned b) { return uint8_t(a * b / 255); }

bool RunDecompress(DecompressJob* job, std::FILE* file, int denominator)
{
    if (setjmp(job->err.jump)) {
        jpeg_destroy_decompress(&job->info);
        return false;
    }
    jpeg_create_decompress(&job->info);
    ZeroSampleRows(&job->info, job->err);
    jpeg_stdio_src(&job->info, file);
    jpeg_read_header(&job->info, TRUE);
    const bool cmyk = job->info.jpeg_color_space == JCS_CMYK || job->info.jpeg_color_space == JCS_YCCK;
    job->info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    job->info.scale_num = 1;
    job->info.scale_denom = unsigned(denominator);
    if (!ImageSizeAllowed(job->info.image_width, job->info.image_height)) {
        job->err.words = "JPEG picture " + ImageSizeRefusal(job->info.image_width, job->info.image_height);
        ERREXIT(&job->info, JERR_IMAGE_TOO_BIG);
    }
    jpeg_start_decompress(&job->info);
    const uint32_t w = job->info.output_width, h = job->info.output_height;
    const int components = job->info.output_components;
    if (components != (cmyk ? 4 : 3)) ERREXIT(&job->info, JERR_CONVERSION_NOTIMPL);
    const size_t bytes = size_t(w) * h * 3;
    job->block = job->kept ? job->kept->Reserve(bytes) : new (std::nothrow) uint8_t[bytes];
    if (!job->block) ERREXIT1(&job->info, JERR_OUT_OF_MEMORY, 1);
    job->width = w;
    job->height = h;
    // Adobe writes CMYK inverted (0 is full ink).
    const bool inverted = job->info.saw_Adobe_marker;
    JSAMPARRAY row = (*job->info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&job->info), JPOOL_IMAGE,
                                                     JDIMENSION(w) * components, 1);
    while (job->info.output_scanline < h) {
        uint8_t* out = job->block + size_t(job->info.output_scanline) * w * 3;
        if (!cmyk) {
            // RGB rows go straight into the picture.
            JSAMPROW direct = out;
            jpeg_read_scanlines(&job->info, &direct, 1);
            continue;
        }
        jpeg_read_scanlines(&job->info, row, 1);
        const uint8_t* in = row[0];
        for (uint32_t x = 0; x < w; ++x, in += 4, out += 3) {
            unsigned c = in[0], m = in[1], y = in[2], k = in[3];
            if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            out[0] = Scale(c, k);
            out[1] = Scale(m, k);
            out[2] = Scale(y, k);
        }
    }
    jpeg_finish_decompress(&job->info);
    jpeg_destroy_decompress(&job->info);
    return true;
}

}  // namespace

void CJpegImage::Free()
{
    CImage::Free();
    compressedSize = 0;
}

void CJpegImage::SetQuality(int value) { quality = value < 0 ? 0 : value > 100 ? 100 : value; }

bool CJpegImage::Compress(uint32_t w, uint32_t h, int, const uint8_t* input)
{
    compressedSize = 0;
    lastError.clear();
    const uint64_t capacity = uint64_t(w) * h * 3 + 1024;
    // The old block goes once the stream is made: the input may lie in it.
    std::unique_ptr<uint8_t[]> previous(pixels);
    const uint32_t previousSize = size;
    pixels = nullptr;
    size = 0;
    if (!input || capacity > std::numeric_limits<uint32_t>::max()) {
        lastError = input ? "image too large" : "no pixels";
        return false;
    }
    auto job = std::make_unique<CompressJob>();
    InstallErrorManager(job->err);
    job->info.err = &job->err.pub;
    // The block of the last stream serves again when it is large enough and
    // holds no input: one object compressing picture after picture takes
    // its memory once.
    const auto address = [](const void* p) { return reinterpret_cast<uintptr_t>(p); };
    const bool inputInside = address(input) < address(previous.get()) + previousSize &&
                             address(input) + (capacity - 1024) > address(previous.get());
    if (previous && previousSize >= capacity && !inputInside) {
        job->dest.buffer = previous.release();
        job->dest.size = previousSize;
    } else {
        job->dest.buffer = new (std::nothrow) uint8_t[capacity];
        job->dest.size = capacity;
    }
    if (!job->dest.buffer) {
        lastError = "out of memory";
        return false;
    }
    if (!RunCompress(job.get(), w, h, quality, input)) {
        lastError = job->err.words;
        return false;
    }
    pixels = job->dest.buffer;
    size = uint32_t(job->dest.size);
    compressedSize = uint32_t(job->dest.written);
    job->dest.buffer = nullptr;
    return true;
}

bool CJpegImage::Load(const CPath& path)
{
    std::FILE* file = path.Fopen("rb");
    if (!file) {
        MakeEmpty();
        lastError = "cannot open " + ProjectFileName(path);
        return false;
    }
    const bool ok = LoadStream(file);
    std::fclose(file);
    return ok;
}

bool CJpegImage::LoadStream(std::FILE* file) { return Decode(file, nullptr); }

bool CJpegImage::LoadStreamInto(std::FILE* file, CKeptBlock* block) { return block && Decode(file, block); }

bool CJpegImage::Decode(std::FILE* file, CKeptBlock* kept)
{
    MakeEmpty();
    lastError.clear();
    auto job = std::make_unique<DecompressJob>();
    InstallErrorManager(job->err);
    job->info.err = &job->err.pub;
    job->kept = kept;
    if (!RunDecompress(job.get(), file, scaleDenominator)) {
        lastError = job->err.words;
        return false;
    }
    if (kept) {
        width = job->width, height = job->height, bitsPerPixel = 24;
        return true;
    }
    Adopt(job->block, job->width, job->height, 24);
    job->block = nullptr;
    return true;
}

void CJpegImage::SetScaleDenominator(int denominator)
{
    scaleDenominator = denominator == 2 || denominator == 4 || denominator == 8 ? denominator : 1;
}

namespace {

bool RunReadHeader(jpeg_decompress_struct* info, ErrorManager* err, std::FILE* file)
{
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    jpeg_stdio_src(info, file);
    jpeg_read_header(info, TRUE);
    jpeg_destroy_decompress(info);
    return true;
}

}  // namespace

namespace {

// The header read from the file's position: 0 when it reads, else
// libjpeg's code of why not (-1 without a file).
int ReadJpegHeader(std::FILE* file, uint32_t* width, uint32_t* height)
{
    auto info = std::make_unique<jpeg_decompress_struct>();
    auto err = std::make_unique<ErrorManager>();
    InstallErrorManager(*err);
    info->err = &err->pub;
    if (!file) return -1;
    if (!RunReadHeader(info.get(), err.get(), file)) return err->code ? err->code : -1;
    if (width) *width = info->image_width;
    if (height) *height = info->image_height;
    return 0;
}

}  // namespace

bool ReadJpegSize(std::FILE* file, uint32_t* width, uint32_t* height)
{
    return ReadJpegHeader(file, width, height) == 0;
}

std::string JpegHeaderTrouble(std::FILE* file, uint64_t fileSize)
{
    const int code = file && fseeko(file, 0, SEEK_SET) == 0 ? ReadJpegHeader(file, nullptr, nullptr) : -1;
    const JpegFrameKind kind = ReadJpegFrameKind(file, fileSize);
    if (kind.DecoderRefuses()) return NotDecoded(kind.Named());
    return code == JERR_EMPTY_IMAGE ? JpegTroubleWords(code) : "damaged JPEG header";
}

const uint8_t* FindJpegStream(const uint8_t* data, int32_t length, int32_t* outLength)
{
    if (!data || length < 1) return nullptr;
    const uint8_t* start = nullptr;
    for (int32_t i = 0; i + 1 < length; ++i) {
        if (data[i] != 0xFF) continue;
        if (data[i + 1] == 0xD8) {
            start = data + i;
            ++i;
        } else if (data[i + 1] == 0xD9) {
            if (start) {
                if (outLength) *outLength = int32_t(data + i + 2 - start);
                return start;
            }
            ++i;
        }
    }
    return nullptr;
}
