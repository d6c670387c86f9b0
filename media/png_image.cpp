#include "media/png_image.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <png.h>

#include "platform/files.h"

// One read or write through libpng (declared in the header for Decode).
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string error;
    bool ownError = false;  // error is this program's, not libpng's
    std::string sizeRefusal;  // why the header's size is refused
    // Reading, from memory or, with in set, from the stream.
    const uint8_t* cursor = nullptr;
    const uint8_t* end = nullptr;
    std::FILE* in = nullptr;
    uint8_t* rows = nullptr;
    std::vector<png_bytep> rowPointers;
    // Rows read into place, over every pass of an interlaced picture, of
    // the rows there are to read.
    size_t rowsRead = 0, rowsWanted = 0;
    // Writing.
    std::FILE* file = nullptr;

    ~PngJob() { delete[] rows; }
};

const char kPngChecksumWrong[] = "PNG: a chunk's checksum is wrong";

namespace {

// libpng names its trouble in sentences of its own ("IDAT: CRC error",
// "invalid distance too far back"): only a failed checksum is told apart.
void OnError(png_structp png, png_const_charp message)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    if (!job->ownError)
        job->error = message && std::strstr(message, "CRC") ? kPngChecksumWrong : "damaged PNG data";
    png_longjmp(png, 1);
}

// Fails the job with words of this program's own.
[[noreturn]] void Refuse(png_structp png, const char* words)
{
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    job->error = words;
    job->ownError = true;
    png_error(png, words);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep out, png_size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (job->in) {
        if (std::fread(out, 1, length, job->in) != length) Refuse(png, "PNG data ends early");
        return;
    }
    if (size_t(job->end - job->cursor) < length) Refuse(png, "PNG data ends early");
    std::memcpy(out, job->cursor, length);
    job->cursor += length;
}

void WriteData(png_structp png, png_bytep data, png_size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, job->file) != length) Refuse(png, "cannot write the file");
}

void FlushData(png_structp png)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (std::fflush(job->file) != 0) Refuse(png, "cannot write the file");
}

// The background colour in 8 bits per channel: 16-bit values keep their
// high byte, grey levels below 8 bits are stretched.
void BackgroundBytes(const png_color_16& c, int colorType, int bitDepth, uint8_t out[3])
{
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        out[0] = uint8_t(c.red), out[1] = uint8_t(c.green), out[2] = uint8_t(c.blue);
        return;
    }
    const bool grey = !(colorType & PNG_COLOR_MASK_COLOR);
    const unsigned levels[3] = {grey ? c.gray : c.red, grey ? c.gray : c.green, grey ? c.gray : c.blue};
    for (int i = 0; i < 3; ++i) {
        if (bitDepth == 16)
            out[i] = uint8_t(levels[i] >> 8);
        else if (bitDepth < 8)
            out[i] = uint8_t(levels[i] * 255 / ((1u << bitDepth) - 1));
        else
            out[i] = uint8_t(levels[i]);
    }
}

struct DecodeResult {
    uint32_t width = 0, height = 0;
    int colorType = 0, interlace = 0, compression = 0, filter = 0, channels = 0;
    bool hasBackground = false;
    uint8_t background[3] = {};
};

bool RunDecode(PngJob* job, DecodeResult* result, bool applyBackground)
{
    // Image data that breaks after rows were read, in chunks whole and
    // under right checksums, keeps those rows, the rest zero (the caller
    // says it damaged). A file cut short, a wrong checksum or trouble after
    // the last row fail, as the check of the chunks judges them.
    if (setjmp(png_jmpbuf(job->png)))
        return job->rowsRead > 0 && job->rowsRead < job->rowsWanted && !job->ownError &&
               job->error != kPngChecksumWrong;
    png_set_read_fn(job->png, job, ReadData);
    png_set_sig_bytes(job->png, 8);
    // Text and profile chunks are read whole and may claim gigabytes (the
    // library only warns); none of them is used here.
    static const png_byte kSkipped[] = "iCCP\0iTXt\0sPLT\0tEXt\0zTXt\0eXIf";
    png_set_keep_unknown_chunks(job->png, PNG_HANDLE_CHUNK_NEVER, kSkipped, 6);
    // The check before the export passes over the checksums of chunks a
    // picture can do without: such a chunk under a wrong one (a tRNS) is
    // used as it stands, not dropped without a word (libpng's "warn and
    // use" still drops it).
    png_set_crc_action(job->png, PNG_CRC_DEFAULT, PNG_CRC_QUIET_USE);
    png_read_info(job->png, job->info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(job->png, job->info, &w, &h, &depth, &colorType, &result->interlace, &result->compression,
                 &result->filter);
    result->colorType = colorType;
    job->sizeRefusal = ImageSizeRefusal(w, h);
    if (!job->sizeRefusal.empty()) Refuse(job->png, "image too large");

    if (depth == 16) png_set_strip_16(job->png);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(job->png);
    if (depth < 8) png_set_expand(job->png);
    if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) png_set_expand(job->png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(job->png);

    png_color_16p background = nullptr;
    if (png_get_bKGD(job->png, job->info, &background) && background) {
        if (applyBackground) png_set_background(job->png, background, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0);
        result->hasBackground = true;
        BackgroundBytes(*background, colorType, depth, result->background);
    }
    double fileGamma = 0;
    if (png_get_gAMA(job->png, job->info, &fileGamma)) png_set_gamma(job->png, 2.2, fileGamma);
    const int passes = png_set_interlace_handling(job->png);
    png_read_update_info(job->png, job->info);

    png_get_IHDR(job->png, job->info, &w, &h, &depth, &colorType, nullptr, nullptr, nullptr);
    const size_t rowBytes = png_get_rowbytes(job->png, job->info);
    const int channels = png_get_channels(job->png, job->info);
    if (depth != 8 || (channels != 3 && channels != 4) || rowBytes != size_t(w) * channels)
        Refuse(job->png, "PNG rows of an unexpected layout");
    job->rows = new (std::nothrow) uint8_t[rowBytes * h]();
    if (!job->rows) Refuse(job->png, "out of memory");
    job->rowPointers.resize(h);
    for (png_uint_32 i = 0; i < h; ++i) job->rowPointers[i] = job->rows + size_t(i) * rowBytes;
    result->width = w;
    result->height = h;
    result->channels = channels;
    // Row by row, as png_read_image reads them, counting what arrived.
    job->rowsWanted = size_t(h) * size_t(passes);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 i = 0; i < h; ++i) {
            png_read_row(job->png, job->rowPointers[i], nullptr);
            ++job->rowsRead;
        }
    png_read_end(job->png, nullptr);
    return true;
}

