#include "media/swf_sound.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "media/mp3_encoder.h"
#include "media/mp3_frames.h"
#include "media/qt_movie.h"

namespace {

void AppendFrame(std::vector<uint8_t>& out, const CMp3Frame& frame)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(frame.header >> shift));
    out.insert(out.end(), frame.data.begin(), frame.data.end());
}

// Encodes src as the format asks and cuts the result into frames.
bool EncodeToFrames(const CPath& src, CSwfSoundFormat& format, CProgressDialog* progress, CMp3Encoder& encoder,
                    CMp3Settings& settings, CMp3FrameList& frames)
{
    // No MP3 rate is 5512 Hz (the encoder would keep the input rate instead):
    // such sounds are encoded and tagged at 11025 Hz.
    if (format.rateCode == 0) format.rateCode = 1;
    settings.bitRate = int32_t(format.bitRate);
    format.sizeCode = 1;
    settings.outputBits = format.GetSampleBits();
    settings.outputRate = format.GetRate();
    settings.outputChannels = format.GetChannels();
    settings.duration = format.duration;
    uint8_t* mp3 = encoder.ConvertToMp3(src, settings, progress);
    if (!mp3) return false;
    frames.Split(mp3, size_t(settings.resultLength));
    std::free(mp3);
    settings.resultBuffer = nullptr;
    return frames.GetCount() > 0;
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

bool CSwfSoundBuilder::EncodeMp3(CTagDefineSound* tag, const CPath& src, CSwfSoundFormat& format,
                                 CProgressDialog* progress)
{
    CMp3Encoder encoder;
    CMp3Settings settings;
    CMp3FrameList frames;
    if (!tag || !EncodeToFrames(src, format, progress, encoder, settings, frames)) return false;

    // A limit past the end of the file counts only what the file holds.
    double seconds = format.duration > 0 ? format.duration / 1000.0 : 0.0;
    CQTMovie movie;
    if (movie.OpenFile(src) && movie.GetTimeScale() > 0) {
        const double fileSeconds = double(movie.GetDuration()) / movie.GetTimeScale();
        seconds = format.duration > 0 ? std::min(seconds, fileSeconds) : fileSeconds;
    }
    tag->SetSampleCount(uint32_t(seconds * settings.outputRate));

    tag->data.assign(2, 0);  // SeekSamples
    for (size_t i = 0; i < frames.GetCount(); ++i) AppendFrame(tag->data, *frames.GetAt(i));
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
    CMp3FrameList frames;
    if (!EncodeToFrames(src, format, progress, encoder, settings, frames)) return false;
    const int32_t frameSamples = int32_t(encoder.GetSamplesPerChunk()) / std::max(settings.outputChannels, 1);
    samplesPerFrame_ = int32_t(float(settings.outputRate) / format.frameRate);
    if (frameSamples <= 0) return false;

    int64_t budget = samplesPerFrame_;
    int64_t expected = 0, delivered = 0;
    size_t next = 0;
    while (next < frames.GetCount()) {
        auto block = std::make_unique<CTagSoundStreamBlock>();
        block->data.assign(4, 0);
        int64_t count = 0;
        while (next < frames.GetCount() && budget >= frameSamples) {
            AppendFrame(block->data, *frames.GetAt(next++));
            count += frameSamples;
            budget -= frameSamples;
        }
        const int64_t seek = expected - delivered;
        block->data[0] = uint8_t(count);
        block->data[1] = uint8_t(count >> 8);
        block->data[2] = uint8_t(seek);
        block->data[3] = uint8_t(seek >> 8);
        delivered += count;
        expected += samplesPerFrame_;
        blocks_.push_back(block.release());
        budget += samplesPerFrame_;
    }
    return true;
}
