#include "platform/mpeg_audio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/captured_stderr.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

mpg123_handle* Handle(void* handle)
{
    return static_cast<mpg123_handle*>(handle);
}

// How far a frame that follows a gap may lie from where a frame of a
// constant bit rate stream would start: padding moves frames by a byte, or
// four in Layer I.
constexpr double kGridSlack = 4.0;

std::string MissingWords(int64_t bytes)
{
    return std::to_string(bytes) + " bytes hold no MPEG audio frame";
}
constexpr char kDamagedWords[] = "damaged MPEG audio data";

uint32_t Be32(const unsigned char* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A Layer III frame that holds a Xing/Info or VBRI header instead of sound,
// and the frame count it gives (0 when it gives none).
enum class HeaderFrame { kNone, kXing, kVbri };
HeaderFrame ReadHeaderFrame(const unsigned char* p, size_t n, uint32_t* frames)
{
    *frames = 0;
    if (n < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || ((p[1] >> 1) & 3) != 1) return HeaderFrame::kNone;
    const bool mpeg1 = ((p[1] >> 3) & 3) == 3, mono = (p[3] >> 6) == 3;
    const size_t xing = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (n >= xing + 8 && (std::memcmp(p + xing, "Xing", 4) == 0 || std::memcmp(p + xing, "Info", 4) == 0)) {
        if ((Be32(p + xing + 4) & 1) && n >= xing + 12) *frames = Be32(p + xing + 8);
        return HeaderFrame::kXing;
    }
    if (n >= 54 && std::memcmp(p + 36, "VBRI", 4) == 0) {
        *frames = Be32(p + 50);
        return HeaderFrame::kVbri;
    }
    return HeaderFrame::kNone;
}

// Whether p starts a frame header of the same stream as ref: version,
// layer, bit rate, sample rate and mono or not alike.
bool SameStream(const unsigned char* p, const unsigned char* ref)
{
    return p[0] == 0xFF && (p[1] & 0xFE) == (ref[1] & 0xFE) && (p[2] & 0xFC) == (ref[2] & 0xFC) &&
           ((p[3] >> 6) == 3) == ((ref[3] >> 6) == 3);
}

// Up to n bytes of the file at offset.
size_t ReadSome(int fd, int64_t offset, unsigned char* out, size_t n)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, off_t(offset + int64_t(done)));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += size_t(got);
    }
    return done;
}

}  // namespace

MpegAudioReader::Placer::Verdict MpegAudioReader::Placer::Place(int64_t at, int64_t size, bool inSequence)
{
    Verdict v;
    if (!started_ || at == lastEnd_ || inSequence) {
        started_ = true;
        lastEnd_ = anchorEnd_ = at + size;
        lastSlot_ = anchorSlot_ = lastSlot_ + 1;
        return v;
    }
    v.broken = true;
    v.missingBytes = at - lastEnd_;
    if (frameBytes_ <= 0) {
        lastEnd_ = at + size;
        ++lastSlot_;
        return v;
    }
    // Frames of one size: the gap in bytes is the missing frames' time.
    // What starts off their grid, or where sound is already placed, is
    // damage that looks like a frame header.
    const double gap = double(at - anchorEnd_);
    const int64_t slots = std::llround(gap / frameBytes_);
    const int64_t slot = anchorSlot_ + 1 + slots;
    if (slots < 0 || std::abs(gap - double(slots) * frameBytes_) > kGridSlack || slot <= lastSlot_) {
        v.keep = false;
        return v;
    }
    v.silentFrames = slot - lastSlot_ - 1;
    lastEnd_ = at + size;
    lastSlot_ = slot;
    return v;
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
    rate_ = channels_ = frameSamples_ = 0;
    frames_ = claimed_ = 0;
    frameBytes_ = 0;
    damage_.clear();
    readAt_ = 0;
    headerFrameAt_ = -1;
    begin_ = 0;
    end_ = INT64_MAX;
    placer_ = Placer();
    foreign_ = ended_ = said_ = false;
    pending_.clear();
    pendingAt_ = 0;
    silence_ = decoded_ = position_ = 0;
    complaints_.Clear();
}

