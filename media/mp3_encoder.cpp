#include "media/mp3_encoder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "media/progress.h"
#include "media/qt_movie.h"
#include "platform/gestalt.h"

namespace {


uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

bool ReadExact(FILE* file, void* out, size_t size)
{
    return std::fread(out, 1, size, file) == size;
}

// The size by seeking, so streams in memory work too; the position is kept.
int64_t FileSize(FILE* file)
{
    const off_t at = ftello(file);
    if (at < 0 || fseeko(file, 0, SEEK_END) != 0) return -1;
    const off_t size = ftello(file);
    if (fseeko(file, at, SEEK_SET) != 0) return -1;
    return int64_t(size);
}

// 80-bit IEEE extended, as AIFF stores its sample rate.
double ExtendedToDouble(const uint8_t* p)
{
    const int exponent = (p[0] & 0x7F) << 8 | p[1];
    uint64_t mantissa = 0;
    for (int i = 2; i < 10; ++i) mantissa = mantissa << 8 | p[i];
    if (exponent == 0 && mantissa == 0) return 0.0;
    if (exponent == 0x7FFF) return HUGE_VAL;
    const double value = std::ldexp(double(mantissa), exponent - 16383 - 63);
    return (p[0] & 0x80) ? -value : value;
}

uint32_t ToFixed1616(double rate)
{
    if (!(rate > 0)) return 0;
    const double fixed = rate * 65536.0;
    return fixed >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(fixed);
}

class FileCloser {
public:
    explicit FileCloser(FILE* f) : f_(f) {}
    ~FileCloser() { Close(); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    FILE* get() const { return f_; }
    bool Close()
    {
        const bool ok = !f_ || std::fclose(f_) == 0;
        f_ = nullptr;
        return ok;
    }

private:
    FILE* f_;
};

}  // namespace

void CMp3Settings::Init()
{
    bitRate = 128;
    duration = 0;
    resultLength = 0;
    inputChannels = 1;
    inputRate = 11025;
    inputBits = 8;
    outputChannels = 1;
    outputRate = 11025;
    outputBits = 16;
    resultBuffer = nullptr;
}

bool FindAiffChunk(FILE* file, uint32_t id)
{
    if (!file || fseeko(file, 12, SEEK_SET) != 0) return false;
    for (;;) {
        uint8_t head[8];
        if (!ReadExact(file, head, sizeof head)) return false;
        if (Be32(head) == id) return fseeko(file, -8, SEEK_CUR) == 0;
        // Chunks start on even offsets: an odd-sized chunk has a pad byte.
        const uint64_t size = Be32(head + 4);
        if (fseeko(file, off_t(size + (size & 1)), SEEK_CUR) != 0) return false;
    }
}

bool ReadAiffHeader(FILE* file, uint32_t* dataOffset, uint32_t* dataLength, AiffHeaderRecord* header)
{
    if (!file) return false;
    const int64_t fileSize = FileSize(file);
    uint8_t form[12];
    if (fileSize < 12 || fseeko(file, 0, SEEK_SET) != 0 || !ReadExact(file, form, sizeof form)) return false;
    if (Be32(form) != FourCC("FORM")) return false;
    const uint32_t formType = Be32(form + 8);
    if (formType != FourCC("AIFF") && formType != FourCC("AIFC")) return false;

    AiffHeaderRecord record{};
    if (!FindAiffChunk(file, FourCC("COMM"))) return false;
    uint8_t comm[30];
    const bool compressed = formType == FourCC("AIFC");
    if (!ReadExact(file, comm, compressed ? 30 : 26)) return false;
    record.channels = int16_t(Be16(comm + 8));
    record.sampleFrames = Be32(comm + 10);
    record.sampleSize = int16_t(Be16(comm + 14));
    record.sampleRate = ToFixed1616(ExtendedToDouble(comm + 16));
    record.format = compressed ? Be32(comm + 26) : FourCC("twos");

    if (!FindAiffChunk(file, FourCC("SSND"))) return false;
    uint8_t ssnd[16];
    if (!ReadExact(file, ssnd, sizeof ssnd)) return false;
    const uint64_t chunkSize = Be32(ssnd + 4);
    const uint64_t skip = Be32(ssnd + 8);  // the samples start this far into the data
    const off_t afterHead = ftello(file);
    if (chunkSize < 8 || skip > chunkSize - 8 || afterHead < 0) return false;
    const uint64_t start = uint64_t(afterHead) + skip;
    if (start > uint64_t(fileSize)) return false;
    // The file decides how much there is, not the chunk's size field.
    const uint64_t length = std::min(chunkSize - 8 - skip, uint64_t(fileSize) - start);
    if (start > UINT32_MAX || length > UINT32_MAX) return false;

    if (FindAiffChunk(file, FourCC("wave"))) {
        uint8_t head[8];
        if (!ReadExact(file, head, sizeof head)) return false;
        const off_t at = ftello(file);
        if (at < 0 || uint64_t(at) + Be32(head + 4) > uint64_t(fileSize)) return false;
    }
    if (dataOffset) *dataOffset = uint32_t(start);
    if (dataLength) *dataLength = uint32_t(length);
    if (header) *header = record;
    return true;
}

void MonoToStereo(const int16_t* in, size_t count, int16_t* out)
{
    for (size_t i = 0; i < count; ++i) out[2 * i] = out[2 * i + 1] = in[i];
}

void StereoToMono(const int16_t* in, size_t count, int16_t* out)
{
    for (size_t i = 0; i + 1 < count; i += 2) out[i / 2] = int16_t((int(in[i]) + int(in[i + 1])) / 2);
}

bool CMp3Encoder::LoadBundle()
{
    lastError_ = kNoError;
    loadFailure_.clear();
    CPath path;
    if (!GetBundleResourcePath(path, "lame_encU.bundle")) {
        lastError_ = kBundleNotLoaded;
        loadFailure_ = "it is missing from the application bundle";
        return false;
    }
    if (!Load(path)) {
        lastError_ = kBundleNotLoaded;
        loadFailure_ = GetLoadError().empty() ? "it does not load" : GetLoadError();
        return false;
    }
    // In this order; the first one missing fails the load.
    const char* missing = nullptr;
    auto find = [&](const char* name) {
        void* entry = missing ? nullptr : GetFunction(name);
        if (!entry && !missing) missing = name;
        return entry;
    };
    beInitStream_ = reinterpret_cast<lame_bundle::InitStreamProc>(find("beInitStream"));
    beEncodeChunk_ = reinterpret_cast<lame_bundle::EncodeChunkProc>(find("beEncodeChunk"));
    beDeinitStream_ = reinterpret_cast<lame_bundle::DeinitStreamProc>(find("beDeinitStream"));
    beCloseStream_ = reinterpret_cast<lame_bundle::CloseStreamProc>(find("beCloseStream"));
    beVersion_ = reinterpret_cast<lame_bundle::VersionProc>(find("beVersion"));
    if (missing) {
        lastError_ = kEntryMissing;
        loadFailure_ = std::string("it lacks the entry point ") + missing;
        return false;
    }
    return true;
}

void CMp3Encoder::FillConfig(const CMp3Settings& s)
{
    config_ = lame_bundle::Config{};
    config_.dwConfig = lame_bundle::kConfigLame;
    config_.dwStructVersion = 1;
    config_.dwStructSize = lame_bundle::kConfigSize;
    // Mono goes in as stereo, each sample in both channels; more channels
    // than the output has were mixed down before (ConvertToMp3). A rate past
    // what the record holds stays past what the encoder takes.
    const auto rate = [](int64_t hz) { return uint32_t(std::clamp<int64_t>(hz, 0, UINT32_MAX)); };
    config_.dwSampleRate = rate(s.inputRate);
    config_.dwReSampleRate = rate(s.outputRate);
    config_.nMode = s.outputChannels <= 1 ? lame_bundle::kModeMono : lame_bundle::kModeJointStereo;
    config_.dwBitrate = uint32_t(s.bitRate);
    config_.nPreset = lame_bundle::kPresetHighQuality;
    config_.dwMpegVersion = lame_bundle::kMpeg1;
    config_.bOriginal = 1;
    config_.bNoRes = 1;
}

bool CMp3Encoder::FeedsMonoAsStereo(const CMp3Settings& s)
{
    return s.inputChannels == 1 && s.outputChannels == 2;
}

uint8_t* CMp3Encoder::Fail(const std::string& why)
{
    failure_ = why;
    return nullptr;
}

uint8_t* CMp3Encoder::FailWrite(int err)
{
    writeFailed_ = true;
    return Fail(TemporaryWriteFailure(err));
}

void CMp3Encoder::Begin(CMp3Settings& settings, CProgressDialog* progress, const char* detail)
{
    failure_.clear();
    writeFailed_ = false;
    settings.resultBuffer = nullptr;
    settings.resultLength = 0;
    if (progress) progress->SetDetail(detail);
}

uint8_t* CMp3Encoder::ConvertToMp3(const CPath& path, CMp3Settings& settings, CProgressDialog* progress)
{
    return Convert(path, settings, progress, nullptr, 0, nullptr) ? settings.resultBuffer : nullptr;
}

bool CMp3Encoder::ConvertToMp3Into(const CPath& path, CMp3Settings& settings, CProgressDialog* progress,
                                   std::vector<uint8_t>* out, size_t lead)
{
    return out && Convert(path, settings, progress, out, lead, nullptr);
}

bool CMp3Encoder::ConvertToMp3Chunks(const CPath& path, CMp3Settings& settings, CProgressDialog* progress,
                                     const ChunkSink& take)
{
    return Convert(path, settings, progress, nullptr, 0, &take);
}

bool CMp3Encoder::Convert(const CPath& path, CMp3Settings& settings, CProgressDialog* progress,
                           std::vector<uint8_t>* into, size_t lead, const ChunkSink* chunks)
{
    Begin(settings, progress, "Reading audio...");
    damage_.clear();
    CQTMovie source;
    if (!source.OpenFile(path, platform::MediaWanted::kSound))
        return Fail("the sound file cannot be opened: " + source.GetLastError());
    // Gone with the process whatever ends it, where the file system allows.
    platform::PendingFile aiffFile;
    if (!MakeWorkScratchFile(aiffFile, "audrw", ".aif")) return FailWrite(errno);
    const CPath aiff(aiffFile.GetPath());
    constexpr OSType kAiff = FourCC("AIFF");
    // Mixed down to the MP3's channels by the rule every road shares.
    if (!source.ExportSoundToFile(aiff, kAiff, settings.duration, progress, std::max(settings.outputChannels, 1))) {
        if (progress && progress->IsCancelled()) return Fail("cancelled");
        // A full temporary folder is the machine's failure, not the sound's.
        if (source.GetExportWriteError()) return FailWrite(source.GetExportWriteError());
        return Fail(source.GetLastError());
    }
    damage_ = source.GetSoundDamage();
    SoundDescription desc;
    CQTMovie exported;
    const bool own = exported.OpenFile(aiff) && exported.GetSoundDescription(&desc);
    if (!own && !source.GetSoundDescription(&desc)) return Fail("the sound has no format");
    settings.inputChannels = desc.numChannels;
    settings.inputBits = desc.sampleSize;
    settings.inputRate = int32_t(own ? exported.GetSoundRate() : source.GetSoundRate());
    exported.Close();
    return Encode(aiff, settings, progress, into, lead, chunks);
}

uint8_t* CMp3Encoder::EncodeAiff(const CPath& aiffPath, CMp3Settings& settings, CProgressDialog* progress)
{
    return Encode(aiffPath, settings, progress, nullptr, 0, nullptr) ? settings.resultBuffer : nullptr;
}

uint64_t CMp3Encoder::GetOutputSampleCount() const
{
    return inputRate_ > 0 ? fedFrames_ * uint64_t(outputRate_) / uint64_t(inputRate_) : 0;
}

bool CMp3Encoder::Encode(const CPath& aiffPath, CMp3Settings& settings, CProgressDialog* progress,
                          std::vector<uint8_t>* into, size_t lead, const ChunkSink* chunks)
{
    Begin(settings, progress, "Writing audio...");
    fedFrames_ = 0;
    inputRate_ = std::max(settings.inputRate, 0);
    outputRate_ = std::max(settings.outputRate, 0);
    uint64_t fedSamples = 0;
    if (!LoadBundle()) return Fail("the MP3 encoder cannot be loaded (" + loadFailure_ + ")");
    FillConfig(settings);

    platform::PendingFile mp3File;
    if (!MakeWorkScratchFile(mp3File, "audmp", ".mp3")) return FailWrite(errno);
    const CPath mp3Path(mp3File.GetPath());
    int writeError = 0;  // errno of a failed write of the MP3
    // Each round reads its 102400 bytes of sound data in one call; the MP3
    // a call's output makes (often a few kilobytes) is gathered in a buffer
    // that outlives its stream.
    std::vector<char> outBuffer(kMp3WriteBufferBytes);
    FileCloser in(aiffPath.Fopen("rb"));
    FileCloser out(mp3Path.Fopen("wb"));
    if (out.get()) std::setvbuf(out.get(), outBuffer.data(), _IOFBF, outBuffer.size());
    bool streamOpen = false;
    auto failWith = [&](const std::string& why) {
        if (streamOpen) {
            std::vector<uint8_t> flush(lame_bundle::MaxOutputBytes(0, config_.dwSampleRate, config_.dwReSampleRate));
            uint32_t bytes = 0;
            beDeinitStream_(stream_, flush.data(), &bytes);
            beCloseStream_(stream_);
        }
        in.Close();
        out.Close();
        return Fail(why);
    };
    // The machine's failure: said with the temporary folder and its reason.
    auto failWrite = [&] {
        failWith("");
        return FailWrite(writeError);
    };

    uint32_t dataOffset = 0, dataLength = 0;
    AiffHeaderRecord header{};
    if (!out.get()) {
        writeError = errno;
        return failWrite();
    }
    if (!in.get()) return failWith("the temporary files cannot be opened");
    if (!ReadAiffHeader(in.get(), &dataOffset, &dataLength, &header) || fseeko(in.get(), dataOffset, SEEK_SET) != 0)
        return failWith("the exported sound cannot be read");
    // AIFF samples are big-endian, the encoder takes them in host order.
    const bool swap = header.format != FourCC("sowt");
    const bool pcm = header.format == FourCC("twos") || header.format == FourCC("NONE") || !swap;
    if (header.sampleSize != 16 || !pcm) return failWith("the exported sound is not 16-bit PCM");

    // An AIFF handed in whole is not mixed: a sound file is (ConvertToMp3).
    if (settings.inputChannels > std::max(settings.outputChannels, 1))
        return failWith("the sound has " + std::to_string(settings.inputChannels) + " channels, more than the MP3's " +
                        std::to_string(std::max(settings.outputChannels, 1)));
    // Said here with the number: the bundle only refuses.
    if (!lame_bundle::TakesRates(config_.dwSampleRate, config_.dwReSampleRate))
        return failWith("the MP3 encoder does not take sound at " + std::to_string(uint32_t(settings.inputRate)) + " Hz");
    if (settings.bitRate <= 0)
        return failWith("the MP3 encoder does not take a bit rate of " + std::to_string(settings.bitRate) + " kbit/s");
    uint32_t bufferSize = 0;
    if (beInitStream_(&config_, &samplesPerChunk_, &bufferSize, &stream_) != lame_bundle::kOk || samplesPerChunk_ == 0)
        return failWith("the MP3 encoder does not take this format");
    streamOpen = true;

    // Each mono sample goes to both channels, not every other one to each.
    const bool widen = FeedsMonoAsStereo(settings);
    const uint64_t perSample = widen ? 2 : 1;
    // What one call's output may take grows with the rate ratio; the output
    // buffer takes at least one chunk's.
    const auto room = [&](uint64_t bytes) {
        return lame_bundle::MaxOutputBytes(bytes / 2 * perSample, config_.dwSampleRate, config_.dwReSampleRate);
    };
    std::vector<uint8_t> input(kInputBufferBytes);
    std::vector<uint8_t> output(std::max<uint64_t>(kOutputBufferBytes, room(samplesPerChunk_)));
    std::vector<int16_t> samples, stereo;
    // The most one call may take so that its output fits the output buffer.
    uint64_t maxCallBytes = samplesPerChunk_;
    while (room(maxCallBytes + samplesPerChunk_) <= output.size()) maxCallBytes += samplesPerChunk_;

    // Encodes the first n held bytes; true on success, output written.
    auto encode = [&](size_t n) {
        samples.resize(n / 2);
        for (size_t i = 0; i < n / 2; ++i) {
            const uint8_t* p = &input[2 * i];
            samples[i] = swap ? int16_t(uint16_t(p[0] << 8 | p[1])) : int16_t(uint16_t(p[1] << 8 | p[0]));
        }
        const int16_t* feed = samples.data();
        if (widen) {
            stereo.resize(samples.size() * 2);
            MonoToStereo(samples.data(), samples.size(), stereo.data());
            feed = stereo.data();
        }
        uint32_t bytes = 0;
        if (beEncodeChunk_(stream_, uint32_t(n / 2 * perSample), feed, output.data(), &bytes) != lame_bundle::kOk)
            return 0;
        if (bytes > output.size()) return -1;
        if (std::fwrite(output.data(), 1, bytes, out.get()) != bytes) {
            writeError = errno;
            return -1;
        }
        fedSamples += n / 2;
        return 1;
    };
    auto cancelled = [&] { return progress && progress->IsCancelled(); };

    size_t held = 0;
    uint64_t remaining = dataLength;
    while (remaining > 0) {
        if (cancelled()) return failWith("cancelled");
        if (progress) {
            char text[32];
            std::snprintf(text, sizeof text, "Writing audio...%d%%",
                          int((uint64_t(dataLength) - remaining) * 100 / dataLength));
            progress->SetDetail(text);
            if (cancelled()) return failWith("cancelled");
        }
        // A stream that refuses its input keeps it; once that leaves no
        // room for the next read the encoder is not going to take it.
        if (held + kReadBytes > input.size()) return failWith("the MP3 encoder refuses the sound");
        const size_t want = size_t(std::min<uint64_t>(kReadBytes, remaining));
        const size_t got = std::fread(input.data() + held, 1, want, in.get());
        if (got == 0) break;
        remaining -= got;
        held += got;
        // Whole chunks, in as many calls as their output needs.
        for (size_t whole = held - held % samplesPerChunk_; whole > 0;) {
            const size_t n = size_t(std::min<uint64_t>(whole, maxCallBytes));
            const int result = encode(n);
            if (result < 0) return writeError ? failWrite() : failWith("the MP3 data cannot be written");
            if (result == 0) break;
            std::memmove(input.data(), input.data() + n, held - n);
            held -= n;
            whole -= n;
        }
    }
    while (held >= 2) {
        // Nothing retries these, so a refusal here loses sound: a failure.
        const size_t n = size_t(std::min<uint64_t>(held - held % 2, maxCallBytes));
        if (encode(n) <= 0) return failWith("the MP3 encoder refuses the end of the sound");
        std::memmove(input.data(), input.data() + n, held - n);
        held -= n;
    }
    uint32_t bytes = 0;
    const bool flushed = beDeinitStream_(stream_, output.data(), &bytes) == lame_bundle::kOk;
    beCloseStream_(stream_);
    streamOpen = false;
    if (flushed && bytes > output.size()) return failWith("the MP3 data cannot be written");
    if (flushed && std::fwrite(output.data(), 1, bytes, out.get()) != bytes) {
        writeError = errno;
        return failWrite();
    }
    // The work buffers (1.2 MB and more) go before the MP3 is read back, so
    // they are not held beside a long sound's data at the peak.
    std::vector<uint8_t>().swap(input);
    std::vector<uint8_t>().swap(output);
    std::vector<int16_t>().swap(samples);
    std::vector<int16_t>().swap(stereo);
    if (cancelled()) return failWith("cancelled");
    if (!out.Close()) {
        writeError = errno;
        return failWrite();
    }
    in.Close();
    std::vector<char>().swap(outBuffer);
    fedFrames_ = fedSamples / uint64_t(std::max(settings.inputChannels, 1));

    FileCloser back(mp3Path.Fopen("rb"));
    const int64_t length = back.get() ? FileSize(back.get()) : -1;
    if (length < 0 || length > INT32_MAX) return failWith("the MP3 data cannot be read back");
    // The data goes where the caller takes it: a block at a time through
    // chunks, or read whole into its vector behind the lead (held once) or
    // into a new block.
    uint8_t* block = nullptr;
    uint8_t* whole = nullptr;
    if (!chunks && into) {
        into->clear();
        into->shrink_to_fit();
        into->resize(lead + size_t(length));
        whole = into->data() + lead;
    } else if (!chunks) {
        whole = block = static_cast<uint8_t*>(std::malloc(size_t(std::max<int64_t>(length, 1))));
    }
    bool read = true;
    if (chunks) {
        std::vector<uint8_t> piece(65536);
        for (int64_t left = length; read && left > 0;) {
            const size_t n = size_t(std::min<int64_t>(left, int64_t(piece.size())));
            read = ReadExact(back.get(), piece.data(), n) && (*chunks)(piece.data(), n);
            left -= int64_t(n);
        }
    } else {
        read = whole && (length == 0 || ReadExact(back.get(), whole, size_t(length)));
    }
    back.Close();
    if (!read) {
        std::free(block);
        return failWith("the MP3 data cannot be read back");
    }
    settings.resultLength = int32_t(length);
    if (block) settings.resultBuffer = block;
    return true;
}
