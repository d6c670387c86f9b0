#include "av/mpeg_parts.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::mpeg {

namespace {

// The recording's kind in a header: version, layer, rate and mono or not.
bool KindChanges(const unsigned char* p, const unsigned char* last)
{
    return !SameKind(p, last);
}

}  // namespace

GapTime TimeOfGap(const Step& gap, int rate)
{
    GapTime t;
    const Shape& s = gap.shape;
    const double scale = s.rate > 0 ? double(rate) / s.rate : 1;
    if (gap.cut || gap.damaged) {
        // The frame cut short, or damaged, keeps its own time.
        t.samples = s.frameSamples * scale;
    } else if (s.oneRate && s.frameBytes > 0) {
        t.samples = double(std::llround(double(gap.size) / s.frameBytes)) * s.frameSamples * scale;
    } else {
        t.timeLost = true;
    }
    return t;
}

double FrameLength(const Step& frame, int rate)
{
    const Shape& s = frame.shape;
    return s.rate > 0 ? double(s.frameSamples) * rate / s.rate : 0;
}

std::string MissingWords(int64_t bytes, bool cut)
{
    return cut ? "a frame is cut short after " + std::to_string(bytes) + " bytes, where other frames begin"
               : std::to_string(bytes) + " bytes hold no MPEG audio frame";
}

std::vector<Timeline::Kept>::const_iterator Timeline::FirstKeptAfter(int64_t decoded) const
{
    return std::upper_bound(kept_.begin(), kept_.end(), decoded,
                            [](int64_t at, const Kept& kept) { return at < kept.to; });
}

int64_t Timeline::Out(int64_t decoded) const
{
    if (kept_.empty()) return 0;
    const auto k = FirstKeptAfter(decoded);
    if (k == kept_.end()) return kept_.back().before + (kept_.back().to - kept_.back().from);
    return k->before + std::max(decoded, k->from) - k->from;
}

void TimelineBuilder::StartPart(Part part)
{
    // The first recording holds what came before it: a frame cut short
    // keeps its time there too.
    const bool first = parts_.empty();
    part.slots = first ? 0 : slots_;
    part.silent = first ? 0 : silent_;
    part.start = first ? 0 : decoded_;
    part.afterCut = lastCut_;
    parts_.push_back(part);
    count_ = Count{};
}

void TimelineBuilder::Add(const Step& step)
{
    // A tag between frames tells nothing of where a recording begins: one
    // joined on shows by its own header frame, its kind or its encoder's
    // first frame past the count of the one before.
    if (step.kind == Step::kTag) return;
    // A damaged frame is silence of its time, as a gap is: no frame of the
    // recording's count, which bytes put in may look like too.
    if (step.kind == Step::kGap || step.damaged) {
        reservoir_ = -1;
        const GapTime t = TimeOfGap(step, rate_);
        decoded_ += t.samples;
        if (step.shape.frameSamples > 0 && t.samples > 0) {
            const int64_t slots =
                std::llround(t.samples / (double(step.shape.frameSamples) * rate_ / step.shape.rate));
            slots_ += slots;
            silent_ += slots;
        }
        lastCut_ = step.cut;
        return;
    }
    if (step.kind != Step::kFrame) return;
    unsigned char head[kTagBytes];
    const size_t n = bytes_.Read(step.at, head, sizeof head);
    Part part;
    part.at = step.at;
    part.frameSamples = step.shape.frameSamples;
    part.scale = step.shape.rate > 0 ? double(rate_) / step.shape.rate : 1;
    const bool kindChanges = any_ && KindChanges(head, lastKind_);
    std::memcpy(lastKind_, head, 4);
    if (step.header) {
        // A recording's own Xing/Info frame: no sound, and the tag of the
        // frames that follow.
        part.header = ReadHeaderFrame(head, n, &part.counted, &part.lame);
        part.headerSize = step.size;
        reservoir_ = -1;
        if (!any_ && !parts_.empty()) parts_.clear();
        StartPart(part);
        count_.bytes = step.size;
        any_ = true;
        lastCut_ = false;
        return;
    }
    // A recording of another version, layer, rate or channel count joined
    // on without a header frame: the last part ends there.
    if (parts_.empty() || kindChanges) StartPart(part);
    else JoinBeyondCount(step, part);
    any_ = true;
    lastCut_ = false;
    Part& here = parts_.back();
    // A tagged recording's frames: its checksum over the bytes its tag
    // counts, and its first frame after the first that starts afresh.
    // Main data that begins before what the frames before it left: frames
    // of another recording from here on. A damaged frame's side information
    // tells nothing.
    const int begin = step.damaged ? -1 : MainDataBegin(head, n);
    const bool broken = reservoir_ >= 0 && begin > reservoir_;
    reservoir_ = step.damaged ? -1 : ReservoirLeft(head, n, step.size);
    if (here.Cuts() && here.counted > 0 && !count_.decided) {
        if (count_.frames > 0 && count_.frames < int64_t(here.counted) &&
            ((!count_.fresh && begin == 0) || broken)) {
            count_.fresh = true;
            count_.freshPart = part;
            count_.freshPart.slots = slots_;
            count_.freshPart.start = decoded_;
        }
        const int64_t within = std::min(step.size, here.lame.bytes - count_.bytes);
        for (int64_t at = 0; at < within;) {
            size_t got = size_t(within - at);
            const unsigned char* p = bytes_.Look(step.at + at, &got);
            if (!p || got == 0) break;
            count_.crc = LameCrc(count_.crc, p, got);
            at += int64_t(got);
        }
        count_.bytes += step.size;
        ++count_.frames;
    }
    ++slots_;
    decoded_ += FrameLength(step, rate_);
}

