#pragma once
// Sound files to MP3: the sound is exported to a temporary AIFF file, its
// samples are fed to the encoder bundle "lame_encU.bundle", and the MP3
// bytes come back in one block.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "foundation/code_bundle.h"
#include "foundation/path.h"
#include "media/lame_config.h"

class CProgressDialog;

struct CMp3Settings {
    CMp3Settings() { Init(); }
    void Init();

    int32_t bitRate;    // kbit/s
    uint32_t duration;  // ms to convert, 0 = all
    int32_t resultLength;
    int32_t inputChannels;
    int32_t inputRate;
    int32_t inputBits;
    int32_t outputChannels;
    int32_t outputRate;
    int32_t outputBits;
    uint8_t* resultBuffer;  // malloc'ed; the receiver frees it
};

// What ReadAiffHeader reports.
struct AiffHeaderRecord {
    uint32_t flags;
    uint32_t format;  // 'twos' for AIFF, the compression type for AIFF-C
    int16_t channels;
    int16_t sampleSize;
    uint32_t sampleRate;  // 16.16 fixed point
    uint32_t sampleFrames;
    uint32_t reserved[2];
};

// The sound data: offset and length from the file's start, and the header.
// Lengths are bounded by the file; false for anything that is not an AIFF
// or AIFF-C file with COMM and SSND chunks inside it.
bool ReadAiffHeader(FILE* file, uint32_t* dataOffset, uint32_t* dataLength, AiffHeaderRecord* header);
// Leaves the file at the chunk with this id; false when there is none.
bool FindAiffChunk(FILE* file, uint32_t id);

// The two channel conversions into the encoder's work buffer (count: input
// samples). Mono to stereo writes each sample twice; stereo to mono halves
// each pair's sum toward zero.
void MonoToStereo(const int16_t* in, size_t count, int16_t* out);
void StereoToMono(const int16_t* in, size_t count, int16_t* out);

class CMp3Encoder : public CBundle {
public:
    enum Error { kNoError = 0, kBundleNotLoaded = 1, kEntryMissing = 2 };
    static constexpr size_t kInputBufferBytes = 819200;
    static constexpr size_t kOutputBufferBytes = 409600;
    static constexpr size_t kReadBytes = 102400;
    static constexpr size_t kMp3WriteBufferBytes = 65536;

    CMp3Encoder() = default;

    bool LoadBundle();
    // The MP3 data (also in settings.resultBuffer), or null.
    uint8_t* ConvertToMp3(const CPath& path, CMp3Settings& settings, CProgressDialog* progress);
    // As ConvertToMp3, with the MP3 data read into out behind lead bytes
    // (zero), so that a caller building a tag holds the data once.
    bool ConvertToMp3Into(const CPath& path, CMp3Settings& settings, CProgressDialog* progress,
                          std::vector<uint8_t>* out, size_t lead);
    // As ConvertToMp3, with the MP3 data handed to take a block at a time in
    // order; take returns false to fail the conversion.
    using ChunkSink = std::function<bool(const uint8_t* bytes, size_t size)>;
    bool ConvertToMp3Chunks(const CPath& path, CMp3Settings& settings, CProgressDialog* progress,
                            const ChunkSink& take);
    // Encodes the sound data of an AIFF file; null on failure or cancel.
    uint8_t* EncodeAiff(const CPath& aiffPath, CMp3Settings& settings, CProgressDialog* progress);
    // What of the last converted sound did not decode; it was encoded as far
    // as it decoded. Empty when all of it decoded.
    const std::string& GetDamage() const { return damage_; }
    // Samples of one channel the last encoding was fed, at the output rate.
    uint64_t GetOutputSampleCount() const;

    uint32_t GetSamplesPerChunk() const { return samplesPerChunk_; }
    int GetLastError() const { return lastError_; }
    // Why the last LoadBundle failed, for people: the loader's reason, what
    // stands in the code's place, the entry point missing.
    const std::string& GetLoadFailure() const { return loadFailure_; }
    // Why the last conversion failed, for people.
    const std::string& GetFailure() const { return failure_; }
    // Whether it failed on a write of its temporary files: the machine's
    // failure, not the sound's; GetFailure then names the temporary folder
    // and the system's reason.
    bool WriteFailed() const { return writeFailed_; }
    const lame_bundle::Config& GetConfig() const { return config_; }

private:
    void Begin(CMp3Settings& settings, CProgressDialog* progress, const char* detail);
    void FillConfig(const CMp3Settings& settings);
    static bool FeedsMonoAsStereo(const CMp3Settings& settings);
    uint8_t* Fail(const std::string& why);
    uint8_t* FailWrite(int err);
    // The conversion and the encoding, the result into a new block, into
    // (behind lead bytes) or through chunks.
    bool Convert(const CPath& path, CMp3Settings& settings, CProgressDialog* progress, std::vector<uint8_t>* into,
                 size_t lead, const ChunkSink* chunks);
    bool Encode(const CPath& aiffPath, CMp3Settings& settings, CProgressDialog* progress,
                std::vector<uint8_t>* into, size_t lead, const ChunkSink* chunks);

    lame_bundle::Config config_{};
    lame_bundle::Stream stream_ = 0;
    lame_bundle::CloseStreamProc beCloseStream_ = nullptr;
    lame_bundle::DeinitStreamProc beDeinitStream_ = nullptr;
    lame_bundle::EncodeChunkProc beEncodeChunk_ = nullptr;
    lame_bundle::InitStreamProc beInitStream_ = nullptr;
    lame_bundle::VersionProc beVersion_ = nullptr;
    uint32_t samplesPerChunk_ = 0;
    int lastError_ = kNoError;
    std::string failure_;
    bool writeFailed_ = false;
    std::string loadFailure_;
    std::string damage_;
    uint64_t fedFrames_ = 0;
    int32_t inputRate_ = 0, outputRate_ = 0;
};