bool MpegAudioReader::Open(const std::string& path, std::string* error)
{
    Close();
    auto fail = [&](const std::string& why) {
        Close();
        if (error) *error = why;
        return false;
    };
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
    int status = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &status);
    if (!h) return fail(mpg123_plain_strerror(status));
    handle_ = h;
    if (mpg123_replace_reader_handle(h, &MpegAudioReader::ReadMasked, &MpegAudioReader::SeekMasked, nullptr) !=
        MPG123_OK)
        return fail(mpg123_strerror(h));
    // No limit to resyncing: a long stretch of damage is crossed, not the end.
    mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    // Every frame gives all its samples, so that the length is known from
    // the frames alone; the encoder's delay and padding are cut here.
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_format_none(h);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    std::string why;
    fd_ = OpenRegularFile(path, &why);
    if (fd_ < 0) return fail(why);

    // libmpg123 prints its notes on what it skips; the walk below places
    // what they would say.
    const CapturedStderr quiet([](const std::string&) {});
    long rate = 0;
    int channels = 0, encoding = 0;
    if (!Rewind() || mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels <= 0)
        return fail("no MPEG audio frame in the file");
    rate_ = int(rate);
    channels_ = channels;
    frameSamples_ = std::max(mpg123_spf(h), 1);
    const int64_t first = std::max<int64_t>(mpg123_framepos(h), 0);
    // A Xing/Info frame (which libmpg123 reads and does not hand out) ends
    // where the first frame starts; a VBRI frame is handed out as sound.
    unsigned char head[4096 + 64];
    const int64_t from = std::max<int64_t>(first - 4096, 0);
    const size_t before = size_t(first - from), got = ReadSome(fd_, from, head, before + 64);
    uint32_t count = 0, xingFrames = 0;
    for (size_t i = std::min(before, got); i-- > 0;) {
        // Only the frame libmpg123 read as the header counts, not bytes of
        // a tag's picture that look like one.
        if (ReadHeaderFrame(head + i, got - i, &count) != HeaderFrame::kXing || mpg123_framelength(h) != count)
            continue;
        xingFrames = count;
        break;
    }
    if (before < got && ReadHeaderFrame(head + before, got - before, &count) == HeaderFrame::kVbri) {
        headerFrameAt_ = first;
        claimed_ = int64_t(count) * frameSamples_;
    }
    // The LAME tag's delay and padding, past the decoder's own delay, as
    // libmpg123 would cut them in its gapless mode.
    long delay = -1, padding = -1, decoderDelay = -1;
    mpg123_getstate(h, MPG123_ENC_DELAY, &delay, nullptr);
    mpg123_getstate(h, MPG123_ENC_PADDING, &padding, nullptr);
    mpg123_getstate(h, MPG123_DEC_DELAY, &decoderDelay, nullptr);
    const bool cut = xingFrames > 0 && delay >= 0 && padding >= 0 && decoderDelay >= 0;
    if (cut) begin_ = delay + decoderDelay;
    if (xingFrames > 0) claimed_ = std::max<int64_t>(int64_t(xingFrames) * frameSamples_ - (cut ? delay + padding : 0), 0);

    // A walk over the frames: whether they are all of one size, and where
    // each belongs in time; once more where that finds damaged frames.
    Placer steady, varying;
    int64_t parsed = 0, chained = 0;
    int bitRate = 0;
    bool constant = true;
    const auto walk = [&] {
        if (!Rewind()) return false;
        steady = varying = Placer();
        parsed = chained = 0;
        bitRate = 0;
        constant = true;
        for (int64_t lastEnd = -1;;) {
            Frame f;
            const Step step = Parse(&f);
            if (step == Step::kEnd || step == Step::kError) break;
            ++parsed;
            if (step != Step::kFrame) continue;
            if (lastEnd < 0) {
                bitRate = f.bitRate;
                steady = Placer(FrameBytes(f.bitRate));
            }
            // Frames that follow one another directly tell the bit rate; bytes
            // in damage that look like a frame do not.
            if (f.at == lastEnd) {
                ++chained;
                constant = constant && f.bitRate == bitRate;
            }
            lastEnd = f.at + f.size;
            for (Placer* placer : {&steady, &varying})
                placer->Place(f.at, f.size, f.at != placer->LastEnd() && NoSoundAt(placer->LastEnd()));
        }
        // Frames found one by one within damage prove no bit rate.
        constant = constant && bitRate > 0 && 2 * chained + 1 >= parsed;
        return true;
    };
    if (!walk()) return fail("cannot read the file again");
    if (constant) {
        frameBytes_ = FrameBytes(bitRate);
        FindDamage(first);
        if (!damage_.empty() && !walk()) return fail("cannot read the file again");
    }
    if (parsed == 0) return fail("no MPEG audio frame in the file");
    // Frame times, the missing frames' silence among them, less a VBRI frame.
    const int64_t sounding = (constant ? steady : varying).Slots() - (headerFrameAt_ >= 0 ? 1 : 0);
    // The padding goes where the frames the tag counts end; frames past them
    // (another recording appended) are kept.
    if (cut && sounding <= int64_t(xingFrames)) end_ = int64_t(xingFrames) * frameSamples_ - padding + decoderDelay;
    end_ = std::max(end_, begin_);
    frames_ = Out(sounding * frameSamples_);
    frameBytes_ = constant ? FrameBytes(bitRate) : 0;
    if (!Rewind()) return fail("cannot read the file again");
    return true;
}

