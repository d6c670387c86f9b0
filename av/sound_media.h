#pragma once
// Stand-in for the sound side of QuickTime's movie import and export, over
// libsndfile: a sound file (AIFF, WAVE, MP3, FLAC and what else the
// library reads) opens as a source of 16-bit samples, and its sound exports
// to a 16-bit big-endian AIFF file. The time scale of a sound is its rate.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "av/channel_mix.h"
#include "av/resampler.h"

namespace platform {

struct SoundInfo {
    int sampleRate = 0;
    int channels = 0;
    // Each channel's place (av/channel_mix.h) where the file names
    // them; empty where it does not.
    std::vector<int> places;
    int64_t frames = 0;       // samples of one channel
    // What the file's own header claims where it says more than frames (a
    // WAVE file's data chunk, an AIFF file's frame count); 0 otherwise.
    int64_t claimedFrames = 0;
    // That claim counts every sample (an MP3's frame count with its LAME
    // tag), so that any shortfall is sound lost; else it may be off a little.
    bool claimExact = false;
    int bitsPerSample = 0;    // of the stored data; 0 for compressed data
    uint32_t dataFormat = 0;  // four-character code: 'twos', 'sowt', '.mp3' ...
    std::string formatName;   // the container and encoding, for people
    // Each frame of the data names its own place (FLAC's frame headers), so
    // another decoder can go on past damage without shifting what follows.
    bool framesPlaced = false;
};

// The one judgement of what a sound's header may say, for every reader of
// one (libsndfile's road, the movie layer's, the WAVE loader): why a sample
// rate in Hz, a channel count or a sample size in bits (of uncompressed
// data; negative where the encoding states none) is one no sound has,
// naming the field; empty when each is one a sound can have. Beyond these a
// field is a damaged header, and the sound read by it is noise, or a
// moment, or too long to encode.
inline std::string SoundFormatFault(double rate, int64_t channels, int64_t bits)
{
    constexpr double kMinRate = 1000, kMaxRate = 768000;
    constexpr int64_t kMaxChannels = 64, kMaxBits = 64;
    if (!(rate >= kMinRate && rate <= kMaxRate)) {
        char text[48];
        std::snprintf(text, sizeof text, std::abs(rate) < 1e15 ? "%.0f" : "%g", rate);
        return "its header gives a sample rate of " + std::string(text) + " Hz; a sound has 1000 to 768000";
    }
    if (channels < 1 || channels > kMaxChannels)
        return "its header gives " + std::to_string(channels) + " channels; a sound has 1 to 64";
    if (bits == 0 || bits > kMaxBits)
        return "its header gives a sample size of " + std::to_string(bits) + " bits; a sound has 1 to 64";
    return {};
}

// The most silence, in seconds, kept for frames lost where the file names
// their place but nothing bounds it (a stream that ends before the length
// its header gives, a frame header naming a place far on): a header may
// claim hours for a few kilobytes.
inline constexpr int64_t kMostSilenceSeconds = 600;

// A WAVE data size of 0 or 0xFFFFFFFF is the placeholder of a writer that
// could not go back to fill it in: it claims nothing, and the samples run
// to the end of the file.
inline bool SizeClaimsNothing(uint32_t size)
{
    return size == 0 || size == 0xFFFFFFFFu;
}

// Where a decoder said it could not decode a sound, and its words: every
// source keeps its complaints here, so that all say them alike. Each place
// is kept with its own time and words, so that damage at several places is
// said at each, not as one span over the sound between them.
class DecodeComplaints {
public:
    // The decoder complained while it decoded frames [from, to). Empty words
    // go on from the place before (silence put in for what it complained of).
    void Add(int64_t from, int64_t to, const std::string& words);
    // What another decoder of the same sound complained of, on one timeline:
    // its frames, at otherRate, placed from offset at rate.
    void Add(const DecodeComplaints& other, int64_t offset = 0, int otherRate = 1, int rate = 1);
    // The decoder skipped a stretch at the place last added whose length
    // nothing in the file tells, so what follows it plays early: the one
    // way every source says so.
    void MarkTimeLost();
    bool TimeLost() const;
    bool Empty() const { return places_.empty(); }
    // How many times a decoder complained: grows with every complaint.
    int64_t Count() const { return count_; }
    void Clear() { *this = DecodeComplaints{}; }
    // "" when it never complained; else where, in seconds at rate, and what
    // it said: "it does not decode between 3.4 s and 5.5 s: <its words>",
    // each place, those less than a quarter of a second apart as one, and
    // places of the same words together.
    std::string Text(int rate) const;

private:
    struct Place {
        int64_t from = 0, to = 0;
        std::string words;
        bool timeLost = false;
    };
    // A damaged file may complain at every packet: past this many places
    // the last grows instead.
    static constexpr size_t kMostPlaces = 256;
    std::vector<Place> places_;
    int64_t count_ = 0;
};

// Inline, as the movie module keeps its own copy.
inline void DecodeComplaints::Add(int64_t from, int64_t to, const std::string& words)
{
    ++count_;
    to = std::max(from, to);
    // What runs on from the place before, or lies within it, is that place.
    if (!places_.empty()) {
        Place& last = places_.back();
        const bool joins = from <= last.to && to >= last.from && (words.empty() || words == last.words);
        if (joins || places_.size() >= kMostPlaces) {
            last.from = std::min(last.from, from);
            last.to = std::max(last.to, to);
            if (last.words.empty()) last.words = words;
            return;
        }
    }
    places_.push_back({from, to, words, false});
}

inline void DecodeComplaints::Add(const DecodeComplaints& other, int64_t offset, int otherRate, int rate)
{
    const auto at = [&](int64_t frame) { return offset + (otherRate == rate ? frame : frame * rate / otherRate); };
    for (const Place& p : other.places_) {
        Add(at(p.from), at(p.to), p.words);
        if (p.timeLost) MarkTimeLost();
    }
    count_ += other.count_ - int64_t(other.places_.size());
}

inline void DecodeComplaints::MarkTimeLost()
{
    if (!places_.empty()) places_.back().timeLost = true;
}

inline bool DecodeComplaints::TimeLost() const
{
    return std::any_of(places_.begin(), places_.end(), [](const Place& p) { return p.timeLost; });
}

inline std::string DecodeComplaints::Text(int rate) const
{
    if (places_.empty() || rate <= 0) return {};
    std::vector<Place> places = places_;
    std::stable_sort(places.begin(), places.end(), [](const Place& a, const Place& b) { return a.from < b.from; });
    // Places less than a quarter of a second apart (a FLAC frame one decoder
    // lost, and the next that another complained of) are one; its words are
    // the first said there.
    std::vector<Place> merged;
    for (const Place& p : places) {
        if (!merged.empty() && p.from - merged.back().to < rate / 4) {
            Place& last = merged.back();
            last.to = std::max(last.to, p.to);
            if (last.words.empty()) last.words = p.words;
            last.timeLost = last.timeLost || p.timeLost;
            continue;
        }
        merged.push_back(p);
    }
    // Silence put in after a place is of that place's damage.
    for (size_t i = 1; i < merged.size(); ++i)
        if (merged[i].words.empty()) merged[i].words = merged[i - 1].words;
    const auto seconds = [rate](int64_t frames) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", double(frames) / rate);
        return std::string(text);
    };
    // Places of the same words and time said together, in the order met.
    constexpr size_t kMostSaid = 12;
    std::string text;
    std::vector<bool> said(merged.size(), false);
    for (size_t i = 0; i < merged.size(); ++i) {
        if (said[i]) continue;
        std::vector<std::string> where;
        int64_t more = 0, lastTo = 0;
        for (size_t k = i; k < merged.size(); ++k) {
            const Place& p = merged[k];
            if (said[k] || p.words != merged[i].words || p.timeLost != merged[i].timeLost) continue;
            said[k] = true;
            if (where.size() == kMostSaid) {
                ++more;
                lastTo = p.to;
                continue;
            }
            const std::string from = seconds(p.from), to = seconds(p.to);
            where.push_back(from == to ? "at " + from : "between " + from + " and " + to);
        }
        if (more > 0) where.push_back(std::to_string(more) + " more place" + (more > 1 ? "s" : "") + " up to " + seconds(lastTo));
        std::string list = where.front();
        for (size_t k = 1; k < where.size(); ++k) list += (k + 1 == where.size() ? " and " : ", ") + where[k];
        if (!text.empty()) text += "; ";
        text += "it does not decode " + list;
        if (merged[i].timeLost) text += " (what follows plays early)";
        if (!merged[i].words.empty()) text += ": " + merged[i].words;
    }
    return text;
}

