#include "platform/joined_sound.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "platform/flac_frames.h"
#include "platform/media_words.h"
#include "platform/regular_file.h"

namespace platform {

namespace {

// Where each FLAC stream of the file at path begins; one place for a file of
// one stream or of another kind.
std::vector<int64_t> StreamStarts(const std::string& path)
{
    std::string why;
    std::FILE* file = OpenRegularStream(path, &why);
    if (!file) return {0};
    struct stat st {};
    std::vector<int64_t> starts;
    if (::fstat(::fileno(file), &st) == 0) starts = FlacStreamStarts(::fileno(file), int64_t(st.st_size));
    std::fclose(file);
    return starts.size() > 1 ? starts : std::vector<int64_t>{0};
}

}  // namespace

bool JoinedSoundSource::Open(const std::string& path)
{
    Close();
    const std::vector<int64_t> starts = StreamStarts(path);
    int64_t total = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        auto part = std::make_unique<Part>();
        part->sound = std::make_unique<ResumedSoundSource>();
        if (!part->sound->Open(path, starts[i], i + 1 < starts.size() ? starts[i + 1] : -1)) {
            if (parts_.empty()) {
                const std::string why = part->sound->LastError();
                const bool refused = part->sound->HeaderRefused();
                Close();
                error_ = why;
                headerRefused_ = refused;
                return false;
            }
            // A later stream that does not open: how long it was, nothing tells.
            complaints_.Add(total, total, part->sound->LastError());
            complaints_.MarkTimeLost();
            continue;
        }
        const SoundInfo& own = part->sound->Info();
        if (parts_.empty()) info_ = own;
        part->converted = own.sampleRate != info_.sampleRate || own.channels != info_.channels;
        // The converted length: floor(n × out / in), as the resampler makes it.
        part->frames = own.sampleRate == info_.sampleRate ? own.frames
                                                          : own.frames * info_.sampleRate / own.sampleRate;
        part->start = total;
        total += part->frames;
        parts_.push_back(std::move(part));
    }
    if (parts_.size() > 1) {
        info_.frames = total;
        // What a header claims is each stream's own length, counted here.
        info_.claimedFrames = 0;
    }
    return true;
}

void JoinedSoundSource::Close()
{
    parts_.clear();
    info_ = SoundInfo{};
    error_.clear();
    headerRefused_ = false;
    position_ = 0;
    part_ = 0;
    partSought_ = false;
    complaints_.Clear();
    floats_.clear();
}

bool JoinedSoundSource::Seek(int64_t frame)
{
    if (parts_.empty() || frame < 0) return false;
    if (parts_.size() == 1) {
        if (!parts_[0]->sound->Seek(frame)) return false;
        position_ = frame;
        return true;
    }
    size_t part = 0;
    while (part + 1 < parts_.size() && frame >= parts_[part + 1]->start) ++part;
    Part& p = *parts_[part];
    // A converted stream reads on from its start; one of the first's rate
    // and channels seeks itself.
    if (!p.converted && !p.sound->Seek(std::min(frame - p.start, p.sound->Info().frames))) return false;
    position_ = frame;
    part_ = part;
    partSought_ = true;
    return true;
}

int64_t JoinedSoundSource::ReadPart(Part& part, int64_t within, int16_t* out, int64_t frames)
{
    if (!part.converted) {
        if (!partSought_ && !part.sound->Seek(within)) return -1;
        partSought_ = true;
        return part.sound->Read16(out, frames);
    }
    if (!part.reader.Read(*part.sound, info_.sampleRate, info_.channels, within, frames, &floats_)) return -1;
    std::transform(floats_.begin(), floats_.end(), out, Sample16);
    return int64_t(floats_.size()) / info_.channels;
}

int64_t JoinedSoundSource::Read16(int16_t* out, int64_t frames)
{
    if (parts_.empty() || frames < 0) return -1;
    if (parts_.size() == 1) {
        const int64_t got = parts_[0]->sound->Read16(out, frames);
        position_ += std::max<int64_t>(got, 0);
        return got;
    }
    const size_t channels = size_t(info_.channels);
    int64_t done = 0;
    while (done < frames && part_ < parts_.size()) {
        Part& p = *parts_[part_];
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
        // A stream that ends before its length keeps its time as silence.
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
    if (parts_.size() == 1) return parts_[0]->sound->Complaints();
    DecodeComplaints all = complaints_;
    for (const auto& p : parts_) all.Add(p->sound->Complaints(), p->start, p->sound->Info().sampleRate, info_.sampleRate);
    return all;
}

}  // namespace platform
