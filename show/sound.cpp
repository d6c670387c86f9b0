#include "show/sound.h"

#include <algorithm>

#include "media/qt_movie.h"
#include "platform/fixed_math.h"

CSwfSoundFormat CSoundItem::GetExportFormat(float frameRate) const
{
    CSwfSoundFormat format;
    format.frameRate = frameRate;
    format.compression = CSwfSoundFormat::kMp3;
    format.bitRate = uint32_t(GetBitRate());
    format.SetRate(GetSampleRate());
    format.SetChannels(GetStereo() ? 2 : 1);
    format.duration = GetPlayEntireSound() ? 0 : GetDuration();
    return format;
}

void CSoundItem::Reset()
{
    sample_rate_ = kDefaultSampleRate;
    bit_rate_ = kDefaultBitRate;
    start_time_ = 0;
    duration_ = 0;
    stereo_ = false;
    play_entire_sound_ = true;
    loop_ = false;
    sync_ = false;
}

int CSoundItem::GetStartFrame(float fps) const
{
    return RoundToInt(static_cast<double>(fps) * (start_time_ / 1000.0));
}

uint32_t CSoundItem::ReadSoundInfo(const CPath& path)
{
    if (path.IsEmpty()) return 0;
    CQTMovie movie;
    if (!movie.OpenFile(path) || movie.GetTimeScale() <= 0 || movie.GetDuration() <= 0) return 0;
    const double ms = double(movie.GetDuration()) / movie.GetTimeScale() * 1000.0;
    return static_cast<uint32_t>(std::min(ms, 4294967295.0));
}

void CSoundList::Reset()
{
    include_ = 0;
    play_until_next_sound_ = false;
    Clear();
    items_.push_back(std::make_unique<CSoundItem>());
}

void CSoundList::Assign(const CSoundList& other)
{
    if (&other == this) return;
    Clear();
    for (const auto& item : other.items_) items_.push_back(std::make_unique<CSoundItem>(*item));
    include_ = other.include_;
    play_until_next_sound_ = other.play_until_next_sound_;
}

bool CSoundList::Add(std::unique_ptr<CSoundItem> item)
{
    if (!item) return false;
    items_.push_back(std::move(item));
    return true;
}

CSoundItem* CSoundList::Get(int index) const
{
    return index < 0 || index >= GetCount() ? nullptr : items_[index].get();
}

namespace {

// The path to keep for a sound whose file is missing; empty when none.
CPath RelocateSound(const CPath& missing, CReadContext* context)
{
    if (!context || context->dropMissingSilently) return CPath();
    CPath found;
    if (context->folders.Find(missing, &found)) return found;
    return context->GetRelocator().RelocateSound(missing);
}

}  // namespace

bool CSoundList::ReadXml(const CXMLNode& element, CReadContext* context)
{
    CElementReader list(element, context);
    bool flag;
    if (list.Bool("include", &flag)) include_ = flag;
    list.Bool("play_until_next_sound", &play_until_next_sound_);
    bool first = true;
    ReadChildElements(element, [&](const CXMLNode& child, const std::string& name) {
        if (name != "sound") return false;
        if (items_.empty()) items_.push_back(std::make_unique<CSoundItem>());
        CSoundItem& item = *items_.front();
        CElementReader r(child, context);
        // One item takes them all: what the first gave is overwritten.
        if (!first) r.Issue("", "", "a second sound: its values are read into the first");
        // What is said of the sound's file names the element that gave it.
        if (first || r.Has("src")) item.SetPlace(r.Place());
        first = false;
        CPath src;
        if (r.Path("src", &src)) {
            bool missing = false;
            if (!src.IsEmpty() && !src.Exists()) {
                CPath found = RelocateSound(src, context);
                missing = found.IsEmpty() && context && context->keepMissing && !context->dropMissingSilently;
                if (missing)
                    r.Issue("src", ProjectFileName(src),
                            context->movieFollows ? "sound file missing: the movie goes without it"
                                                  : "sound file missing: kept as stored");
                else if (found.IsEmpty())
                    r.Issue("src", ProjectFileName(src), "sound file missing: sound emptied");
                if (!missing) src = found;
            }
            item.SetSrc(src);
            item.SetFileMissing(missing);
        }
        uint32_t time = item.GetStartTime();
        if (r.NumberIn("start_time", &time)) item.SetStartTime(time);
        time = item.GetDuration();
        if (r.NumberIn("duration", &time)) item.SetDuration(time);
        int rate = item.GetSampleRate();
        const bool rateGiven = r.NumberIn("sample_rate", &rate);
        if (rateGiven) item.SetSampleRate(rate);
        int bitRate = item.GetBitRate();
        const bool bitRateGiven = r.NumberIn("bit_rate", &bitRate);
        if (bitRateGiven) item.SetBitRate(bitRate);
        if (r.Bool("play_entire_sound", &flag)) item.SetPlayEntireSound(flag);
        if (r.Bool("loop", &flag)) item.SetLoop(flag);
        if (r.Bool("stereo", &flag)) item.SetStereo(flag);
        if (r.Bool("sync", &flag)) item.SetSync(flag);
        // A sound the movie takes is encoded at a sample rate a movie's MP3
        // has and at the nearest bit rate the encoder has at it (a file only
        // written back keeps the values): each asked for and not had is said
        // with the one used. The default bit rate, which every project
        // written holds, is said no more than when left out; a missing
        // file's sound is not made at all. A bit rate of none is the
        // export's to say.
        if ((rateGiven || bitRateGiven) && context && context->movieFollows && include_ > 0 && item.HasFile()) {
            const CSwfSoundFormat format = item.GetExportFormat(12.0f);
            if (rateGiven && format.GetMp3Rate() != item.GetSampleRate())
                r.Refused("sample_rate", "a movie's MP3 sound has no such sample rate",
                          (std::to_string(format.GetMp3Rate()) + " used").c_str());
            const uint32_t used = format.GetMp3BitRate();
            if (bitRateGiven && item.GetBitRate() != CSoundItem::kDefaultBitRate && used != 0 &&
                used != uint32_t(item.GetBitRate()))
                r.Refused(
                    "bit_rate",
                    ("the MP3 encoder has no such bit rate at " + std::to_string(format.GetMp3Rate()) + " Hz").c_str(),
                    (std::to_string(used) + " used").c_str());
        }
        return true;
    });
    return true;
}

bool CSoundList::WriteXml(CXMLOutputFile& out) const
{
    out.Write("<sound_data");
    CAttrWriter(out).Bool("include", include_ != 0).Bool("play_until_next_sound", play_until_next_sound_);
    out.Write(">\n");
    for (const auto& item : items_) {
        out.Write("<sound");
        CAttrWriter(out)
            .Path("src", item->GetSrc())
            .UInt("start_time", item->GetStartTime())
            .UInt("duration", item->GetDuration())
            .Bool("play_entire_sound", item->GetPlayEntireSound())
            .Bool("loop", item->GetLoop())
            .Int("sample_rate", item->GetSampleRate())
            .Int("bit_rate", item->GetBitRate())
            .Bool("stereo", item->GetStereo())
            .Bool("sync", item->GetSync());
        out.Write(" />\n");
    }
    out.Write("</sound_data>\n");
    return true;
}