bool MpegAudioReader::Rewind()
{
    if (!handle_ || fd_ < 0) return false;
    mpg123_handle* h = Handle(handle_);
    mpg123_close(h);
    readAt_ = 0;
    placer_ = Placer(frameBytes_);
    foreign_ = ended_ = false;
    pending_.clear();
    pendingAt_ = 0;
    silence_ = decoded_ = position_ = 0;
    const CapturedStderr quiet([](const std::string&) {});
    return mpg123_open_handle(h, this) == MPG123_OK;
}

void MpegAudioReader::FindDamage(int64_t first)
{
    damage_.clear();
    struct stat st {};
    unsigned char ref[4];
    if (frameBytes_ <= 0 || ::fstat(fd_, &st) != 0 || ReadSome(fd_, first, ref, 4) < 4) return;
    const int64_t fileSize = st.st_size;
    const bool layer1 = (ref[1] >> 1 & 3) == 3;
    // The length of the frame of this stream at, 0 where none starts.
    const auto frameAt = [&](int64_t at) -> int64_t {
        unsigned char p[4];
        if (at < 0 || ReadSome(fd_, at, p, 4) < 4 || !SameStream(p, ref)) return 0;
        const int64_t padding = p[2] >> 1 & 1;
        return layer1 ? 4 * (int64_t(frameBytes_ / 4) + padding) : int64_t(frameBytes_) + padding;
    };
    // Bytes that look like a header are common in sound data: a frame
    // counts when the two after it (or the end of the file) follow.
    const auto confirmed = [&](int64_t at) {
        for (int k = 0; k < 3 && at < fileSize; ++k) {
            const int64_t size = frameAt(at);
            if (size == 0) return false;
            at += size;
        }
        return true;
    };
    for (int64_t at = first; at + 4 <= fileSize;) {
        if (const int64_t size = frameAt(at)) {
            at += size;
            continue;
        }
        // A tag or another recording is left to libmpg123's own reading.
        if (NoSoundAt(at)) return;
        int64_t next = -1;
        for (int64_t slot = 1; next < 0 && at + int64_t(double(slot) * frameBytes_) + 4 <= fileSize; ++slot) {
            const int64_t expected = at + std::llround(double(slot) * frameBytes_);
            for (int64_t d = 0; next < 0 && d <= int64_t(kGridSlack); ++d) {
                if (confirmed(expected - d)) next = expected - d;
                else if (d > 0 && confirmed(expected + d)) next = expected + d;
            }
        }
        if (next < 0) return;
        damage_.emplace_back(at, next);
        at = next;
    }
}

ssize_t MpegAudioReader::ReadMasked(void* self, void* out, size_t bytes)
{
    auto* r = static_cast<MpegAudioReader*>(self);
    auto* p = static_cast<unsigned char*>(out);
    const int64_t got = int64_t(ReadSome(r->fd_, r->readAt_, p, bytes));
    for (const auto& [from, to] : r->damage_) {
        const int64_t lo = std::max(from, r->readAt_), hi = std::min(to, r->readAt_ + got);
        if (lo < hi) std::memset(p + (lo - r->readAt_), 0, size_t(hi - lo));
    }
    r->readAt_ += got;
    return ssize_t(got);
}

off_t MpegAudioReader::SeekMasked(void* self, off_t offset, int whence)
{
    auto* r = static_cast<MpegAudioReader*>(self);
    struct stat st {};
    int64_t base = 0;
    if (whence == SEEK_CUR) base = r->readAt_;
    else if (whence == SEEK_END) base = ::fstat(r->fd_, &st) == 0 ? st.st_size : -1;
    else if (whence != SEEK_SET) base = -1;
    if (base < 0 || base + offset < 0) {
        errno = EINVAL;
        return -1;
    }
    r->readAt_ = base + offset;
    return off_t(r->readAt_);
}

