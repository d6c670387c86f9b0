#include "av/resumed_sound.h"

#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

// The frames before the stop over which the two decodes must agree, and by
// how much a sample may differ: a lossless format decodes alike to the bit,
// lossy decoders round differently, and a decode shifted by even one sample
// differs by far more.
constexpr int64_t kLineUpFrames = 1024;
constexpr int kLineUpSlack = 8;
// libFLAC fills a frame whose checksum fails with silence before it gives
// up; the decodes are then lined up on what came before it. The longest
// such frame kept (FLAC's subset allows 16,384 samples), and the least
// silence taken for one.
constexpr int64_t kFilledFrames = 16384;
constexpr int64_t kLeastFilled = 64;

}  // namespace

bool ResumedSoundSource::Open(const std::string& path, int64_t begin, int64_t end, int fd)
{
    Close();
    if (!sound_.Open(path, begin, end, fd)) return false;
    path_ = path;
    fromStart_ = begin <= 0;
    return true;
}

void ResumedSoundSource::Close()
{
    sound_.Close();
    movie_.Close();
    rest_ = nullptr;
    path_.clear();
    fromStart_ = true;
    position_ = 0;
    onRest_ = restGave_ = false;
    stoppedAt_ = refusedAt_ = lostFrom_ = -1;
    stopWords_.clear();
    tail_.clear();
    ours_.clear();
    oursFrom_ = 0;
    atStop_ = false;
}

bool ResumedSoundSource::Seek(int64_t frame)
{
    if (frame < 0) return false;
    tail_.clear();
    // Past the stop the samples are the rest's however they are reached, so
    // that a piece read there is that piece of the whole sound.
    const bool onRest = rest_ && frame >= stoppedAt_;
    if (!(onRest ? rest_->Seek(frame) : sound_.Seek(frame))) return false;
    onRest_ = onRest;
    position_ = frame;
    return true;
}

int64_t ResumedSoundSource::Read16(int16_t* out, int64_t frames)
{
    if (frames < 0 || !sound_.IsOpen()) return -1;
    const size_t channels = size_t(Info().channels);
    int64_t done = 0;
    if (!onRest_) {
        // Once the rest has taken over, libsndfile reads up to that sample.
        const int64_t from = position_, said = sound_.Complaints().Count();
        const std::vector<int16_t> tailBefore = rest_ ? std::vector<int16_t>{} : tail_;
        const int64_t want = rest_ ? std::min(frames, stoppedAt_ - position_) : frames;
        const int64_t got = want > 0 ? sound_.Read16(out, want) : 0;
        if (got > 0) {
            KeepTail(out, got);
            position_ += got;
            done = got;
        }
        bool handOver = rest_ ? position_ == stoppedAt_ && rest_->Seek(stoppedAt_)
                              : sound_.Stopped() && position_ < Info().frames && Resume();
        if (handOver) atStop_ = true;
        // A piece libFLAC complained in, or stopped in without lining up:
        // it goes on past lost frames as if they were not there (a lost
        // first frame too), so what it handed out from there is early. The
        // other decode, placed by the frames' own time, takes the sound from
        // the piece's start, lined up on what came before; libsndfile's
        // piece is kept in case that decode has nothing.
        const bool complained = sound_.Complaints().Count() > said || (from == 0 && said > 0);
        if (!handOver && !rest_ && done > 0 && (complained || (from == 0 && sound_.Stopped())) &&
            position_ < Info().frames) {
            ours_.assign(out, out + size_t(done) * channels);
            oursFrom_ = from;
            position_ = from;
            tail_ = tailBefore;
            handOver = Resume();
            if (handOver) {
                atStop_ = !complained;
                done = 0;
            } else {
                position_ = from + done;
                KeepTail(ours_.data(), done);
                ours_.clear();
            }
        }
        if (!handOver || done == frames) {
            onRest_ = handOver;
            return got;
        }
        onRest_ = true;
    }
    const int64_t more = rest_->Read16(out + size_t(done) * channels, frames - done);
    if (more > 0) {
        position_ += more;
        restGave_ = true;
        ours_.clear();
    } else if (!restGave_) {
        // Nothing after the stop there either: the sound ends where
        // libsndfile stopped, as it would alone.
        movie_.Close();
        rest_ = nullptr;
        onRest_ = false;
        refusedAt_ = stoppedAt_;
        stoppedAt_ = -1;
        if (!ours_.empty()) {
            // Nothing from the start there: libsndfile's piece, as alone.
            done = int64_t(ours_.size() / channels);
            std::copy(ours_.begin(), ours_.end(), out);
            position_ = oursFrom_ + done;
            KeepTail(ours_.data(), done);
            ours_.clear();
        }
        return done > 0 ? done : -1;
    }
    return done > 0 ? done + std::max<int64_t>(more, 0) : more;
}

