#include "av/joined_sound.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "av/flac_frames.h"
#include "av/media_words.h"
#include "platform/regular_file.h"

namespace platform {

bool JoinedSoundSource::Open(const std::string& path)
{
    Close();
    fd_ = OpenRegularFile(path, &error_);
    if (fd_ < 0) return false;
    struct stat st {};
    const std::vector<FlacStream> streams =
        ::fstat(fd_, &st) == 0 ? FlacStreams(fd_, int64_t(st.st_size)) : std::vector<FlacStream>{};
    path_ = path;
    const size_t count = std::max<size_t>(streams.size(), 1);
    int64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        Part part;
        part.begin = count > 1 ? streams[i].begin : 0;
        part.end = streams.empty() ? -1 : streams[i].end;
        // The first is opened, to say what holds it back; the others are read
        // when their turn comes, as the search found them.
        std::unique_ptr<ResumedSoundSource> sound;
        const bool found = i > 0 && streams[i].frames >= 0;
        std::string fault = found ? SoundFormatFault(streams[i].rate, streams[i].channels, streams[i].bits) : "";
        if (!found) {
            sound = std::make_unique<ResumedSoundSource>();
            if (!sound->Open(path, part.begin, part.end, fd_)) fault = sound->LastError();
        }
        if (!fault.empty() && i == 0) {
            const bool refused = sound->HeaderRefused();
            Close();
            error_ = fault;
            headerRefused_ = refused;
            return false;
        }
        if (!fault.empty()) {
            // A later stream that does not open: how long it was, nothing tells.
            complaints_.Add(total, total, fault);
            complaints_.MarkTimeLost();
            continue;
        }
        if (i == 0) info_ = sound->Info();
        part.rate = found ? streams[i].rate : sound->Info().sampleRate;
        part.channels = found ? streams[i].channels : sound->Info().channels;
        const int64_t frames = found ? streams[i].frames : sound->Info().frames;
        part.converted = part.rate != info_.sampleRate || part.channels != info_.channels;
        // The converted length: floor(n × out / in), as the resampler makes it.
        part.frames = part.rate == info_.sampleRate ? frames : frames * info_.sampleRate / part.rate;
        part.start = total;
        total += part.frames;
        parts_.push_back(part);
        // The first stays open.
        if (i == 0) sound_ = std::move(sound);
    }
    if (count == 1) {
        parts_.clear();
        return true;
    }
    info_.frames = total;
    // What a header claims is each stream's own length, counted here.
    info_.claimedFrames = 0;
    return true;
}

void JoinedSoundSource::Close()
{
    path_.clear();
    parts_.clear();
    sound_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    failedPart_ = SIZE_MAX;
    soundPart_ = 0;
    reader_.Reset();
    info_ = SoundInfo{};
    error_.clear();
    headerRefused_ = false;
    position_ = 0;
    part_ = 0;
    partSought_ = false;
    complaints_.Clear();
    floats_.clear();
}

bool JoinedSoundSource::OpenPart(size_t index)
{
    if (sound_ && soundPart_ == index) return true;
    // What the part read before complained of stays said.
    if (sound_) {
        const Part& before = parts_[soundPart_];
        complaints_.Add(sound_->Complaints(), before.start, before.rate, info_.sampleRate);
    }
    reader_.Reset();
    partSought_ = false;
    soundPart_ = index;
    sound_.reset();
    if (index == failedPart_) return false;
    sound_ = std::make_unique<ResumedSoundSource>();
    if (sound_->Open(path_, parts_[index].begin, parts_[index].end, fd_)) return true;
    // Said once, where it lies; its time stays, as silence.
    complaints_.Add(parts_[index].start, parts_[index].start, sound_->LastError());
    failedPart_ = index;
    sound_.reset();
    return false;
}

bool JoinedSoundSource::Seek(int64_t frame)
{
    if (!IsOpen() || frame < 0) return false;
    if (parts_.empty()) {
        if (!sound_->Seek(frame)) return false;
        position_ = frame;
        return true;
    }
    // The last part that starts at or before frame: a file may join thousands.
    const auto after = std::upper_bound(parts_.begin() + 1, parts_.end(), frame,
                                        [](int64_t f, const Part& p) { return f < p.start; });
    const size_t part = size_t(after - parts_.begin()) - 1;
    const Part& p = parts_[part];
    position_ = frame;
    part_ = part;
    if (!OpenPart(part)) return false;
    // A converted stream reads on from its start; one of the first's rate
    // and channels seeks itself.
    partSought_ = !p.converted && sound_->Seek(frame - p.start);
    return p.converted || partSought_;
}

int64_t JoinedSoundSource::ReadPart(const Part& part, int64_t within, int16_t* out, int64_t frames)
{
    if (!OpenPart(part_)) return -1;
    if (!part.converted) {
        if (!partSought_ && !sound_->Seek(within)) return -1;
        partSought_ = true;
        return sound_->Read16(out, frames);
    }
    if (!reader_.Read(*sound_, info_.sampleRate, info_.channels, within, frames, &floats_)) return -1;
    std::transform(floats_.begin(), floats_.end(), out, Sample16);
    return int64_t(floats_.size()) / info_.channels;
}

int64_t JoinedSoundSource::Read16(int16_t* out, int64_t frames)
{
    if (!IsOpen() || frames < 0) return -1;
    if (parts_.empty()) {
        const int64_t got = sound_->Read16(out, frames);
        position_ += std::max<int64_t>(got, 0);
        return got;
    }
    const size_t channels = size_t(info_.channels);
    int64_t done = 0;
    while (done < frames && part_ < parts_.size()) {
        const Part& p = parts_[part_];
        const bool last = part_ + 1 == parts_.size();
        const int64_t within = position_ - p.start;
        // The last stream reads to its end; the others to their length, so
        // that each after them starts on time.
        const int64_t want = last ? frames - done : std::min(frames - done, p.frames - within);
        const int64_t got = want > 0 ? ReadPart(p, within, out + size_t(done) * channels, want) : 0;
        if (got > 0) {
            done += got;
            position_ += got;
            continue;
        }
        if (last) return done > 0 || got == 0 ? done : -1;
        // A stream that ends before its length keeps its time as silence,
        // up to a limit: a header may claim hours for a few kilobytes.
        if (within < p.frames && p.frames - within > kMostSilenceSeconds * info_.sampleRate) {
            const int64_t cut = p.frames - within - kMostSilenceSeconds * info_.sampleRate;
            for (size_t k = part_ + 1; k < parts_.size(); ++k) parts_[k].start -= cut;
            parts_[part_].frames -= cut;
            info_.frames -= cut;
            complaints_.Add(p.start + p.frames, p.start + p.frames, kFramesLostWords);
            complaints_.MarkTimeLost();
        }
        if (within < p.frames) {
            const int64_t silent = std::min(frames - done, p.frames - within);
            complaints_.Add(position_, p.start + p.frames, kFramesLostWords);
            std::fill(out + size_t(done) * channels, out + size_t(done + silent) * channels, int16_t(0));
            done += silent;
            position_ += silent;
            if (position_ < p.start + p.frames) continue;
        }
        ++part_;
        partSought_ = false;
    }
    return done;
}

DecodeComplaints JoinedSoundSource::Complaints() const
{
    if (parts_.empty()) return sound_ ? sound_->Complaints() : DecodeComplaints{};
    DecodeComplaints all = complaints_;
    if (sound_) {
        const Part& p = parts_[soundPart_];
        all.Add(sound_->Complaints(), p.start, p.rate, info_.sampleRate);
    }
    return all;
}

}  // namespace platform
