#include "media/swf_sound.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "media/mp3_encoder.h"
#include "media/mp3_frames.h"
#include "media/qt_movie.h"

namespace {

// The encoder's settings for the format.
void PrepareSettings(CSwfSoundFormat& format, CMp3Settings& settings)
{
    // No MP3 rate is 5512 Hz (the encoder would keep the input rate instead):
    // such sounds are encoded and tagged at 11025 Hz.
    format.SetRate(format.GetMp3Rate());
    settings.bitRate = int32_t(format.bitRate);
    format.sizeCode = 1;
    settings.outputBits = format.GetSampleBits();
    settings.outputRate = format.GetRate();
    settings.outputChannels = format.GetChannels();
    settings.duration = format.duration;
}

// Encodes src as the format asks into mp3 behind lead bytes, its frames
// moved together in place; false when no frame came out.
bool EncodeToBuffer(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress, CMp3Encoder& encoder,
                    CMp3Settings& settings, std::vector<uint8_t>& mp3, size_t lead)
{
    PrepareSettings(format, settings);
    if (!encoder.ConvertToMp3Into(src, settings, progress, &mp3, lead)) return false;
    const size_t packed = PackFrames(mp3.data() + lead, mp3.size() - lead);
    mp3.resize(lead + packed);
    return packed > 0;
}

}  // namespace

void CSwfSoundFormat::SetRate(int hz)
{
    switch (hz) {
        case 5512:
            rateCode = 0;
            break;
        case 22050:
            rateCode = 2;
            break;
        case 44100:
            rateCode = 3;
            break;
        default:
            rateCode = 1;
            break;
    }
}

int CSwfSoundFormat::GetRate() const
{
    switch (rateCode) {
        case 0:
            return 5512;
        case 2:
            return 22050;
        case 3:
            return 44100;
        default:
            return 11025;
    }
}

uint32_t CSwfSoundFormat::GetMp3BitRate() const
{
    return lame_bundle::Mp3BitRateFor(uint32_t(GetMp3Rate()), int32_t(bitRate));
}

int CSwfSoundFormat::GetSwfFormat() const
{
    return compression == kNellymoser ? int(swf_sound::kNellymoser) : int(compression);
}

void CSwfSoundBuilder::Clear()
{
    if (noDelete_) return;
    for (CTagSoundStreamBlock* block : blocks_) delete block;
    blocks_.clear();
}

CTagDefineSound* CSwfSoundBuilder::MakeSound(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress)
{
    auto tag = std::make_unique<CTagDefineSound>();
    tag->SetFormat(format.GetSwfFormat());
    if (format.compression == CSwfSoundFormat::kMp3 && !EncodeMp3(tag.get(), src, format, progress)) return nullptr;
    tag->SetRate(format.rateCode);
    tag->SetSize(format.sizeCode == 1 ? 1 : 0);
    tag->SetType(format.stereo);
    lastTag_ = tag.get();
    return tag.release();
}

void CSwfSoundBuilder::NoteOutcome(const CMp3Encoder& encoder, bool done)
{
    failure_ = done ? std::string() : encoder.GetFailure().empty() ? "no MP3 frame came out" : encoder.GetFailure();
    damage_ = done ? encoder.GetDamage() : std::string();
    writeFailed_ = !done && encoder.WriteFailed();
}

bool CSwfSoundBuilder::EncodeMp3(CTagDefineSound* tag, const CPath& src, CSwfSoundFormat& format,
                                 CProgressDialog* progress)
{
    CMp3Encoder encoder;
    CMp3Settings settings;
    // The tag's data is the MP3 itself behind SeekSamples (two zero bytes),
    // its frames moved together where anything lay between them: the sound
    // is held once however long it is.
    const bool done = tag && EncodeToBuffer(src, format, progress, encoder, settings, tag->data, 2);
    NoteOutcome(encoder, done);
    if (!done) return false;
    tag->data[0] = tag->data[1] = 0;
    // The samples the encoder was fed, at the output rate: what decodes,
    // whatever length the file claimed.
    tag->SetSampleCount(uint32_t(std::min<uint64_t>(encoder.GetOutputSampleCount(), UINT32_MAX)));
    return true;
}

