#pragma once
// Sound lists: a slide's sound or the show's background sound, and the
// items that name each sound file and how it is compiled.
#include <memory>
#include <vector>

#include "foundation/path.h"
#include "media/swf_sound.h"
#include "show/xml_io.h"

class CSoundItem {
public:
    // What a new item holds, and what every project written holds unless
    // changed: at a sample rate whose MP3 lacks it, the nearest the encoder has.
    static constexpr int kDefaultSampleRate = 11025;
    static constexpr int kDefaultBitRate = 96;

    CSoundItem() { Reset(); }
    CSoundItem(const CSoundItem&) = default;
    CSoundItem& operator=(const CSoundItem&) = default;

    void Reset();
    // The MP3 stream or sound the movie carries this sound as.
    CSwfSoundFormat GetExportFormat(float frameRate) const;
    void SetSrc(const CPath& p)
    {
        src_ = p;
        file_missing_ = false;
    }
    // The file was missing when the show was read: the path is kept as the
    // file has it, and the movie goes without the sound.
    void SetFileMissing(bool missing) { file_missing_ = missing; }
    // A file the movie can take the sound from: named, and not missing.
    bool HasFile() const { return !src_.IsEmpty() && !file_missing_; }
    // The "sound" element that gave the item its file.
    const CFilePlace& GetPlace() const { return place_; }
    void SetPlace(const CFilePlace& place) { place_ = place; }
    void SetSampleRate(int v) { sample_rate_ = v; }
    void SetBitRate(int v) { bit_rate_ = v; }
    void SetStereo(bool v) { stereo_ = v; }
    void SetStartTime(uint32_t v) { start_time_ = v; }
    void SetDuration(uint32_t v) { duration_ = v; }
    void SetLoop(bool v) { loop_ = v; }
    void SetPlayEntireSound(bool v) { play_entire_sound_ = v; }
    void SetSync(bool v) { sync_ = v; }

    const CPath& GetSrc() const { return src_; }
    int GetSampleRate() const { return sample_rate_; }
    int GetBitRate() const { return bit_rate_; }
    bool GetStereo() const { return stereo_; }
    uint32_t GetStartTime() const { return start_time_; }
    uint32_t GetDuration() const { return duration_; }
    bool GetLoop() const { return loop_; }
    bool GetPlayEntireSound() const { return play_entire_sound_; }
    bool GetSync() const { return sync_; }

    // The frame the sound starts at: fps × start / 1000 + 0.5, truncated.
    int GetStartFrame(float fps) const;
    // A sound file's length in milliseconds; 0 when it cannot be read.
    static uint32_t ReadSoundInfo(const CPath& path);

private:
    CPath src_;
    int sample_rate_ = kDefaultSampleRate;
    int bit_rate_ = kDefaultBitRate;
    uint32_t start_time_ = 0;
    uint32_t duration_ = 0;
    bool stereo_ = false;
    bool play_entire_sound_ = true;
    bool loop_ = false;
    bool sync_ = false;
    bool file_missing_ = false;
    CFilePlace place_;
};

class CSoundList {
public:
    CSoundList() { Reset(); }
    CSoundList(const CSoundList&) = delete;
    CSoundList& operator=(const CSoundList&) = delete;

    // Include off, one default item.
    void Reset();
    void Clear() { items_.clear(); }
    void Assign(const CSoundList& other);
    bool HasInclude() const { return include_ > 0; }
    int GetInclude() const { return include_; }
    void SetInclude(int v) { include_ = v; }
    bool GetPlayUntilNextSound() const { return play_until_next_sound_; }
    void SetPlayUntilNextSound(bool v) { play_until_next_sound_ = v; }
    bool Add(std::unique_ptr<CSoundItem> item);
    CSoundItem* Get(int index) const;
    int GetCount() const { return static_cast<int>(items_.size()); }

    // Every "sound" child fills the first item. A missing file is looked
    // for, asked about or emptied as the context says.
    bool ReadXml(const CXMLNode& element, CReadContext* context = nullptr);
    bool WriteXml(CXMLOutputFile& out) const;

private:
    std::vector<std::unique_ptr<CSoundItem>> items_;
    int include_ = 0;
    bool play_until_next_sound_ = false;
};