void TimelineBuilder::JoinBeyondCount(const Step& frame, const Part& here)
{
    Part& last = parts_.back();
    if (!last.Cuts() || last.counted == 0 || count_.decided || count_.frames != int64_t(last.counted)) return;
    count_.decided = true;
    // Whole by its checksum and length: the next recording begins where its
    // count ends. Else it was cut short first, where a fresh encoder's first
    // frame begins; where none does, the cut is somewhere before.
    if (count_.crc == last.lame.crc && count_.bytes == last.lame.bytes) {
        StartPart(here);
        count_.decided = true;
        return;
    }
    if (count_.fresh) {
        const Part fresh = count_.freshPart;
        parts_.push_back(fresh);
        parts_.back().afterCut = false;
        count_ = Count{};
        count_.decided = true;
        return;
    }
    unsure_.push_back(std::llround(decoded_));
    (void)frame;
}

Timeline TimelineBuilder::Finish(int64_t* frames, int64_t* claimed, bool* claimExact)
{
    Timeline t;
    t.kept_.clear();
    *claimed = 0;
    *claimExact = false;
    if (parts_.empty()) parts_.push_back(Part{});
    const int64_t ends = std::llround(decoded_);
    int64_t kept = 0;
    for (size_t k = 0; k < parts_.size(); ++k) {
        const Part& part = parts_[k];
        const bool last = k + 1 == parts_.size();
        const int64_t at = std::llround(part.start);
        const int64_t partSlots = (last ? slots_ : parts_[k + 1].slots) - part.slots;
        const int64_t partFrames = partSlots - ((last ? silent_ : parts_[k + 1].silent) - part.silent);
        // The LAME tag's delay and padding, past the decoder's own delay, as
        // libmpg123 would cut them in its gapless mode; they stand whether or
        // not the tag counts the frames. The padding goes where the frames the
        // tag counts end; frames past them (another recording appended without
        // a tag) are kept. A tag that counts none counts them all.
        const bool cut = part.Cuts();
        const int64_t counted = part.counted > 0 ? int64_t(part.counted) : partSlots;
        const auto scaled = [&](int64_t samples) { return at + std::llround(double(samples) * part.scale); };
        // A part ends with its frames, as it plays alone; where its tag
        // places the end, or the part's last frame was cut within (and keeps
        // its time), its last frame may sound on into the next part's first
        // for the decoder's delay.
        const int64_t next = last ? INT64_MAX : std::llround(parts_[k + 1].start);
        const bool isShort = cut && partSlots < counted;
        int64_t from = cut ? scaled(part.lame.delay + kLayer3Delay) : at, to = next;
        // Silence for frames lost or bytes put in stands where it is, so
        // the padding stays at the last frame's end.
        if (cut && partFrames <= counted) {
            to = scaled(std::max(counted, partSlots) * part.frameSamples - part.lame.padding + kLayer3Delay);
            if (!last)
                to = std::min<int64_t>(to, next + (isShort && !parts_[k + 1].afterCut
                                                       ? 0
                                                       : std::llround(double(kLayer3Delay) * part.scale)));
        }
        if (!t.kept_.empty()) from = std::max(from, t.kept_.back().to);
        // A recording of several whose frames stop short of its tag's count
        // at a frame's end (cut where another was joined on) is said there;
        // one cut within a frame is said as that.
        if (isShort && parts_.size() > 1 && (last || !parts_[k + 1].afterCut)) {
            const int64_t partEnd = std::min(to, last ? ends : next);
            t.shortParts_.push_back(
                {last ? INT64_MAX : partEnd, partEnd - from,
                 std::llround(double(counted * part.frameSamples - part.lame.delay - part.lame.padding) *
                              part.scale)});
        }
        if (to <= from) continue;
        t.kept_.push_back(Timeline::Kept{from, to, kept});
        if (!last) kept += to - from;
    }
    // A recording cut somewhere before its count ends, another joined on
    // where nothing tells: said where its count ends.
    for (const int64_t at : unsure_) t.shortParts_.push_back({at, -1, 0});
    std::sort(t.shortParts_.begin(), t.shortParts_.end(),
              [](const Timeline::ShortPart& a, const Timeline::ShortPart& b) { return a.at < b.at; });
    // The first recording's count, as the decoder plays it: from past its
    // delay to its padding, within what its frames decode to.
    const Part& first = parts_.front();
    if (parts_.size() == 1 && first.counted > 0) {
        const int64_t all = int64_t(first.counted) * first.frameSamples;
        if (first.Cuts()) {
            *claimed = std::max<int64_t>(
                std::min(all - first.lame.padding + kLayer3Delay, all) - first.lame.delay - kLayer3Delay, 0);
            *claimExact = true;
        } else {
            *claimed = all;
        }
        *claimed = std::llround(double(*claimed) * first.scale);
    }
    *frames = t.Out(ends);
    return t;
}

}  // namespace platform::mpeg
