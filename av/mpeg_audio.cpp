#include "av/mpeg_audio.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>

#include "av/captured_stderr.h"
#include "av/file_walks.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

mpg123_handle* Handle(void* handle)
{
    return static_cast<mpg123_handle*>(handle);
}

constexpr char kDamagedWords[] = "damaged MPEG audio data";

// Which file a walk was over: the same bytes of the same unchanged file.
struct WalkKey {
    uint64_t device = 0, inode = 0;
    int64_t size = 0, seconds = 0, nanoseconds = 0, begin = 0, end = 0;
    bool operator==(const WalkKey&) const = default;
};

WalkKey KeyOf(const struct stat& st, int64_t begin, int64_t end)
{
    return {uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_size), int64_t(st.st_mtim.tv_sec),
            int64_t(st.st_mtim.tv_nsec), begin, end};
}

}  // namespace

// The last few walks, for every reader of the process.
class MpegAudioReader::WalkCache {
public:
    std::optional<Walked> Find(const WalkKey& key)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& [k, walked] : walks_)
            if (k == key) return walked;
        return std::nullopt;
    }
    void Add(const WalkKey& key, const Walked& walked)
    {
        constexpr size_t kKept = 8;
        const std::lock_guard<std::mutex> lock(mutex_);
        walks_.emplace_front(key, walked);
        if (walks_.size() > kKept) walks_.pop_back();
    }
    void Clear()
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        walks_.clear();
    }

private:
    std::mutex mutex_;
    std::list<std::pair<WalkKey, Walked>> walks_;
};

MpegAudioReader::WalkCache& MpegAudioReader::Walks()
{
    static WalkCache cache;
    [[maybe_unused]] static const bool forgettable = ForgetsWith([] { cache.Clear(); });
    return cache;
}

void MpegAudioReader::Close()
{
    if (handle_) {
        mpg123_close(Handle(handle_));
        mpg123_delete(Handle(handle_));
    }
    handle_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    bytes_.Reset(-1, 0, 0);
    walked_ = Walked{};
    decoderFreeSize_ = -1;
    frame_.clear();
    pending_.clear();
    pendingAt_ = 0;
    silence_ = decoded_ = position_ = audioFrames_ = 0;
    decodedExact_ = 0;
    shortSaid_ = 0;
    ended_ = said_ = false;
    complaints_.Clear();
}

bool MpegAudioReader::LooksLikeMpegAudio(const std::string& path)
{
    std::string why;
    const int fd = OpenRegularFile(path, &why);
    if (fd < 0) return false;
    struct stat st {};
    const bool stated = ::fstat(fd, &st) == 0;
    // A file walked whole already (the show's check, then its export) is one.
    if (stated && Walks().Find(KeyOf(st, 0, int64_t(st.st_size)))) {
        ::close(fd);
        return true;
    }
    // Most files tell at their first frames: small blocks. One no longer
    // than a block is walked whole from there on, and kept for the open
    // that follows (a longer one keeps its first block for the decode where
    // the open walks it).
    MpegAudioReader probe;
    probe.fd_ = fd;
    const bool whole = stated && st.st_size <= mpeg::StreamBytes::kBlockBytes;
    probe.bytes_.Reset(fd, 0, stated ? st.st_size : 0, whole ? mpeg::StreamBytes::kBlockBytes : 1 << 14);
    unsigned char p[12];
    const size_t n = probe.bytes_.Read(0, p, sizeof p);
    if (mpeg::OtherFormatAt(p, n) || !probe.parse_.Start()) return false;
    if (whole && probe.WalkOn(&why)) Walks().Add(KeyOf(st, 0, int64_t(st.st_size)), probe.walked_);
    return true;
}

std::shared_ptr<const std::vector<mpeg::Step>> MpegAudioReader::KeptSteps(const std::string& path, int64_t* cost)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return nullptr;
    const std::optional<Walked> walked = Walks().Find(KeyOf(st, 0, int64_t(st.st_size)));
    if (!walked || !walked->steps) return nullptr;
    if (cost) *cost = walked->cost;
    return walked->steps;
}