CTagSoundStreamHead* CSwfSoundBuilder::MakeStreamHead(const CPath& src, CSwfSoundFormat& format,
                                                      CProgressDialog* progress)
{
    auto tag = std::make_unique<CTagSoundStreamHead>();
    tag->SetFormat(format.GetSwfFormat());
    if (format.compression == CSwfSoundFormat::kMp3 && !EncodeMp3Stream(src, format, progress)) return nullptr;
    tag->SetRate(format.rateCode);
    tag->SetSize(format.sizeCode == 1 ? 1 : 0);
    tag->SetType(format.stereo);
    tag->sampleCount = uint16_t(samplesPerFrame_);
    lastTag_ = tag.get();
    return tag.release();
}

bool CSwfSoundBuilder::EncodeMp3Stream(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress)
{
    // Under one sample per movie frame no block could ever carry a frame.
    const int rate = format.rateCode == 0 ? 11025 : format.GetRate();
    const float perFrame = format.frameRate > 0 ? float(rate) / format.frameRate : 0.0f;
    if (!(perFrame >= 1.0f) || perFrame > float(INT32_MAX)) return false;
    // Blocks handed over before belong to their taker now.
    if (noDelete_)
        blocks_.clear();
    else
        Clear();

    CMp3Encoder encoder;
    CMp3Settings settings;
    PrepareSettings(format, settings);
    samplesPerFrame_ = int32_t(float(settings.outputRate) / format.frameRate);
    // The MP3 comes in blocks and goes into the stream blocks frame by
    // frame, so a long sound is held once, in its stream blocks.
    std::vector<uint8_t> carry;
    std::unique_ptr<CTagSoundStreamBlock> block;
    int64_t budget = samplesPerFrame_, expected = 0, delivered = 0, count = 0, frameSamples = 0;
    auto finish = [&] {
        const int64_t seek = expected - delivered;
        block->data[0] = uint8_t(count);
        block->data[1] = uint8_t(count >> 8);
        block->data[2] = uint8_t(seek);
        block->data[3] = uint8_t(seek >> 8);
        delivered += count;
        expected += samplesPerFrame_;
        blocks_.push_back(block.release());
        budget += samplesPerFrame_;
        count = 0;
    };
    auto take = [&](const uint8_t* bytes, size_t size) {
        frameSamples = int64_t(encoder.GetSamplesPerChunk()) / std::max(settings.outputChannels, 1);
        if (frameSamples <= 0) return false;
        carry.insert(carry.end(), bytes, bytes + size);
        CMp3Frame frame;
        size_t at = 0, offset = 0;
        while (frame.Locate(carry.data() + at, carry.size() - at, &offset)) {
            // Each block carries the frames its share of samples has room
            // for: none where a movie frame is shorter than an MP3 frame.
            for (;;) {
                if (!block) {
                    block = std::make_unique<CTagSoundStreamBlock>();
                    // Room for the frames its share holds, a padding byte each.
                    block->data.reserve(4 + size_t(budget / frameSamples) * size_t(5 + frame.length));
                    block->data.assign(4, 0);
                }
                if (budget >= frameSamples) break;
                finish();
            }
            const uint8_t* start = carry.data() + at + offset;
            block->data.insert(block->data.end(), start, start + 4 + frame.length);
            count += frameSamples;
            budget -= frameSamples;
            at += offset + 4 + size_t(frame.length);
        }
        carry.erase(carry.begin(), carry.begin() + std::ptrdiff_t(at));
        return true;
    };
    const bool done = encoder.ConvertToMp3Chunks(src, settings, progress, take) && (block || !blocks_.empty());
    NoteOutcome(encoder, done);
    if (!done) return false;
    if (block) finish();
    return true;
}
