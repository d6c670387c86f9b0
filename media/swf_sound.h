#pragma once
// Sounds as SWF tags: a whole sound as one DefineSound (an event sound), or
// a SoundStreamHead with one SoundStreamBlock per movie frame. The data is
// always MP3 from the encoder bundle, cut into its frames.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/path.h"
#include "swf/sounds.h"

class CProgressDialog;
struct CMp3Settings;
class CMp3Encoder;

struct CSwfSoundFormat {
    enum Compression : uint8_t { kUncompressed = 0, kAdpcm = 1, kMp3 = 2, kUncompressedLE = 3, kNellymoser = 4 };

    CSwfSoundFormat() = default;

    // 5512, 11025, 22050 and 44100 Hz have codes 0 to 3; any other rate is
    // taken as 11025.
    void SetRate(int hz);
    int GetRate() const;
    // The rate the MP3 is encoded and tagged at: 5512 Hz, which no MP3 has,
    // as 11025.
    int GetMp3Rate() const { return rateCode == 0 ? 11025 : GetRate(); }
    // The bit rate the MP3 is encoded at (lame_bundle::Mp3BitRateFor): the
    // one asked for where an MP3 at its rate has it, else the nearest; 0
    // when none is asked for.
    uint32_t GetMp3BitRate() const;
    int GetSampleBits() const { return sizeCode == 1 ? 16 : 8; }
    void SetChannels(int count) { stereo = count == 2 ? 1 : 0; }
    int GetChannels() const { return stereo == 1 ? 2 : 1; }
    // The SWF format number of the compression code.
    int GetSwfFormat() const;

    float frameRate = 12.0f;
    uint8_t compression = kMp3;
    uint8_t rateCode = 1;
    uint8_t sizeCode = 0;
    uint8_t stereo = 0;
    uint32_t bitRate = 128;  // kbit/s
    uint32_t duration = 0;   // ms of the sound to use, 0 = all
};

class CSwfSoundBuilder {
public:
    CSwfSoundBuilder() = default;
    ~CSwfSoundBuilder() { Clear(); }
    CSwfSoundBuilder(const CSwfSoundBuilder&) = delete;
    CSwfSoundBuilder& operator=(const CSwfSoundBuilder&) = delete;

    // Deletes the blocks, unless they were given away with SetNoDelete.
    void Clear();
    CSwfSoundBuilder& SetNoDelete(bool flag)
    {
        noDelete_ = flag;
        return *this;
    }

    // The sound file at src as an event sound; null when it cannot be
    // encoded or the progress was cancelled. The caller owns the tag.
    CTagDefineSound* MakeSound(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress);
    // The stream head, with the blocks left in GetBlocks(), one per movie
    // frame; null on failure.
    CTagSoundStreamHead* MakeStreamHead(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress);

    bool EncodeMp3(CTagDefineSound* tag, const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress);
    bool EncodeMp3Stream(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress);

    const std::vector<CTagSoundStreamBlock*>& GetBlocks() const { return blocks_; }
    CSwfTag* GetLastTag() const { return lastTag_; }
    int32_t GetSamplesPerFrame() const { return samplesPerFrame_; }
    // Why the last sound made no tag ("cancelled", the sound's reason); and
    // what of the last sound made did not decode (it was kept as far as it
    // decoded). Empty when there is nothing to say.
    const std::string& GetFailure() const { return failure_; }
    const std::string& GetDamage() const { return damage_; }
    // Whether the last sound failed on a write of the temporary folder: the
    // machine's failure (CMp3Encoder::WriteFailed), not the sound's.
    bool WriteFailed() const { return writeFailed_; }

private:
    void NoteOutcome(const CMp3Encoder& encoder, bool done);

    std::vector<CTagSoundStreamBlock*> blocks_;
    CSwfTag* lastTag_ = nullptr;
    int32_t samplesPerFrame_ = 0;
    bool noDelete_ = false;
    std::string failure_;
    std::string damage_;
    bool writeFailed_ = false;
};
