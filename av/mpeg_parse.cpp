#include "av/mpeg_parse.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "av/mpeg_tags.h"

namespace platform::mpeg {

namespace {

// Offsets scanned between two settlings of the parse.
constexpr int64_t kChunk = 4096;
// How far behind the scan an item must end before it is settled: room for
// the frames that tell a recording joined on from bytes that look like one.
constexpr int64_t kDepth = 1 << 16;
// A way dearer than the cheapest by more than any step can cost less is
// given up.
constexpr int64_t kSlack = 1 << 14;
// Of ways that end further behind the scan, only the cheapest of each kind
// of recording is kept: past stray bytes longer than any frame, what came
// before tells nothing more.
constexpr int64_t kBehind = 1 << 16;
constexpr size_t kMostLive = 512;
constexpr int64_t kFrameCredit = 1;
constexpr int kRunFrames = 3;

uint32_t Le32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A recording of one bit rate, that of h.
void OneRate(Shape* s, const FrameHeader& h)
{
    s->oneRate = true;
    s->bitRateIndex = h.bitRateIndex;
    s->freeSize = 0;
    s->shortest = h.size - h.padding;
    s->frameBytes = double(h.samples) / 8 * h.bitRate * 1000 / h.rate;
}

// A recording whose bit rate varies: its shortest frame is one at the
// lowest bit rate of its version.
void Varying(Shape* s)
{
    unsigned char q[4] = {s->ref[0], s->ref[1], uint8_t((s->ref[2] & 0x0D) | 0x10), s->ref[3]};
    FrameHeader lowest;
    ReadFrameHeader(q, &lowest);
    s->oneRate = false;
    s->bitRateIndex = 0;
    s->freeSize = 0;
    s->shortest = lowest.size;
    s->frameBytes = 0;
}

// What SameStream compares of a header.
uint32_t StreamKey(const unsigned char* p)
{
    return uint32_t(p[1] & 0xFE) | uint32_t(p[2] & 0x0C) << 8 | uint32_t((p[3] >> 6) == 3) << 16 | uint32_t(p[3] & 0x03) << 24;
}

// Whether two headers' recordings are told apart by their kind or by one
// being of free format.
bool OtherRecording(const Shape& s, const unsigned char* head)
{
    return !SameStream(s.ref, head) || (s.freeSize > 0) != ((head[2] >> 4) == 0);
}

}  // namespace


bool StreamParse::Start()
{
    nodes_.assign(1, Node{});
    live_.assign(1, 0);
    steps_.clear();
    settled_ = 0;
    scan_ = strays_ = mostRefund_ = cost_ = indexed_ = 0;
    headers_.clear();
    askedFrom_ = -1;
    anyFrame_ = done_ = false;
    while (!done_ && !anyFrame_) Advance();
    return anyFrame_;
}

Step StreamParse::Next()
{
    while (steps_.empty() && !done_) Advance();
    if (steps_.empty()) return Step{};
    const Step step = steps_.front();
    steps_.pop_front();
    return step;
}

void StreamParse::Only(std::vector<std::pair<int64_t, int64_t>> items)
{
    only_ = std::move(items);
    std::sort(only_.begin(), only_.end());
}

void StreamParse::Advance()
{
    if (scan_ < bytes_.Size()) {
        ScanTo(std::min(bytes_.Size(), scan_ + kChunk));
        Prune();
        Settle(false);
        Compact();
        return;
    }
    Settle(true);
    done_ = true;
}

// ---- What stands where

void StreamParse::ScanTo(int64_t to)
{
    // A frame's sync, or the first letter of a tag's name.
    static const auto kStarts = [] {
        std::array<bool, 256> starts{};
        for (const int c : {0xFF, int('I'), int('T'), int('A'), int('L')}) starts[size_t(c)] = true;
        return starts;
    }();
    std::vector<Item> items;
    while (scan_ < to) {
        while (!headers_.empty() && headers_.front().at < scan_) headers_.pop_front();
        size_t n = size_t(to - scan_);
        const unsigned char* p = bytes_.Look(scan_, &n);
        if (!p || n == 0) {
            scan_ = to;
            break;
        }
        for (size_t i = 0; i < n; ++i) {
            if (!kStarts[p[i]] || (p[i] == 0xFF && i + 1 < n && (p[i + 1] & 0xE0) != 0xE0)) continue;
            items.clear();
            ItemsAt(scan_ + int64_t(i), &items);
            for (const Item& item : items)
                if (only_.empty() || std::binary_search(only_.begin(), only_.end(), std::make_pair(item.at, item.end)))
                    Take(item);
            if (live_.size() > 2 * kMostLive) Prune();
        }
        scan_ += int64_t(n);
    }
}

void StreamParse::ItemsAt(int64_t at, std::vector<Item>* items)
{
    unsigned char p[kHeadBytes];
    const size_t n = bytes_.Read(at, p, sizeof p);
    if (n >= 4 && p[0] == 0xFF) FrameItems(at, p, n, items);
    else TagItems(at, p, n, items);
}

void StreamParse::FrameItems(int64_t at, const unsigned char* p, size_t n, std::vector<Item>* items)
{
    Item item;
    if (!ReadFrameHeader(p, &item.h)) return;
    const FrameHeader& h = item.h;
    item.at = at;
    std::memcpy(item.head, p, 4);
    uint32_t counted = 0;
    item.header = ReadHeaderFrame(p, n, &counted, nullptr, &item.varies) != HeaderFrame::kNone;
    item.begin = std::max(MainDataBegin(p, n), 0);
    const int64_t size = bytes_.Size();
    // Free format: the whole frames of a bit rate within that lead on, looked
    // for once for every size.
    std::vector<std::pair<int64_t, int64_t>> swallowed;
    int64_t longestItem = h.size, tagWithin = -2;  // -2: not looked for yet
    const auto add = [&](int64_t freeSize) {
        const int64_t bytes = FrameSize(h, freeSize);
        if (bytes <= 0 || at + bytes > size || !HoldsFrame(p, n, h, bytes)) return;
        item.freeSize = freeSize;
        item.end = at + bytes;
        item.left = item.header ? 0 : h.layer == 3 ? ReservoirLeft(p, n, bytes) : -1;
        if (freeSize == 0) item.inner = FrameWithinAsked(at + 1, item.end, p, 0, &item.innerLeads);
        item.swallowed = -1;
        for (const auto& [from, to] : swallowed)
            if (to <= item.end) {
                item.swallowed = from;
                break;
            }
        // Looked for once, as far as the longest: the first stands within
        // the items it stands before the end of.
        if (tagWithin == -2) tagWithin = TagWithin(at + 1, std::min(at + longestItem, size));
        item.tagWithin = tagWithin >= 0 && tagWithin < item.end;
        items->push_back(item);
    };
    if (h.bitRateIndex != 0) {
        add(0);
        return;
    }
    // Free format: a frame's size is told by where the next of its stream
    // begins. The sizes the ways so far have learnt; the distances from
    // each of the next few headers of its stream to each after it, and to
    // the items of another kind after the last (stray bytes may stand
    // before any frame and headers of its stream within any, so the first
    // two frames with nothing between may stand a few frames on); and those
    // that end the stream with it or with one of them.
    std::vector<int64_t> sizes;
    for (const size_t k : live_)
        if (nodes_[k].hasShape && nodes_[k].shape.freeSize > 0 && SameStream(nodes_[k].shape.ref, p))
            sizes.push_back(nodes_[k].shape.freeSize);
    const int64_t longest = LongestFreeFrame(h), least = 4 + (h.crc ? 2 : 0) + SideInfoBytes(h) + 1;
    // The nearest few, each within a frame's reach of the one before: the
    // stream's own header put in over and over would make every offset a
    // size.
    constexpr size_t kFreeHeaders = 16;
    constexpr int kFreeDistances = 8;
    std::vector<std::pair<int64_t, int>> heads{{at, h.padding}};  // where, and the padding
    std::vector<int64_t> others;  // items of another kind after the last
    bool capped = false;
    for (int64_t c = at + least;; ++c) {
        unsigned char q[4];
        FrameHeader next;
        if ((c = bytes_.Find(0xFF, c, std::min(heads.back().first + 2 * longest, size - 3))) < 0) break;
        if (bytes_.Read(c, q, 4) < 4 || !ReadFrameHeader(q, &next) || next.bitRateIndex != 0 || !SameStream(q, p))
            continue;
        if (heads.size() == kFreeHeaders) {
            capped = true;
            break;
        }
        heads.emplace_back(c, next.padding);
    }
    if (heads.size() > 1 && !capped) {
        // After the last of two headers or more (one alone among other
        // bytes is no stream), the next item of another kind tells it as
        // the next header would: a tag, or a whole frame of a bit rate (the
        // first, and the next few that lead on: stray bytes may follow the
        // first, and one may begin within the free-format frame itself).
        const int64_t from = heads.back().first, reach = std::min(from + 2 * longest, size);
        const int64_t tag = FirstTag(from + least, reach);
        if (tag >= 0) others.push_back(tag);
        int64_t end = -1, frame = RateFrameWithin(from + least, tag >= 0 ? tag : reach, false, &end);
        for (int i = 0; frame >= 0 && i < kFreeDistances; ++i) {
            others.push_back(frame);
            frame = RateFrameWithin(frame + (i > 0), tag >= 0 ? tag : reach, true, &end);
        }
    }
    for (const auto& [head, padding] : heads)
        if (size - head - padding <= (head == at ? longest : 2 * longest)) sizes.push_back(size - head - padding);
    for (size_t j = 1; j < heads.size(); ++j) others.push_back(heads[j].first);
    for (const int64_t to : others)
        for (const auto& [head, padding] : heads)
            if (head < to && to - head - padding <= 2 * longest) sizes.push_back(to - head - padding);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    if (!sizes.empty()) {
        const int64_t reach = std::min(at + std::min(sizes.back(), 2 * longest), size);
        for (int64_t frame = at + 1, end = -1; (frame = RateFrameWithin(frame, reach, true, &end)) >= 0; ++frame)
            swallowed.emplace_back(frame, end);
    }
    if (!sizes.empty()) longestItem = FrameSize(h, std::min(sizes.back(), 2 * longest));
    for (const int64_t s : sizes)
        if (s >= least && s <= 2 * longest) add(s);
}

void StreamParse::TagItems(int64_t at, const unsigned char* p, size_t n, std::vector<Item>* items)
{
    const int64_t size = bytes_.Size();
    const auto add = [&](int64_t from, int64_t to) {
        if (from >= 0 && from < to && to <= size) {
            Item tag;
            tag.kind = Item::kTag;
            tag.at = from;
            tag.end = to;
            items->push_back(tag);
        }
    };
    // Each tag by its own structure and length: ID3v2 (version 2 to 4),
    // ID3v1 and its extension, APEv2 from its header or its footer,
    // Lyrics3 (version 2 by its fields and closing length, version 1 by its
    // closing word).
    if (n >= 10 && std::memcmp(p, "ID3", 3) == 0) {
        if (p[3] >= 2 && p[3] <= 4 && p[4] != 0xFF)
            if (const int64_t length = Id3v2Length(p, n); length > 0) add(at, at + length);
    } else if (n >= 3 && std::memcmp(p, "TAG", 3) == 0) {
        unsigned char q[3];
        if (n >= 4 && p[3] == '+') {
            if (bytes_.Read(at + 227, q, 3) == 3 && std::memcmp(q, "TAG", 3) == 0) add(at, at + 227);
        } else {
            add(at, at + 128);
        }
    } else if (n >= 32 && std::memcmp(p, "APETAGEX", 8) == 0) {
        const uint32_t version = Le32(p + 8), length = Le32(p + 12), flags = Le32(p + 20);
        if ((version != 1000 && version != 2000) || length < 32) return;
        if (flags & (1u << 29)) {
            add(at, at + 32 + int64_t(length));
        } else {
            const int64_t from = at + 32 - int64_t(length) - ((flags & (1u << 31)) ? 32 : 0);
            add(from, at + 32);
        }
    } else if (n >= 11 && std::memcmp(p, "LYRICSBEGIN", 11) == 0) {
        add(at, LyricsEnd(at));
    }
}

int64_t StreamParse::LyricsEnd(int64_t at)
{
    const auto digits = [](const unsigned char* q, int count) {
        int64_t v = 0;
        for (int i = 0; i < count; ++i) {
            if (q[i] < '0' || q[i] > '9') return int64_t(-1);
            v = v * 10 + (q[i] - '0');
        }
        return v;
    };
    // Version 2: fields of a three-letter name and a five-digit length, then
    // the length of them all in six digits and "LYRICS200".
    unsigned char q[15];
    for (int64_t c = at + 11; c - at < 1000000 && bytes_.Read(c, q, sizeof q) == sizeof q;) {
        if (std::memcmp(q + 6, "LYRICS200", 9) == 0) return digits(q, 6) == c - at ? c + 15 : -1;
        const int64_t length = digits(q + 3, 5);
        if (length < 0 || q[0] < 'A' || q[0] > 'Z') break;
        c += 8 + length;
    }
    // Version 1: up to 5,100 bytes, then "LYRICSEND".
    for (int64_t c = at + 11; c < at + 11 + 5100; ++c) {
        if ((c = bytes_.Find('L', c, at + 11 + 5100)) < 0) break;
        if (bytes_.Read(c, q, 9) == 9 && std::memcmp(q, "LYRICSEND", 9) == 0) return c + 9;
    }
    return -1;
}

size_t StreamParse::HeadersFrom(int64_t from, int64_t to) const
{
    to = std::min(to, bytes_.Size());
    // Headers behind the scan are asked of no more.
    if (indexed_ < std::min(from, scan_)) indexed_ = std::min(from, scan_);
    for (int64_t at = indexed_; at < to && (at = bytes_.Find(0xFF, at, to)) >= 0; ++at) {
        Header c;
        c.at = at;
        c.n = bytes_.Read(at, c.p, sizeof c.p);
        if (c.n < 4 || (c.p[1] & 0xE0) != 0xE0) continue;
        c.valid = ReadFrameHeader(c.p, &c.h);
        headers_.push_back(c);
    }
    indexed_ = std::max(indexed_, to);
    return size_t(std::lower_bound(headers_.begin(), headers_.end(), from,
                                   [](const Header& c, int64_t at) { return c.at < at; }) -
                  headers_.begin());
}

bool StreamParse::Holds(Header& c, int64_t size)
{
    for (const auto& [asked, holds] : c.held)
        if (asked == size) return holds;
    const bool holds = HoldsFrame(c.p, c.n, c.h, size);
    c.held[c.nextHeld++ % c.held.size()] = {size, holds};
    return holds;
}

bool StreamParse::HeaderAt(int64_t at, const unsigned char* ref) const
{
    if (at >= bytes_.Size()) return false;
    const size_t k = HeadersFrom(at, at + 1);
    return k < headers_.size() && headers_[k].at == at && headers_[k].valid && SameStream(headers_[k].p, ref);
}

int64_t StreamParse::FrameWithin(int64_t from, int64_t to, const unsigned char* ref, int64_t freeSize, bool* leads,
                                 bool sizeKnown, int64_t scanFrom) const
{
    const bool free = freeSize > 0;
    const int64_t end = bytes_.Size();
    // By place: finding headers further on adds to headers_.
    for (size_t k = HeadersFrom(std::max(from, scanFrom), to); k < headers_.size() && headers_[k].at < to; ++k) {
        Header& c = headers_[k];
        const int64_t at = c.at;
        const FrameHeader& h = c.h;
        if (!c.valid || (h.bitRateIndex == 0) != free || !SameStream(c.p, ref)) continue;
        if (!free) {
            if (c.holds < 0) {
                c.holds = at + h.size <= end && HoldsFrame(c.p, c.n, h, h.size);
                c.on = c.holds && (at + h.size == end || HeaderAt(at + h.size, c.p));
            }
            if (!c.holds) continue;
            if (leads) *leads = c.on;
            return at;
        }
        const int64_t size = FrameSize(h, freeSize);
        if ((at + size == end || HeaderAt(at + size, c.p)) && Holds(c, size)) {
            if (leads) *leads = true;
            return at;
        }
        // In free format, also one as long as the distance to the next header
        // of its stream: a size of several frames swallows them whole.
        if (c.runs < 0) {
            c.runs = 0;
            const int64_t least = 4 + (h.crc ? 2 : 0) + SideInfoBytes(h) + 1;
            const int64_t limit = std::min(at + LongestFreeFrame(h) + 1, end - 3);
            for (size_t j = HeadersFrom(at + least, limit); j < headers_.size() && headers_[j].at < limit; ++j)
                if (SameStream(headers_[j].p, c.p) && (headers_[j].p[2] >> 4) == 0) {
                    c.runs = Holds(c, headers_[j].at - at);
                    break;
                }
        }
        if (c.runs) {
            if (leads) *leads = true;
            return at;
        }
        // Or the last, ending the stream as long as the frame it lies in is
        // up to it, or as long as earlier frames told; stray bytes fewer
        // than a frame may stand between the two.
        const int64_t last = end - at, before = at - (from - 1);
        const int64_t frame = sizeKnown ? FrameSize(h, freeSize) : last;
        if ((std::abs(last - before) <= 1 || (std::abs(last - frame) <= 1 && before + 1 >= frame && before - frame < frame)) &&
            Holds(c, last)) {
            if (leads) *leads = true;
            return at;
        }
        // Or, where no earlier frame told the size, one as long as the
        // outer frame is up to it: the outer, that long, is followed by
        // another of its stream, and any longer swallows it.
        if (!sizeKnown && at + before <= end && Holds(c, before)) {
            if (leads) *leads = true;
            return at;
        }
    }
    return -1;
}

int64_t StreamParse::RateFrameWithin(int64_t from, int64_t to, bool leads, int64_t* end)
{
    for (int64_t at = from; (at = bytes_.Find(0xFF, at, to)) >= 0; ++at) {
        unsigned char p[kHeadBytes], q[4];
        const size_t n = bytes_.Read(at, p, sizeof p);
        FrameHeader h, next;
        if (n < 4 || !ReadFrameHeader(p, &h) || h.bitRateIndex == 0 || at + h.size > to || !HoldsFrame(p, n, h, h.size))
            continue;
        const int64_t after = at + h.size;
        bool on = !leads || after == bytes_.Size() || StandingTag(after) == after;
        // Or a header of its stream past fewer stray bytes than the frame.
        for (int64_t c = after; !on && (c = bytes_.Find(0xFF, c, std::min(after + h.size, bytes_.Size() - 3))) >= 0; ++c)
            on = bytes_.Read(c, q, 4) == 4 && SameStream(q, p) && ReadFrameHeader(q, &next);
        if (on) {
            *end = after;
            return at;
        }
    }
    return -1;
}

int64_t StreamParse::FrameWithinAsked(int64_t from, int64_t to, const unsigned char* ref, int64_t freeSize, bool* leads,
                                      bool sizeKnown) const
{
    // The items at one offset ask from there on, each as far as its end;
    // the first frame within does not hang on where the search stops. It
    // asks of ref only its stream, and of sizeKnown only in free format.
    constexpr size_t kSlots = 4096;
    if (from != askedFrom_ || asked_.size() >= kSlots / 2) {
        askedFrom_ = from;
        asked_.clear();
        if (askedSlots_.empty()) askedSlots_.resize(kSlots);
        if (++askedRound_ == 0) {
            std::fill(askedSlots_.begin(), askedSlots_.end(), AskedSlot{});
            askedRound_ = 1;
        }
    }
    const Asked key{StreamKey(ref), freeSize, freeSize == 0 || sizeKnown};
    const auto same = [&](const Asked& a) {
        return a.freeSize == key.freeSize && a.stream == key.stream && a.sizeKnown == key.sizeKnown;
    };
    // The ways to an item come by kind: most ask what the way before did.
    if (lastAsked_ >= asked_.size() || !same(asked_[lastAsked_])) {
        const uint64_t packed = uint64_t(key.stream) << 32 ^ uint64_t(key.freeSize) << 1 ^ uint64_t(key.sizeKnown);
        size_t slot = size_t((packed * 0x9E3779B97F4A7C15ull) >> 52) & (kSlots - 1);
        while (askedSlots_[slot].round == askedRound_ && askedSlots_[slot].key != packed) slot = (slot + 1) & (kSlots - 1);
        AskedSlot& found = askedSlots_[slot];
        if (found.round != askedRound_) {
            found = {packed, askedRound_, uint32_t(asked_.size())};
            asked_.push_back(key);
            asked_.back().to = from;
        }
        lastAsked_ = found.index;
    }
    Asked& a = asked_[lastAsked_];
    if (a.at < 0 && a.to < to) {
        a.at = FrameWithin(from, to, ref, freeSize, &a.leads, key.sizeKnown, a.to);
        a.to = to;
    }
    if (leads) *leads = a.leads;
    return a.at < to ? a.at : -1;
}

bool StreamParse::TagAt(int64_t at, Item* tag)
{
    unsigned char p[kHeadBytes];
    std::vector<Item> tags;
    TagItems(at, p, bytes_.Read(at, p, sizeof p), &tags);
    if (tags.empty()) return false;
    *tag = tags.front();
    return true;
}

int64_t StreamParse::StandingTag(int64_t at)
{
    Item tag, after;
    if (!TagAt(at, &tag)) return -1;
    unsigned char p[4];
    FrameHeader h;
    const bool followed = tag.end == bytes_.Size() || (bytes_.Read(tag.end, p, 4) == 4 && ReadFrameHeader(p, &h)) ||
                          TagAt(tag.end, &after);
    return followed ? tag.at : -1;
}

int64_t StreamParse::TagWithin(int64_t from, int64_t to)
{
    // ID3v2, APEv2 and Lyrics3 by their names and structure; an ID3v1 tag's
    // three letters are too few to tell within a frame's bytes.
    int64_t first = -1;
    for (const char name : {'I', 'A', 'L'})
        for (int64_t at = from; (at = bytes_.Find(uint8_t(name), at, first >= 0 ? first : to)) >= 0; ++at)
            if (StandingTag(at) == at) {
                first = at;
                break;
            }
    return first;
}

int64_t StreamParse::FirstTag(int64_t from, int64_t limit)
{
    // By its structure alone: whether stray bytes follow it is the parse's
    // to judge, not where the frame before ends.
    int64_t first = -1;
    for (const char name : {'I', 'T', 'A', 'L'})
        for (int64_t at = from; (at = bytes_.Find(uint8_t(name), at, first < 0 ? limit : first)) >= 0; ++at)
            if (Item tag; TagAt(at, &tag) && tag.at >= from) {
                first = first < 0 ? tag.at : std::min(first, tag.at);
                break;
            }
    return first;
}

// ---- The cheapest way

Shape StreamParse::NewShape(const Item& item)
{
    Shape s;
    const FrameHeader& h = item.h;
    std::memcpy(s.ref, item.head, 4);
    s.rate = h.rate;
    s.frameSamples = h.samples;
    if (h.bitRateIndex == 0) {
        s.oneRate = true;
        s.freeSize = s.shortest = item.freeSize;
        s.frameBytes = double(item.freeSize);
    } else if (item.header && item.varies) {
        Varying(&s);
    } else {
        OneRate(&s, h);
        // An Info frame says one bit rate, which the first frame of sound
        // after it tells.
        if (item.header) s.bitRateIndex = -1;
    }
    return s;
}

int64_t StreamParse::Penalty(const Node& n, const Item& item, Node* next) const
{
    const int64_t gap = item.at - n.end;
    int64_t penalty = 0;
    // A tag explains its bytes only where the end or an item follows at
    // once, or a frame past fewer stray bytes than one of the recording
    // before: its name and length among other bytes are no tag; a frame
    // that holds another of its stream within, none from there on.
    // A frame of a bit rate other than the one before it, right where that
    // one ends and followed by stray bytes, costs as much as a frame of the
    // rate before lost (a header damaged into another bit rate claims a
    // frame that does not lead to the next), until a frame of its rate
    // leads on and shows the rate is the stream's.
    // Both only where the frame after it is of its own recording: fewer
    // stray bytes than a frame before one of another change no reading of
    // it either.
    int64_t switched = 0;
    const bool near = item.kind == Item::kFrame && n.kind != Node::kRoot && n.hasShape && gap < n.shape.shortest;
    const bool other = near && (n.kind == Node::kTag || OtherRecording(n.shape, item.head));
    penalty += other ? 0 : ExitPenalty(n, gap, near, &switched);
    next->seen = n.seen;
    next->confirmed = n.confirmed;
    next->pendingTo = n.pendingTo;
    next->pending = n.pending;
    next->rateIndex = n.rateIndex;
    if (gap == 0 && n.kind == Node::kFrame) {
        penalty -= Refund(n);
        next->confirmed = uint16_t(n.confirmed | 1u << n.rateIndex);
        next->pending -= n.pendingTo[size_t(n.rateIndex)];
        next->pendingTo[size_t(n.rateIndex)] = 0;
    }
    if (switched > 0) {
        next->pendingTo[size_t(n.rateIndex)] += int32_t(switched);
        next->pending += switched;
    }
    next->shape = n.shape;
    next->hadBefore = n.hadBefore;
    next->before = n.before;
    if (item.kind == Item::kTag) {
        next->established = n.established;
        next->joined = n.joined;
        next->run = gap == 0 ? n.run : 0;
        next->runCharged = gap == 0 ? n.runCharged : 0;
        return penalty;
    }
    // A frame explains a byte more than it holds: of two ways a few stray
    // bytes apart, the one with more frames of the stream wins.
    penalty -= kFrameCredit;
    penalty += WithinPenalty(n, item, next);
    // In free format a frame of another size is of another recording, but
    // for the last, which the stray bytes after every other may not follow.
    const bool lastFree = item.freeSize > 0 && item.freeSize < n.shape.freeSize && item.end == bytes_.Size();
    const bool begins = item.header || !n.hasShape || OtherRecording(n.shape, item.head) ||
                        (item.freeSize > 0 && item.freeSize != n.shape.freeSize && !lastFree);
    penalty += RecordingPenalty(n, item, begins, next);
    if (begins) return penalty;
    // The last frame of a free-format stream shorter by bytes the others
    // took: as if those stray bytes, and one more, were unexplained.
    if (lastFree) penalty += n.shape.freeSize - item.freeSize + 1;
    Shape& shape = next->shape;
    if (shape.oneRate && shape.freeSize == 0 && shape.bitRateIndex < 0) {
        OneRate(&shape, item.h);
    } else if (shape.freeSize == 0 && !n.header && item.h.bitRateIndex != n.rateIndex) {
        // Only a frame right where the one before ends is suspect: past
        // stray bytes, nothing singles it out among its neighbours. What
        // it costs is a frame of the rate before, without padding.
        unsigned char q[4] = {item.head[0], item.head[1], uint8_t((item.head[2] & 0x0D) | n.rateIndex << 4), item.head[3]};
        FrameHeader before;
        if (gap == 0 && ReadFrameHeader(q, &before)) next->switched = before.size;
        if (shape.oneRate) Varying(&shape);
    }
    if (shape.freeSize == 0) {
        next->seen = uint16_t(n.seen | 1u << item.h.bitRateIndex);
        if (std::popcount(n.seen) < 3 && std::popcount(next->seen) >= 3) {
            penalty -= next->pending;
            next->pending = 0;
            next->pendingTo = {};
            next->confirmed = 0xFFFF;
        }
    }
    // Main data that begins before what the frame before it left: bytes the
    // frame lacks (stray bytes between frames leave the reservoir whole; a
    // stretch where frames may be lost does not).
    if (item.h.layer == 3 && n.left >= 0 && gap < n.shape.shortest) penalty += std::max<int64_t>(item.begin - n.left, 0);
    return penalty;
}

int64_t StreamParse::WithinPenalty(const Node& n, const Item& item, Node* next) const
{
    // A frame that begins a recording explains none of its bytes from where
    // a frame of the recording before holds within them; one that holds a
    // frame of its own stream, none from there where stray bytes follow it
    // (where that one leads on to the next of its stream, the outer is none
    // at all): a header put in among stray bytes may claim a frame that
    // swallows frames.
    int64_t penalty = 0;
    int64_t inner = item.inner;
    bool leads = item.innerLeads;
    if (item.freeSize > 0) {
        // In free format, a frame within of the size its stream has had.
        const bool known = n.hasShape && n.shape.freeSize > 0 && SameStream(n.shape.ref, item.head);
        inner = FrameWithinAsked(item.at + 1, item.end, item.head, known ? n.shape.freeSize : item.freeSize, &leads, known);
    }
    next->innerCost = inner >= 0 && !leads ? item.end - inner : 0;
    if (inner >= 0 && leads) penalty += item.end - inner;
    // The recording before this one is the one it left, or the one its own
    // left; one that never stood on its own is none.
    const bool leaves = n.hasShape && n.established && (item.header || OtherRecording(n.shape, item.head));
    next->hadBefore = leaves || n.hadBefore;
    next->before = leaves ? n.shape : n.before;
    if (next->hadBefore && OtherRecording(next->before, item.head)) {
        const int64_t before = FrameWithinAsked(item.at + 1, item.end, next->before.ref, next->before.freeSize, nullptr);
        if (before >= 0) penalty += item.end - before;
    }
    // A free-format frame, whose size only other headers tell, explains
    // none of its bytes from where frames of a bit rate run on within it.
    if (item.swallowed >= 0) penalty += item.end - item.swallowed;
    // A tag by its full structure within a frame's bytes: the frame was cut
    // there, and explains none of them.
    if (item.tagWithin) penalty += item.end - item.at;
    return penalty;
}

int64_t StreamParse::RecordingPenalty(const Node& n, const Item& item, bool begins, Node* next) const
{
    const int64_t gap = item.at - n.end;
    int64_t penalty = 0;
    if (begins) {
        // A recording begins. Where the stream starts, where a tag ends (past
        // bytes the recording before would call stray), or with its own Info
        // frame, it stands on its own.
        next->shape = NewShape(item);
        next->pending = 0;
        next->pendingTo = {};
        next->seen = item.header || item.h.bitRateIndex == 0 ? 0 : uint16_t(1u << item.h.bitRateIndex);
        next->confirmed = 0;
        next->established = item.header || (gap == 0 && n.kind != Node::kFrame) ||
                            (n.kind == Node::kTag && n.hasShape && gap < n.shape.shortest);
        next->joined = gap == 0 || !n.hasShape ||
                       (n.kind == Node::kFrame && gap < n.shape.shortest && (n.header || item.freeSize == 0));
        next->run = 1;
        next->runCharged = 0;
        // A free-format stream of another frame size but the same kind and
        // no Info frame of its own: as dear as two frames of it lost.
        if (!item.header && n.hasShape && n.shape.freeSize > 0 && item.freeSize > 0 && SameStream(n.shape.ref, item.head))
            penalty += 2 * item.freeSize;
    } else {
        // Back to back: at once, or past fewer stray bytes than a frame in a
        // recording joined on right where the last frame ended.
        const bool on = gap == 0 || (n.joined && gap < n.shape.shortest);
        next->established = n.established;
        next->joined = n.joined;
        next->run = on ? n.run + 1 : 1;
        next->runCharged = on ? n.runCharged : 0;
    }
    // Elsewhere its frames explain nothing, and a byte less, until three
    // stand back to back: bytes of anything hold a frame header here and
    // there, and those of a movie or AAC file one that recurs with its
    // frames.
    if (!next->established) {
        const int64_t explained = item.end - item.at + kFrameCredit;
        penalty += explained + 1;
        next->runCharged += explained + 1;
        if (next->run >= kRunFrames) {
            penalty -= next->runCharged;
            next->established = true;
        }
    }
    return penalty;
}

void StreamParse::Take(const Item& item)
{
    // The cheapest way to the item for each state a recording not yet
    // standing on its own may be in (frames back to back so far), and for
    // one that stands: a way dearer now may be cheaper once its frames run
    // on.
    // Of each state, also the way cheapest once every charge it has paid
    // for a rate's switch is taken back: it may be the cheaper one then.
    constexpr int kStates = 2 * kRunFrames;
    Node best[kStates];
    bool found[kStates] = {};
    int64_t dearest = INT64_MIN;
    // live_ runs from the cheapest way on: past the first whose stray
    // bytes alone cost more than the best found, none can cost less.
    for (const size_t k : live_) {
        const Node& n = nodes_[k];
        if (n.end > item.at) continue;
        const int64_t least = n.Effective() + item.at;
        if (dearest != INT64_MIN && least - kFrameCredit - mostRefund_ > dearest) break;
        Node next;
        const int64_t cost = least + Penalty(n, item, &next);
        const int state = next.established ? 0 : std::min(next.run, kRunFrames - 1);
        for (const int s : {state, state + kRunFrames}) {
            // By cost, or by cost less what may come back; of ways alike,
            // the one with the fewest stray bytes right before the item,
            // then the one found first.
            const bool refunded = s >= kRunFrames;
            Node& b = best[s];
            const int64_t value = cost - (refunded ? next.pending : 0), held = b.cost - (refunded ? b.pending : 0);
            if (found[s] && (value > held || (value == held && n.end <= nodes_[b.prev].end))) continue;
            found[s] = true;
            b = next;
            b.kind = item.kind == Item::kTag ? Node::kTag : Node::kFrame;
            b.at = item.at;
            b.end = item.end;
            b.cost = cost;
            b.prev = k;
            b.header = item.header;
            b.hasShape = item.kind == Item::kFrame || n.hasShape;
            b.left = item.kind == Item::kFrame ? item.left : n.left;
            b.rateIndex = item.kind == Item::kFrame ? item.h.bitRateIndex : n.rateIndex;
        }
        dearest = INT64_MIN;
        for (int s = 0; s < kStates; ++s)
            if (found[s]) dearest = std::max(dearest, best[s].cost);
    }
    // The same way found by both measures is kept once.
    for (int s = 0; s < kRunFrames; ++s)
        if (found[s] && found[s + kRunFrames] && best[s].prev == best[s + kRunFrames].prev) found[s + kRunFrames] = false;
    for (int s = 0; s < kStates; ++s) {
        if (!found[s]) continue;
        mostRefund_ = std::max(mostRefund_, best[s].pending + best[s].runCharged);
        nodes_.push_back(best[s]);
        const size_t k = nodes_.size() - 1;
        live_.insert(std::upper_bound(live_.begin(), live_.end(), nodes_[k].Effective(),
                                      [&](int64_t v, size_t j) { return v < nodes_[j].Effective(); }),
                     k);
    }
}

int64_t StreamParse::ExitPenalty(const Node& n, int64_t gap, bool resumes, int64_t* switched) const
{
    if (switched) *switched = 0;
    if (gap == 0) return 0;
    if (n.kind == Node::kTag) return n.end - n.at;
    // A frame within is judged as where no stray bytes follow where the
    // stream goes on past fewer than a frame: stray bytes put in between
    // frames change no reading.
    // A switch to a rate a frame of which has led on costs nothing.
    const int64_t paid = n.confirmed >> n.rateIndex & 1 ? 0 : n.switched;
    if (switched) *switched = paid;
    return (resumes ? 0 : n.innerCost) + paid;
}

int64_t StreamParse::Refund(const Node& n)
{
    return n.kind == Node::kFrame ? n.pendingTo[size_t(n.rateIndex)] : 0;
}

int64_t StreamParse::Value(const Node& n, int64_t at, bool final) const
{
    const int64_t gap = at - n.end;
    return n.cost + std::max<int64_t>(gap, 0) + (final ? ExitPenalty(n, gap, false, nullptr) : 0) -
           (final && gap == 0 ? Refund(n) : 0);
}

size_t StreamParse::Best(bool final) const
{
    const int64_t at = final ? bytes_.Size() : scan_;
    size_t best = settled_;
    bool found = false;
    for (const size_t k : live_) {
        const Node& n = nodes_[k];
        const int64_t v = Value(n, at, final), b = found ? Value(nodes_[best], at, final) : 0;
        if (!found || v < b || (v == b && (n.end > nodes_[best].end || (n.end == nodes_[best].end && k < best)))) {
            best = k;
            found = true;
        }
    }
    return best;
}

void StreamParse::Settle(bool final)
{
    std::vector<size_t> path;
    const size_t best = Best(final);
    if (final) cost_ = Value(nodes_[best], bytes_.Size(), true);
    for (size_t k = best; k != SIZE_MAX && k > settled_; k = nodes_[k].prev) path.push_back(k);
    std::reverse(path.begin(), path.end());
    const size_t before = settled_;
    // Whether a frame of varying rate follows on the path within the
    // recording that goes on at each node (none where one begins there).
    std::vector<bool> variesAfter(path.size() + 1, false);
    for (size_t i = path.size(); i-- > 0;) {
        const Node& n = nodes_[path[i]];
        const Node& prev = nodes_[i > 0 ? path[i - 1] : settled_];
        const bool begins =
            n.kind == Node::kFrame && (n.header || !prev.hasShape || OtherRecording(prev.shape, n.shape.ref));
        variesAfter[i] = !begins && ((n.kind == Node::kFrame && !n.shape.oneRate) || variesAfter[i + 1]);
    }
    for (size_t i = 0; i < path.size(); ++i) {
        const Node& n = nodes_[path[i]];
        if (!final && n.end + kDepth > scan_) break;
        bool frameAfter = n.kind == Node::kFrame;
        for (size_t j = i + 1; j < path.size() && !frameAfter; ++j) frameAfter = nodes_[path[j]].kind == Node::kFrame;
        // A recording taken for one of one bit rate so far whose frames after
        // vary is of varying rate here too.
        const Node& last = nodes_[settled_];
        Shape shape = last.shape;
        if (last.hasShape && shape.oneRate && shape.freeSize == 0 && variesAfter[i]) Varying(&shape);
        ReadOff(last.hasShape, shape, last.end, n.at, frameAfter);
        // Before the first frame, bytes cost nothing but a frame of its
        // stream cut short, said as one.
        if (!anyFrame_ && n.kind == Node::kFrame && CutAt(last.end, n.at, n.shape)) {
            Step cut;
            cut.kind = Step::kGap;
            cut.at = last.end;
            cut.size = n.at - last.end;
            cut.cut = true;
            cut.shape = n.shape;
            AddStep(cut);
        }
        Step step;
        step.kind = n.kind == Node::kTag ? Step::kTag : Step::kFrame;
        step.at = n.at;
        step.size = n.end - n.at;
        step.header = n.header;
        step.shape = n.shape;
        // A free-format stream's last frame, short of the bytes the others
        // took: decoded as one of their size, its end as zeros.
        if (n.kind == Node::kFrame && n.shape.freeSize > 0 && n.end == bytes_.Size()) {
            unsigned char p[4];
            FrameHeader h;
            if (bytes_.Read(n.at, p, 4) == 4 && ReadFrameHeader(p, &h))
                step.size = std::max(step.size, FrameSize(h, n.shape.freeSize));
        }
        AddStep(step);
        settled_ = path[i];
    }
    if (final) {
        const Node& last = nodes_[settled_];
        ReadOff(last.hasShape, last.shape, last.end, bytes_.Size(), false);
        return;
    }
    if (settled_ == before) return;
    // Ways that part from the one settled are given up: a node made after
    // it goes on from it where the node before it does.
    std::vector<bool> goesOn(nodes_.size() - settled_, false);
    goesOn[0] = true;
    for (size_t k = settled_ + 1; k < nodes_.size(); ++k) {
        const size_t prev = nodes_[k].prev;
        goesOn[k - settled_] = prev != SIZE_MAX && prev >= settled_ && goesOn[prev - settled_];
    }
    live_.erase(std::remove_if(live_.begin(), live_.end(),
                               [&](size_t k) { return k < settled_ || !goesOn[k - settled_]; }),
                live_.end());
}

void StreamParse::Prune()
{
    if (live_.size() < 2) return;
    int64_t cheapest = INT64_MAX;
    for (const size_t k : live_)
        if (nodes_[k].end <= scan_) cheapest = std::min(cheapest, nodes_[k].Effective());
    // Past kBehind, the cheapest of each kind of recording stands for them all.
    std::vector<const Node*> kinds;
    const auto sameKind = [](const Node& a, const Node& b) {
        return a.hasShape == b.hasShape && (!a.hasShape || !OtherRecording(a.shape, b.shape.ref));
    };
    std::vector<size_t> live;
    for (const size_t k : live_) {
        const Node& n = nodes_[k];
        if (k != settled_) {
            if (n.end <= scan_ && cheapest != INT64_MAX && n.Effective() > cheapest + kSlack) continue;
            if (n.end + kBehind < scan_) {
                if (std::any_of(kinds.begin(), kinds.end(), [&](const Node* o) { return sameKind(n, *o); })) continue;
                kinds.push_back(&n);
            }
            if (live.size() >= kMostLive) continue;
        }
        live.push_back(k);
    }
    live_.swap(live);
    mostRefund_ = 0;
    for (const size_t k : live_) mostRefund_ = std::max(mostRefund_, nodes_[k].pending + nodes_[k].runCharged);
}

void StreamParse::Compact()
{
    if (nodes_.size() < 4096 || nodes_.size() < 8 * live_.size()) return;
    std::vector<size_t> index(nodes_.size(), SIZE_MAX);
    index[settled_] = 0;
    for (size_t k : live_)
        for (; k != SIZE_MAX && k > settled_ && index[k] == SIZE_MAX; k = nodes_[k].prev) index[k] = 0;
    std::vector<Node> kept;
    for (size_t k = settled_; k < nodes_.size(); ++k) {
        if (index[k] == SIZE_MAX) continue;
        index[k] = kept.size();
        kept.push_back(nodes_[k]);
        Node& n = kept.back();
        n.prev = k == settled_ || n.prev == SIZE_MAX ? SIZE_MAX : index[n.prev];
    }
    for (size_t& k : live_) k = index[k];
    settled_ = 0;
    nodes_.swap(kept);
}

// ---- Reading the partition off

int64_t StreamParse::ClaimAt(int64_t at, const Shape& shape, bool* checksumFails, bool anyRate)
{
    unsigned char p[kHeadBytes];
    const size_t n = bytes_.Read(at, p, sizeof p);
    FrameHeader h;
    if (n < 4 || !ReadFrameHeader(p, &h) || OtherRecording(shape, p)) return 0;
    if (!anyRate && shape.freeSize == 0 && shape.oneRate && shape.bitRateIndex > 0 &&
        h.bitRateIndex != shape.bitRateIndex)
        return 0;
    const int64_t size = FrameSize(h, shape.freeSize);
    if (size <= 4 + (h.crc ? 2 : 0) + SideInfoBytes(h)) return 0;
    if (checksumFails) *checksumFails = ChecksumFails(p, n, h, size);
    return size;
}

bool StreamParse::CutAt(int64_t at, int64_t to, const Shape& shape)
{
    unsigned char p[kHeadBytes];
    const size_t n = bytes_.Read(at, p, sizeof p);
    const int64_t size = ClaimAt(at, shape);
    FrameHeader h;
    if (size == 0 || to - at >= size || !ReadFrameHeader(p, &h)) return false;
    // Its header and side information whole, sound in it (a header before
    // zeros is no frame begun), and no header of the stream among them (nor
    // is a header repeated).
    const int64_t held = HeadBytes(p, n, h, size);
    if (to - at <= held || (h.layer == 3 && SoundBits(p, n, h, size) <= 0)) return false;
    for (int64_t c = at + 1; c < at + held; ++c)
        if (ClaimAt(c, shape) > 0) return false;
    return true;
}

void StreamParse::ReadOff(bool framed, const Shape& shape, int64_t from, int64_t to, bool frameAfter)
{
    // Bytes before the first frame cost no time and say nothing.
    if (to <= from || !anyFrame_ || !framed) return;
    const auto damaged = [&](int64_t at, int64_t end) {
        Step step;
        step.kind = Step::kFrame;
        step.damaged = true;
        step.at = at;
        step.size = end - at;
        step.shape = shape;
        AddStep(step);
    };
    if (!frameAfter) {
        // After the last frame: frames damaged within, each right where the
        // one before ends (a header of the stream's kind, of any bit rate),
        // or past stray bytes the last, ending where the bytes do; else
        // nothing.
        for (int64_t size; (size = ClaimAt(from, shape, nullptr, true)) > 0 && from + size <= to;) {
            damaged(from, from + size);
            from += size;
        }
        const int64_t limit = std::min(to, from + std::max<int64_t>(shape.shortest, 1));
        for (int64_t at = from; (at = bytes_.Find(0xFF, at, limit)) >= 0; ++at)
            if (ClaimAt(at, shape) == to - at) {
                strays_ += at - from;
                damaged(at, to);
                return;
            }
        return;
    }
    // A frame of the stream whose checksum fails, right where the last ends.
    for (bool fails = false;;) {
        const int64_t size = ClaimAt(from, shape, &fails);
        if (size == 0 || !fails || from + size > to) break;
        damaged(from, from + size);
        if ((from += size) == to) return;
    }
    const auto plain = [&](int64_t at, int64_t end) {
        if (end - at >= shape.shortest) {
            Step gap;
            gap.kind = Step::kGap;
            gap.at = at;
            gap.size = end - at;
            gap.shape = shape;
            AddStep(gap);
        } else {
            strays_ += end - at;
        }
    };
    if (CutAt(from, to, shape)) {
        Step gap;
        gap.kind = Step::kGap;
        gap.at = from;
        gap.size = to - from;
        gap.cut = true;
        gap.shape = shape;
        AddStep(gap);
        return;
    }
    // Or one that ends right where the next item begins.
    FrameHeader h;
    const int64_t longest = ReadFrameHeader(shape.ref, &h) ? LongestFreeFrame(h) : 0;
    for (int64_t at = std::max(from + 1, to - longest); (at = bytes_.Find(0xFF, at, to)) >= 0; ++at) {
        bool fails = false;
        if (ClaimAt(at, shape, &fails) == to - at && fails) {
            plain(from, at);
            damaged(at, to);
            return;
        }
    }
    plain(from, to);
}

void StreamParse::AddStep(const Step& step)
{
    if (step.kind == Step::kFrame) anyFrame_ = true;
    steps_.push_back(step);
}

}  // namespace platform::mpeg