// "after 5.0 s of the 10.0 s it claims": how much of the length it claims a
// sound, or a recording in it, plays (frames at rate), to the millisecond
// where a tenth of a second does not tell them apart.
std::string ShortOfClaim(int64_t played, int64_t claimed, int rate);

// A float sample as a 16-bit one, full scale (±1) to full scale, clipped;
// NaN as silence.
inline int16_t Sample16(float v)
{
    const float scaled = v * 32768.0f;
    return std::isnan(scaled) ? int16_t(0) : int16_t(std::lrint(std::clamp(scaled, -32768.0f, 32767.0f)));
}

// Where the sound export reads samples from: a sound file here, or the sound
// track of a movie (av/movie_media.h).
class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual const SoundInfo& Info() const = 0;
    virtual bool Seek(int64_t frame) = 0;
    // Reads up to frames frames as interleaved host-order 16-bit samples;
    // the frames read, 0 at the end, -1 on an error.
    virtual int64_t Read16(int16_t* out, int64_t frames) = 0;
    // Where the decoder could not decode since the source was opened
    // (samples it skipped or concealed), and what it said.
    virtual DecodeComplaints Complaints() const { return {}; }
    // The same in words; empty when all decoded.
    std::string Damage() const { return Complaints().Text(Info().sampleRate); }
};