bool MpegAudioReader::Open(const std::string& path, std::string* error, int64_t begin, int64_t end)
{
    Close();
    auto fail = [&](const std::string& why) {
        Close();
        if (error) *error = why;
        return false;
    };
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    std::string why;
    fd_ = OpenRegularFile(path, &why);
    if (fd_ < 0) return fail(why);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return fail(std::strerror(errno));
    begin = std::clamp<int64_t>(begin, 0, st.st_size);
    end = end < 0 ? st.st_size : std::clamp<int64_t>(end, begin, st.st_size);
    bytes_.Reset(fd_, begin, end - begin);
    const WalkKey key = KeyOf(st, begin, end);
    if (const std::optional<Walked> walked = Walks().Find(key)) {
        walked_ = *walked;
    } else {
        if (!Walk(&why)) return fail(why);
        Walks().Add(key, walked_);
    }
    int status = MPG123_OK;
    handle_ = mpg123_new(nullptr, &status);
    if (!handle_) return fail("the MPEG audio decoder cannot start");
    PrimeDecoder();  // where it does not decode, the frames still do
    if (!Rewind()) return fail("the MPEG audio decoder cannot start");
    return true;
}

bool MpegAudioReader::Walk(std::string* error)
{
    if (!parse_.Start()) {
        *error = "no MPEG audio frame in the file";
        return false;
    }
    return WalkOn(error);
}

bool MpegAudioReader::WalkOn(std::string* error)
{
    // The sound's format is its first frame's: frames of another rate or
    // channel count are converted to it.
    std::optional<mpeg::TimelineBuilder> timeline;
    int64_t audio = 0;
    // About a minute and a half of frames at 44.1 kHz.
    constexpr size_t kMostKeptSteps = 4096;
    auto steps = std::make_shared<std::vector<mpeg::Step>>();
    for (mpeg::Step step; (step = parse_.Next()).kind != mpeg::Step::kEnd;) {
        if (steps && steps->size() < kMostKeptSteps) steps->push_back(step);
        else steps.reset();
        // (A frame cut short may come first.)
        if (!timeline && (step.kind == mpeg::Step::kFrame || step.cut)) {
            unsigned char p[4];
            mpeg::FrameHeader h;
            if (bytes_.Read(step.at, p, 4) < 4 || !mpeg::ReadFrameHeader(p, &h)) continue;
            walked_.rate = h.rate;
            walked_.channels = h.mono ? 1 : 2;
            walked_.layer = h.layer;
            timeline.emplace(bytes_, h.rate);
        }
        if (!timeline) continue;
        timeline->Add(step);
        if (step.kind == mpeg::Step::kFrame && !step.header) ++audio;
    }
    if (audio == 0) {
        *error = "no MPEG audio frame in the file";
        return false;
    }
    walked_.audioFrames = audio;
    walked_.steps = std::move(steps);
    walked_.cost = parse_.Cost();
    walked_.timeline = timeline->Finish(&walked_.frames, &walked_.claimed, &walked_.claimExact);
    return true;
}

bool MpegAudioReader::OpenDecoder(int64_t freeSize)
{
    mpg123_handle* h = Handle(handle_);
    mpg123_close(h);
    // Whole frames are fed one at a time: none is taken before the next
    // confirms it, and every frame gives all its samples, so that the
    // length is known from the frames alone; the encoder's delay and
    // padding are cut here. Frames of another rate or channel count come
    // out in the first's: libmpg123 resamples them by their own time, so
    // that each keeps its length.
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME | MPG123_SKIP_ID3V2, 0);
    mpg123_param(h, MPG123_FREEFORMAT_SIZE, freeSize > 0 ? long(freeSize - 4) : -1, 0);
    mpg123_param(h, MPG123_FORCE_RATE, walked_.rate, 0);
    mpg123_param(h, MPG123_ADD_FLAGS, walked_.channels == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO, 0);
    mpg123_format_none(h);
    mpg123_format(h, walked_.rate, walked_.channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
    decoderFreeSize_ = freeSize;
    const CapturedStderr quiet([](const std::string&) {});
    return mpg123_open_feed(h) == MPG123_OK;
}