bool RunEncode(PngJob* job, GWorldPtr world)
{
    if (setjmp(png_jmpbuf(job->png))) return false;
    const int w = world->Width(), h = world->Height();
    png_set_write_fn(job->png, job, WriteData, FlushData);
    png_set_compression_level(job->png, 9);
    png_set_compression_mem_level(job->png, 9);
    png_set_IHDR(job->png, job->info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job->png, job->info);
    job->rows = new (std::nothrow) uint8_t[size_t(w) * 4];
    if (!job->rows) Refuse(job->png, "out of memory");
    world->LockPixels();
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = world->GetPixBaseAddr() + size_t(y) * world->GetPixRowBytes();
        for (int x = 0; x < w; ++x) std::memcpy(job->rows + x * 3, in + x * 4 + 1, 3);
        png_write_row(job->png, job->rows);
    }
    world->UnlockPixels();
    png_write_end(job->png, nullptr);
    return true;
}

}  // namespace

void CPngImage::Free()
{
    background.reset();
    alpha.reset();
    CImage::Free();
}

bool CPngImage::Decode(const uint8_t* data, size_t length)
{
    MakeEmpty();
    lastError.clear();
    damage.clear();
    channels = 0;
    if (!data || length < 8 || png_sig_cmp(data, 0, 8) != 0) {
        lastError = "not a PNG file";
        return false;
    }
    PngJob job;
    job.cursor = data + 8;
    job.end = data + length;
    return Decode(job);
}

bool CPngImage::DecodeStream(std::FILE* file)
{
    MakeEmpty();
    lastError.clear();
    damage.clear();
    channels = 0;
    uint8_t signature[8];
    if (!file || std::fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        lastError = "not a PNG file";
        return false;
    }
    PngJob job;
    job.in = file;
    return Decode(job);
}

bool CPngImage::Decode(PngJob& job)
{
    // libpng 1.6 refuses older version strings: pass its own.
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    if (!job.png) return false;
    job.info = png_create_info_struct(job.png);
    DecodeResult result;
    const bool ok = job.info && RunDecode(&job, &result, applyBackground);
    png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
    colorType = result.colorType;
    interlaceType = result.interlace;
    compressionType = result.compression;
    filterType = result.filter;
    if (!ok) {
        lastError = !job.sizeRefusal.empty() ? "PNG picture " + job.sizeRefusal
                    : job.error.empty()        ? "cannot decode the PNG data"
                                               : job.error;
        return false;
    }
    if (job.rowsRead < job.rowsWanted) damage = job.error.empty() ? "damaged PNG data" : job.error;
    channels = result.channels;
    if (result.hasBackground) {
        background.reset(new uint8_t[3]);
        std::memcpy(background.get(), result.background, 3);
    }
    const size_t count = size_t(result.width) * result.height;
    if (channels == 4) {
        alpha.reset(new (std::nothrow) uint8_t[count]);
        if (!alpha) {
            MakeEmpty();
            lastError = "out of memory";
            return false;
        }
        for (size_t i = 0; i < count; ++i) alpha[i] = job.rows[i * 4 + 3];
    }
    Adopt(job.rows, result.width, result.height, uint16_t(8 * channels));
    job.rows = nullptr;
    return true;
}

bool CPngImage::Load(const CPath& path)
{
    std::FILE* file = path.Fopen("rb");
    if (!file) {
        MakeEmpty();
        lastError = "cannot read " + path.GetText();
        return false;
    }
    const bool ok = DecodeStream(file);
    std::fclose(file);
    return ok;
}

bool CPngImage::Save(GWorldPtr world, const CPath& path)
{
    if (!world || (world->GetPixDepth() != 24 && world->GetPixDepth() != 32)) return false;
    const std::string given = path.GetFullPath(CPath::kPosix);
    if (given.empty()) return false;
    // Written beside the target and renamed over it when complete; a link
    // stays a link, and a replaced file keeps its mode, owner and group.
    const std::string target = platform::ReplacedFile(given);
    platform::PendingFile temp;
    if (!temp.CreateBeside(target)) return false;
    PngJob job;
    job.file = temp.Rewrite();
    if (!job.file) return false;
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, OnError, OnWarning);
    job.info = job.png ? png_create_info_struct(job.png) : nullptr;
    bool ok = job.png && job.info && RunEncode(&job, world);
    if (job.png) png_destroy_write_struct(&job.png, job.info ? &job.info : nullptr);
    if (std::fflush(job.file) != 0 || std::ferror(job.file)) ok = false;
    if (std::fclose(job.file) != 0) ok = false;
    return ok && temp.Commit(target);
}
