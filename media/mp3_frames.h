#pragma once
// MPEG audio Layer III frames as the encoder writes them, and the named
// quality presets the sound panes offer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Layer III bit rates in kbit/s by a header's index (1 to 14 name rates):
// MPEG-1, and MPEG-2 and 2.5 alike.
inline constexpr int kMpeg1BitRates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
inline constexpr int kMpeg2BitRates[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};

class CMp3Frame {
public:
    enum Version { kMpeg25 = 0, kReserved = 1, kMpeg2 = 2, kMpeg1 = 3 };

    CMp3Frame() = default;
    ~CMp3Frame() = default;
    CMp3Frame(const CMp3Frame&) = delete;
    CMp3Frame& operator=(const CMp3Frame&) = delete;

    void Clear();

    // Header fields (first header byte most significant).
    int GetSync() const { return int(header >> 21) & 0x7FF; }
    bool HasSync() const { return GetSync() == 0x7FF; }
    int GetVersion() const { return int(header >> 19) & 3; }
    int GetBitRateIndex() const { return int(header >> 12) & 15; }
    int GetSampleRateIndex() const { return int(header >> 10) & 3; }
    int GetBitRate() const;     // bits per second, 0 when unknown
    int GetSampleRate() const;  // Hz, 0 when unknown
    int GetPadding() const { return int(header >> 9) & 1; }
    // Samples of one channel in the frame: 1152 for MPEG-1, else 576.
    int GetSampleCount() const { return GetVersion() == kMpeg1 ? 1152 : 576; }
    // Bytes after the 4-byte header; -1 for a header without a rate.
    int32_t GetFrameLength() const;
    // Whether the word is a Layer III frame header this parser takes.
    static bool IsFrameHeader(uint32_t word);

    // Finds the first frame in the buffer and takes it: its header and the
    // bytes after it. false when no header is found or the frame runs past
    // the end.
    bool FindNext(const uint8_t* buffer, size_t length, size_t* offset);
    // As FindNext, taking the header and length but not copying the bytes.
    bool Locate(const uint8_t* buffer, size_t length, size_t* offset);

    uint32_t header = 0;
    std::vector<uint8_t> data;
    int32_t length = 0;
};

class CMp3FrameList {
public:
    CMp3FrameList() = default;
    CMp3FrameList(const CMp3FrameList&) = delete;
    CMp3FrameList& operator=(const CMp3FrameList&) = delete;

    void Clear() { frames_.clear(); }
    // Cuts the buffer into frames until no further whole frame is found.
    // Always true; the frames found stay in the list.
    bool Split(const uint8_t* buffer, size_t length);

    size_t GetCount() const { return frames_.size(); }
    const CMp3Frame* GetAt(size_t index) const { return index < frames_.size() ? frames_[index].get() : nullptr; }

private:
    std::vector<std::unique_ptr<CMp3Frame>> frames_;
};

// Moves the frames Split would cut together at the buffer's start, in
// order, without what lay between them; the bytes they take, 0 when there
// is none. Nothing beside the buffer is held, however long the sound.
size_t PackFrames(uint8_t* buffer, size_t length);

struct CMp3Quality {
    bool preset = false;  // false for "Custom": the values stay editable
    int32_t sampleRate = 0;
    int32_t bitRate = 0;  // kbit/s
    std::string name;
    bool stereo = false;
};

class CMp3QualityList {
public:
    CMp3QualityList() = default;
    CMp3QualityList(const CMp3QualityList&) = delete;
    CMp3QualityList& operator=(const CMp3QualityList&) = delete;

    void Clear() { entries_.clear(); }
    // The nine presets in menu order, "Custom" first.
    void Fill();
    size_t GetCount() const { return entries_.size(); }
    const CMp3Quality* GetAt(int index) const;
    // Index of the first entry with these values, 0 ("Custom") when none.
    int Find(int sampleRate, int bitRate, bool stereo) const;

    // Replaces the items of a pop-up menu by the entries' names.
    template <class Menu>
    void FillMenu(Menu& menu) const
    {
        menu.RemoveAllItems();
        for (const auto& entry : entries_) menu.AddItems(entry->name.c_str());
    }

private:
    std::vector<std::unique_ptr<CMp3Quality>> entries_;
};