bool MpegAudioReader::PrimeDecoder()
{
    // libmpg123 allocates its Layer III scratch once a handle and never
    // clears it; a damaged short-block granule (a quad's sign bits past its
    // part2_3_length) leaves a value or two of it unwritten, which would
    // make that frame and the next decode of whatever the heap held. A
    // silent frame sets it all: such a frame then decodes alike every time.
    // Its side information is all zeros: nothing but silence in it.
    static constexpr int kRates[][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    int version = -1, index = 0;
    for (int v : {3, 2, 0})
        for (int i = 0; i < 3; ++i)
            if (kRates[v][i] == walked_.rate) version = v, index = i;
    if (version < 0 || !OpenDecoder(0)) return false;
    const unsigned char head[4] = {0xFF, static_cast<unsigned char>(0xE0 | version << 3 | 0x03),
                                   static_cast<unsigned char>(8 << 4 | index << 2), 0x00};
    mpeg::FrameHeader h;
    if (!mpeg::ReadFrameHeader(head, &h)) return false;
    frame_.assign(size_t(h.size), 0);
    std::copy(std::begin(head), std::end(head), frame_.begin());
    mpg123_handle* handle = Handle(handle_);
    const CapturedStderr quiet([](const std::string&) {});
    mpg123_feed(handle, frame_.data(), frame_.size());
    const int status = mpg123_framebyframe_next(handle);
    off_t number = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    return (status == MPG123_OK || status == MPG123_NEW_FORMAT) &&
           mpg123_framebyframe_decode(handle, &number, &audio, &bytes) == MPG123_OK;
}

bool MpegAudioReader::Rewind()
{
    if (!handle_ || fd_ < 0) return false;
    pending_.clear();
    pendingAt_ = 0;
    silence_ = decoded_ = position_ = audioFrames_ = 0;
    decodedExact_ = 0;
    shortSaid_ = 0;
    ended_ = false;
    replayed_ = 0;
    if (!walked_.steps && !parse_.Start()) return false;
    return OpenDecoder(0);
}

mpeg::Step MpegAudioReader::NextStep()
{
    if (!walked_.steps) return parse_.Next();
    return replayed_ < walked_.steps->size() ? (*walked_.steps)[replayed_++] : mpeg::Step{};
}

bool MpegAudioReader::DecodeFrame(const mpeg::Step& step, std::vector<int16_t>* out)
{
    mpg123_handle* h = Handle(handle_);
    const int64_t freeSize = step.shape.freeSize;
    if (freeSize != decoderFreeSize_ && (freeSize > 0 || decoderFreeSize_ > 0) && !OpenDecoder(freeSize)) return false;
    // The last frame may run past the end: zeros stand for what is missing.
    frame_.assign(size_t(step.size), 0);
    bytes_.Read(step.at, frame_.data(), frame_.size());
    mpg123_feed(h, frame_.data(), frame_.size());
    int status = mpg123_framebyframe_next(h);
    if (status != MPG123_OK && status != MPG123_NEW_FORMAT) {
        // Not taken: what libmpg123 holds of it goes.
        OpenDecoder(freeSize);
        return false;
    }
    off_t number = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    if (mpg123_framebyframe_decode(h, &number, &audio, &bytes) != MPG123_OK || bytes == 0) return false;
    out->assign(reinterpret_cast<const int16_t*>(audio), reinterpret_cast<const int16_t*>(audio) + bytes / 2);
    return true;
}

bool MpegAudioReader::Decode()
{
    const mpeg::Timeline& timeline = walked_.timeline;
    const size_t channels = size_t(walked_.channels);
    const int rate = walked_.rate;
    // Says the short recordings that end by decoded (all of them at the end).
    const auto sayShortParts = [&](bool end) {
        const auto& parts = timeline.ShortParts();
        for (; shortSaid_ < parts.size() && (end || parts[shortSaid_].at <= decoded_); ++shortSaid_) {
            const mpeg::Timeline::ShortPart& part = parts[shortSaid_];
            const int64_t at = timeline.Out(std::min(part.at, decoded_));
            if (part.played < 0) {
                complaints_.Add(at, at, "a recording is cut short where another is joined on");
                continue;
            }
            complaints_.Add(at, at, "a recording ends " + ShortOfClaim(part.played, part.claimed, rate));
            if (part.at != INT64_MAX) complaints_.MarkTimeLost();
        }
    };
    std::vector<int16_t> samples;
    while (audioFrames_ < walked_.audioFrames) {
        said_ = false;
        const mpeg::Step step = NextStep();
        if (step.kind == mpeg::Step::kEnd) break;
        if (step.kind == mpeg::Step::kTag) continue;
        if (step.kind == mpeg::Step::kGap) {
            // The missing frames' silence, said where it stands.
            const mpeg::GapTime t = mpeg::TimeOfGap(step, rate);
            const int64_t from = decoded_;
            decodedExact_ += t.samples;
            decoded_ = std::llround(decodedExact_);
            complaints_.Add(timeline.Out(from), timeline.Out(decoded_), mpeg::MissingWords(step.size, step.cut));
            if (t.timeLost) complaints_.MarkTimeLost();
            silence_ = timeline.Out(decoded_) - timeline.Out(from);
            if (silence_ > 0) return true;
            continue;
        }
        // A header frame is no sound; a damaged frame keeps its time as
        // silence.
        if (step.header) continue;
        ++audioFrames_;
        const bool decoded = !step.damaged && DecodeFrame(step, &samples);
        // Every frame takes its time, one that does not decode too; a frame
        // of another rate as many samples as libmpg123 makes of it.
        const int64_t length = decoded ? int64_t(samples.size() / channels)
                                       : std::llround(decodedExact_ + mpeg::FrameLength(step, rate)) - decoded_;
        if (!decoded || said_) complaints_.Add(timeline.Out(decoded_), timeline.Out(decoded_ + length), kDamagedWords);
        // What did not decode is silence, not the frame before again.
        if (decoded) samples.resize(size_t(length) * channels, 0);
        else samples.assign(size_t(length) * channels, 0);
        const int64_t from = timeline.Out(decoded_), to = timeline.Out(decoded_ + length);
        // Only the frame's samples within the sound, which may end one
        // recording and start the next.
        pending_.clear();
        pendingAt_ = 0;
        for (auto k = timeline.FirstKeptAfter(decoded_); k != timeline.Sound().end() && k->from < decoded_ + length;
             ++k) {
            const int64_t lo = std::max(k->from, decoded_) - decoded_, hi = std::min(k->to, decoded_ + length) - decoded_;
            pending_.insert(pending_.end(), samples.begin() + lo * int64_t(channels),
                            samples.begin() + hi * int64_t(channels));
        }
        decoded_ += length;
        decodedExact_ = double(decoded_);
        sayShortParts(false);
        if (to > from) return true;
    }
    sayShortParts(true);
    ended_ = true;
    return false;
}

int64_t MpegAudioReader::Read16(int16_t* out, int64_t frames)
{
    if (!handle_ || frames < 0) return -1;
    // libmpg123's errors mark the frame it decodes.
    const CapturedStderr capture([this](const std::string& line) {
        if (line.find("] error: ") != std::string::npos) said_ = true;
    });
    const size_t channels = size_t(walked_.channels);
    int64_t done = 0;
    while (done < frames) {
        int64_t n = 0;
        if (silence_ > 0) {
            n = std::min(silence_, frames - done);
            std::fill_n(out + size_t(done) * channels, size_t(n) * channels, int16_t(0));
            silence_ -= n;
        } else if (pendingAt_ < pending_.size()) {
            n = std::min<int64_t>(int64_t((pending_.size() - pendingAt_) / channels), frames - done);
            std::copy_n(pending_.data() + pendingAt_, size_t(n) * channels, out + size_t(done) * channels);
            pendingAt_ += size_t(n) * channels;
        } else if (ended_ || !Decode()) {
            break;
        }
        done += n;
        position_ += n;
    }
    return done;
}

}  // namespace platform