// Whether a sound read this far is one of which nothing decodes: no frames,
// or nothing but silence among decoder complaints, which is concealment,
// not the recording.
inline bool NothingDecodes(const SampleSource& source, int64_t frames, bool silent)
{
    return frames == 0 || (silent && !source.Complaints().Empty());
}

// The same judgement over the whole sound, read from its start: a sound
// whose first moments are silence among complaints may decode later on,
// and a check made before the export must say what the export will.
bool NothingOfItDecodes(SampleSource& source);

struct SoundFileView;
class MpegAudioReader;
class FlacReader;

class SoundSource : public SampleSource {
public:
    SoundSource();
    ~SoundSource() override;
    SoundSource(const SoundSource&) = delete;
    SoundSource& operator=(const SoundSource&) = delete;

    // false with the reason in LastError() when the file holds no sound
    // this layer can read; what was open before is closed either way. A
    // FLAC stream of several joined end to end is read from the bytes
    // [begin, end) of the file alone (to the end when end is negative).
    // Where fd is given, the file is read through it (a descriptor of the
    // file at path, which the caller keeps open as long as this is), never
    // opened again: the streams of a file that joins thousands share one.
    bool Open(const std::string& path, int64_t begin = 0, int64_t end = -1, int fd = -1);
    // Whether the last Open refused the file for what its header gives
    // (SoundFormatFault): no other reader is to make a sound of it.
    bool HeaderRefused() const { return headerRefused_; }
    void Close();
    bool IsOpen() const { return file_ != nullptr || mpeg_ != nullptr || flac_ != nullptr; }
    const SoundInfo& Info() const override { return info_; }
    const std::string& LastError() const { return error_; }

    bool Seek(int64_t frame) override;
    // A read that stops on an error hands out what decoded before it; the
    // next read fails, until a seek opens the file afresh.
    int64_t Read16(int16_t* out, int64_t frames) override;
    DecodeComplaints Complaints() const override;
    // Whether the decoder gave up at the last read, and why, in our words.
    bool Stopped() const { return stopped_; }
    const std::string& StopWords() const { return stopWords_; }

private:
    // The file opened again at its start, while it holds the same sound.
    bool Reopen();
    // The MPEG audio stream in the file's bytes [begin, end) (to its end
    // when end is negative), read by libmpg123 itself.
    bool OpenMpeg(const std::string& path, int64_t begin, int64_t end);
    // Reads on from position_ to frame, where the decoder cannot seek.
    bool ReadOnTo(int64_t frame);
    // The FLAC stream the view holds, read by libFLAC itself.
    bool OpenFlac(const std::string& path, std::unique_ptr<SoundFileView> view);