bool ResumedSoundSource::Resume()
{
    const int64_t at = position_;
    if (at == refusedAt_) return false;
    refusedAt_ = at;
    const SoundInfo& info = Info();
    // Where frames do not name their place (an MP3 whose headers are
    // destroyed), the other decode would go on as if nothing were missing,
    // and all after the damage would play early.
    if (!info.framesPlaced || !fromStart_) return false;
    const size_t channels = size_t(info.channels);
    const int64_t kept = int64_t(tail_.size() / channels);
    if (kept == 0 && at > 0) return false;
    auto refuse = [&] {
        movie_.Close();
        rest_ = nullptr;
        return false;
    };
    // A sound file never shows frames: no pixels are allowed.
    if (!movie_.Open(path_, 0)) return refuse();
    rest_ = movie_.Sound(Info().channels);
    if (!rest_ || rest_->Info().sampleRate != info.sampleRate || rest_->Info().channels != info.channels)
        return refuse();
    // Whether the two decodes agree on the frames of the tail up to `end`
    // (those just before the stop, or before the silence libFLAC filled a
    // damaged frame with); none at the very start.
    std::vector<int16_t> theirs;
    const auto agree = [&](int64_t end) {
        const int64_t check = std::min(end, kLineUpFrames);
        theirs.resize(size_t(check) * channels);
        if (!rest_->Seek(at - (kept - end) - check) || rest_->Read16(theirs.data(), check) != check) return false;
        const int16_t* ours = tail_.data() + size_t(end - check) * channels;
        for (size_t i = 0; i < theirs.size(); ++i)
            if (std::abs(int(ours[i]) - int(theirs[i])) > kLineUpSlack) return false;
        return true;
    };
    int64_t silent = 0;
    while (silent < kept && std::all_of(tail_.end() - std::ptrdiff_t((silent + 1) * channels),
                                        tail_.end() - std::ptrdiff_t(silent * channels), [](int16_t v) { return v == 0; }))
        ++silent;
    const bool filled = !agree(kept);
    if (filled && !(silent >= kLeastFilled && silent < kept && agree(kept - silent) && rest_->Seek(at)))
        return refuse();
    stoppedAt_ = at;
    lostFrom_ = filled ? at - silent : at;
    refusedAt_ = -1;
    stopWords_ = sound_.StopWords();
    return true;
}

void ResumedSoundSource::KeepTail(const int16_t* samples, int64_t frames)
{
    const size_t keep = size_t(kLineUpFrames + kFilledFrames) * size_t(Info().channels);
    const size_t count = size_t(frames) * size_t(Info().channels);
    if (count >= keep) {
        tail_.assign(samples + (count - keep), samples + count);
        return;
    }
    tail_.insert(tail_.end(), samples, samples + count);
    if (tail_.size() > keep) tail_.erase(tail_.begin(), tail_.begin() + std::ptrdiff_t(tail_.size() - keep));
}

DecodeComplaints ResumedSoundSource::Complaints() const
{
    // Taken from the start, the sound is the rest's alone, and so is where
    // it does not decode: what libsndfile's road said of its stop comes first.
    // Taken over where libsndfile complained, its complaints say where the
    // damage starts.
    const bool whole = rest_ && restGave_ && stoppedAt_ == 0 && atStop_;
    DecodeComplaints complaints = whole ? DecodeComplaints{} : sound_.Complaints();
    if (rest_ && restGave_) {
        if (atStop_) complaints.Add(lostFrom_, stoppedAt_, stopWords_);
        complaints.Add(rest_->Complaints());
    }
    return complaints;
}

}  // namespace platform