double MpegAudioReader::FrameBytes(int bitRate) const
{
    return bitRate > 0 && rate_ > 0 ? double(frameSamples_) / 8 * bitRate * 1000 / rate_ : 0;
}

MpegAudioReader::Step MpegAudioReader::Parse(Frame* frame)
{
    mpg123_handle* h = Handle(handle_);
    const int status = mpg123_framebyframe_next(h);
    if (status == MPG123_DONE) return Step::kEnd;
    if (status == MPG123_NEW_FORMAT) {
        long rate = 0;
        int channels = 0, encoding = 0;
        mpg123_getformat(h, &rate, &channels, &encoding);
        // The first format is the sound's; frames in another are left out.
        foreign_ = rate_ > 0 && (rate != rate_ || channels != channels_);
    } else if (status != MPG123_OK) {
        return Step::kError;
    }
    mpg123_frameinfo2 info{};
    if (foreign_ || mpg123_info2(h, &info) != MPG123_OK) return Step::kSkipped;
    frame->at = mpg123_framepos(h);
    frame->size = info.framesize;
    frame->bitRate = info.bitrate;
    return Step::kFrame;
}

bool MpegAudioReader::NoSoundAt(int64_t offset) const
{
    unsigned char p[64];
    const size_t n = ReadSome(fd_, offset, p, sizeof p);
    for (const char* tag : {"ID3", "TAG", "APETAGEX", "LYRICSBEGIN"})
        if (n >= std::strlen(tag) && std::memcmp(p, tag, std::strlen(tag)) == 0) return true;
    uint32_t frames = 0;
    return ReadHeaderFrame(p, n, &frames) != HeaderFrame::kNone;
}

bool MpegAudioReader::Decode()
{
    mpg123_handle* h = Handle(handle_);
    for (;;) {
        said_ = false;
        Frame f;
        const Step step = Parse(&f);
        if (step == Step::kEnd) break;
        if (step == Step::kError) {
            complaints_.Add(position_, position_, "the file cannot be read on");
            break;
        }
        if (step != Step::kFrame) continue;
        const Placer::Verdict v =
            placer_.Place(f.at, f.size, f.at != placer_.LastEnd() && NoSoundAt(placer_.LastEnd()));
        if (!v.keep || f.at == headerFrameAt_) continue;
        // The missing frames' silence, then this frame's samples, each as
        // much of them as lies within the sound.
        const int64_t silent = v.silentFrames * frameSamples_;
        if (v.broken) {
            complaints_.Add(Out(decoded_), Out(decoded_ + silent), MissingWords(v.missingBytes));
            if (frameBytes_ <= 0) complaints_.MarkTimeLost();
        }
        silence_ = Out(decoded_ + silent) - Out(decoded_);
        decoded_ += silent;
        off_t number = 0;
        unsigned char* audio = nullptr;
        size_t bytes = 0;
        const bool decoded = mpg123_framebyframe_decode(h, &number, &audio, &bytes) == MPG123_OK;
        if (!decoded || said_) complaints_.Add(Out(decoded_), Out(decoded_ + frameSamples_), kDamagedWords);
        // Every frame takes its time, one that does not decode too.
        const size_t channels = size_t(channels_);
        pending_.assign(size_t(frameSamples_) * channels, 0);
        if (decoded) std::memcpy(pending_.data(), audio, std::min(bytes / sizeof(int16_t), pending_.size()) * sizeof(int16_t));
        const int64_t from = Out(decoded_), to = Out(decoded_ + frameSamples_);
        pendingAt_ = size_t(std::clamp<int64_t>(begin_ - decoded_, 0, frameSamples_)) * channels;
        pending_.resize(pendingAt_ + size_t(to - from) * channels);
        decoded_ += frameSamples_;
        if (decoded_ >= end_) break;
        if (silence_ > 0 || to > from) return true;
    }
    ended_ = true;
    return silence_ > 0 || pendingAt_ < pending_.size();
}

int64_t MpegAudioReader::Read16(int16_t* out, int64_t frames)
{
    if (!handle_ || frames < 0) return -1;
    // libmpg123's errors mark the frame it decodes; its notes and warnings
    // tell what the walk already placed, or the length.
    const CapturedStderr capture([this](const std::string& line) {
        if (line.find("] error: ") != std::string::npos && line.find("gapless") == std::string::npos) said_ = true;
    });
    const size_t channels = size_t(channels_);
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