    void* file_ = nullptr;  // SNDFILE
    std::unique_ptr<SoundFileView> view_;  // what file_ reads through
    // MPEG audio, which libsndfile only tells apart: read with libmpg123.
    std::unique_ptr<MpegAudioReader> mpeg_;
    // FLAC of the sample sizes libsndfile does not read, over view_.
    std::unique_ptr<FlacReader> flac_;
    std::string path_;
    int64_t end_ = -1;  // where the bytes read end, for a stream of several
    SoundInfo info_;
    int64_t libraryFrames_ = 0;  // the length libsndfile gave, to know the file again
    std::string error_;
    bool headerRefused_ = false;
    int64_t position_ = 0;
    bool floats_ = false;  // float or double samples
    bool factBound_ = false;  // ends at the fact chunk's count, short of libsndfile's
    bool stopped_ = false;
    bool concealing_ = false;  // the last read ended in silence put in for damage
    std::string damaged_;      // our words for damaged data of the file's encoding
    std::string stopWords_;
    DecodeComplaints complaints_;
};

// What an export wrote, and what of the sound was damaged: decoder errors,
// or an end well before the length the file claims.
struct SoundExportResult {
    int64_t frames = 0;
    std::string damage;
    // The system's reason (an errno value) the file could not be made or
    // written: the machine's failure, not the sound's. 0 when none.
    int writeError = 0;
};

// libsndfile writes the exported AIFF a few kilobytes a call: through a
// buffer of this size a long sound's hundred megabytes take a few hundred
// system calls, not tens of thousands, while a short sound's peak memory
// grows by little.
inline constexpr size_t kAiffWriteBufferBytes = size_t(64) << 10;

// Writes the first maxFrames frames of the source (all with a negative
// count) to path as 16-bit AIFF at the source's rate and channels, or mixed
// down to channels where it has more (av/channel_mix.h). progress
// receives the fraction done (0 to 1) after each block and returns false to
// stop. On any failure or stop the file is removed. A sound of which
// nothing decodes (no samples, or only silence among decoder errors) fails;
// one that decodes in part is written as far as it decodes, with the damage
// said in result.
bool ExportAiff16(SampleSource& source, const std::string& path, int64_t maxFrames,
                  const std::function<bool(double fraction)>& progress, std::string* error,
                  SoundExportResult* result = nullptr, int channels = 0);

// A sound's samples converted to another rate and channel count, read on
// from piece to piece with one resampler, so that pieces read one after
// another give the very samples the whole read at once gives.
class ConvertedReader {
public:
    ConvertedReader() = default;
    ConvertedReader(const ConvertedReader&) = delete;
    ConvertedReader& operator=(const ConvertedReader&) = delete;

    // Output frames [first, first + frames) as interleaved floats in -1..1
    // (fewer at the end of the sound); reading on from where the last read
    // ended continues, anywhere else starts again. false when nothing can
    // be read.
    bool Read(SampleSource& source, int rate, int channels, int64_t first, int64_t frames, std::vector<float>* out);
    // Forgets the source: the next read starts again.
    void Reset() { source_ = nullptr; }
    // Whether every sample decoded since the reader last started was zero.
    bool AllSilent() const { return silent_; }

private:
    bool Restart(SampleSource& source, int rate, int channels);
    // Decodes up to frames frames of the source, mixed to channels_ and
    // resampled, onto ready_; the input's end flushes the resampler.
    bool Fill(int64_t frames);
    // Up to frames output frames onto out.
    bool Produce(int64_t frames, std::vector<float>* out);

    SampleSource* source_ = nullptr;
    int rate_ = 0, channels_ = 0;
    Resampler resampler_;       // started when the rates differ
    std::vector<float> gains_;  // how the source's channels make channels_
    std::vector<float> mixed_;  // input mixed to channels_, for the resampler
    std::vector<int16_t> raw_;  // the source's samples, kept from block to block
    std::vector<float> ready_;  // output frames not yet handed out, from readyAt_
    size_t readyAt_ = 0;
    bool inputEnded_ = false;
    int64_t outPosition_ = -1;
    bool silent_ = true;
    bool readAny_ = false;
};

}  // namespace platform
