#include "media/mp3_frames.h"

#include <cstring>

namespace {

// By version (2.5, reserved, 2, 1) and sample-rate index.
constexpr int kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

uint32_t ReadWord(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

void CMp3Frame::Clear()
{
    header = 0;
    data.clear();
    length = 0;
}

int CMp3Frame::GetBitRate() const
{
    switch (GetVersion()) {
        case kMpeg1:
            return kMpeg1BitRates[GetBitRateIndex()] * 1000;
        case kMpeg2:
        case kMpeg25:
            return kMpeg2BitRates[GetBitRateIndex()] * 1000;
        default:
            return 0;
    }
}

int CMp3Frame::GetSampleRate() const
{
    return kSampleRates[GetVersion()][GetSampleRateIndex()];
}

int32_t CMp3Frame::GetFrameLength() const
{
    const int rate = GetSampleRate();
    if (rate == 0) return -1;
    const int64_t factor = GetVersion() == kMpeg1 ? 144 : 72;
    return int32_t(factor * GetBitRate() / rate + GetPadding() - 4);
}

bool CMp3Frame::IsFrameHeader(uint32_t word)
{
    CMp3Frame probe;
    probe.header = word;
    return probe.HasSync() && probe.GetVersion() != kReserved && probe.GetBitRateIndex() != 0 &&
           probe.GetBitRateIndex() != 15 && probe.GetSampleRateIndex() != 3;
}

bool CMp3Frame::Locate(const uint8_t* buffer, size_t size, size_t* offset)
{
    Clear();
    // No floor on the bytes scanned beyond a header's: at 8 kbit/s a frame
    // is 24 to 27 bytes, and the last one is the sound's end.
    if (!buffer || size < 4) return false;
    for (size_t at = 0; at + 4 <= size; ++at) {
        const uint32_t word = ReadWord(buffer + at);
        if (!IsFrameHeader(word)) continue;
        header = word;
        const int32_t bodyLength = GetFrameLength();
        // A frame that runs past the buffer ends the search: it is cut off.
        if (bodyLength < 0 || uint64_t(at) + 4 + uint64_t(bodyLength) > size) {
            Clear();
            return false;
        }
        length = bodyLength;
        if (offset) *offset = at;
        return true;
    }
    return false;
}

bool CMp3Frame::FindNext(const uint8_t* buffer, size_t size, size_t* offset)
{
    size_t at = 0;
    if (!Locate(buffer, size, &at)) return false;
    data.assign(buffer + at + 4, buffer + at + 4 + length);
    if (offset) *offset = at;
    return true;
}

size_t PackFrames(uint8_t* buffer, size_t size)
{
    CMp3Frame frame;
    size_t at = 0, offset = 0, end = 0;
    while (buffer && at < size && frame.Locate(buffer + at, size - at, &offset)) {
        const size_t frameSize = 4 + size_t(frame.length);
        if (at + offset != end) std::memmove(buffer + end, buffer + at + offset, frameSize);
        end += frameSize;
        at += offset + frameSize;
    }
    return end;
}

bool CMp3FrameList::Split(const uint8_t* buffer, size_t size)
{
    size_t at = 0;
    while (buffer && at < size) {
        auto frame = std::make_unique<CMp3Frame>();
        size_t offset = 0;
        if (!frame->FindNext(buffer + at, size - at, &offset)) break;
        at += offset + 4 + size_t(frame->length);
        frames_.push_back(std::move(frame));
    }
    return true;
}

void CMp3QualityList::Fill()
{
    struct Row {
        const char* name;
        int rate;
        int bitRate;
        bool stereo;
        bool preset;
    };
    static constexpr Row kPresets[] = {
        {"Custom", 0, 0, false, false},           {"Very Low", 11025, 56, false, true},
        {"Low", 11025, 64, false, true},          {"Medium", 11025, 96, false, true},
        {"High", 44100, 128, false, true},        {"Very High", 44100, 160, false, true},
        {"Highest", 44100, 320, true, true},      {"Near-CD Quality", 44100, 160, false, true},
        {"Speech/Voice", 11025, 32, false, true},
    };
    Clear();
    for (const Row& row : kPresets)
        entries_.push_back(
            std::make_unique<CMp3Quality>(CMp3Quality{row.preset, row.rate, row.bitRate, row.name, row.stereo}));
}

const CMp3Quality* CMp3QualityList::GetAt(int index) const
{
    if (index < 0 || size_t(index) >= entries_.size()) return nullptr;
    return entries_[size_t(index)].get();
}

int CMp3QualityList::Find(int sampleRate, int bitRate, bool stereo) const
{
    for (size_t i = 0; i < entries_.size(); ++i) {
        const CMp3Quality& q = *entries_[i];
        if (q.sampleRate == sampleRate && q.bitRate == bitRate && q.stereo == stereo) return int(i);
    }
    return 0;
}
