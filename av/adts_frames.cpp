#include "av/adts_frames.h"

#include <algorithm>
#include <cstring>

#include "av/mpeg_tags.h"

namespace platform::ffmpeg_layer {

bool AdtsWalker::Next(AdtsFrame* frame)
{
    if (at_ < 0) {
        at_ = TagEnd(0);
        // The stream's headers are those of the first chain.
        if (Resync(at_) < 0) at_ = size_;
    }
    int64_t skipped = 0;
    while (at_ + 7 <= size_) {
        const int64_t length = FrameAt(at_, key_);
        if (length > 0 && Follows(at_ + length)) return Take(frame, length, false, skipped);
        if (const int64_t tag = TagEnd(at_); tag > at_) {
            at_ = tag;
            continue;
        }
        const int64_t next = Resync(at_ + 1);
        // The rest holds no chain: a tag at the end, or a cut.
        if (next < 0) return length > 0 && Take(frame, length, false, skipped);
        // A whole frame with bytes after it that hold none stays a frame;
        // those bytes are said on their own.
        if (length > 0 && at_ + length <= next && EndsAsFrame(at_, length))
            return Take(frame, length, false, skipped);
        if (OneFrame(at_, next)) return Take(frame, next - at_, true, skipped);
        if (length > 0) return Take(frame, length, false, skipped);
        // Junk before the first frame has nothing before it to shift.
        if (taken_) skipped += next - at_;
        at_ = next;
    }
    return false;
}

bool AdtsWalker::Copy(int64_t at, int64_t n, uint8_t* out)
{
    const uint8_t* bytes = Bytes(at, n);
    if (bytes) std::memcpy(out, bytes, size_t(n));
    return bytes != nullptr;
}

AdtsChain AdtsWalker::Walk()
{
    AdtsChain chain;
    AdtsFrame frame;
    while (Next(&frame)) chain.samples += frame.samples;
    if (!taken_ || !sound_) {
        chain.fault = taken_ ? "its AAC frames hold their headers alone, no sound" : Cut();
        return chain;
    }
    chain.rate = kRates[firstKey_ >> 10 & 0xF];
    const int config = int(firstKey_ >> 8 & 1) << 2 | int(firstKey_ >> 6 & 3);
    chain.channels = config == 7 ? 8 : config;
    return chain;
}

int64_t AdtsWalker::Key(const uint8_t* h)
{
    return int64_t(h[1] & 0x08) << 16 | int64_t(h[2] & 0xFD) << 8 | (h[3] & 0xC0);
}

bool AdtsWalker::HeaderAt(int64_t at, int64_t key)
{
    const uint8_t* h = Bytes(at, 7);
    return h && h[0] == 0xFF && (h[1] & 0xF6) == 0xF0 && kRates[h[2] >> 2 & 0xF] != 0 && (key < 0 || Key(h) == key);
}

int64_t AdtsWalker::FrameAt(int64_t at, int64_t key)
{
    if (!HeaderAt(at, key)) return 0;
    const uint8_t* h = Bytes(at, 7);
    const int64_t length = LengthOf(h);
    const int64_t header = h[1] & 1 ? 7 : 9;  // without or with a checksum
    return length >= header && at + length <= size_ ? length : 0;
}

bool AdtsWalker::Starts(int64_t at)
{
    const uint8_t* h = Bytes(at, 7);
    const int64_t key = h ? Key(h) : -1;
    for (int frames = 0; frames < 3 && at < size_; ++frames) {
        const int64_t length = FrameAt(at, key);
        if (length == 0) return false;
        at += length;
    }
    key_ = key;
    return true;
}

int64_t AdtsWalker::Resync(int64_t from)
{
    for (int64_t at = from; at + 7 <= size_; ++at) {
        const uint8_t* b = Bytes(at, 1);
        if (b && *b == 0xFF && Starts(at)) return at;
    }
    return -1;
}

bool AdtsWalker::EndsAsFrame(int64_t at, int64_t length)
{
    const uint8_t* h = Bytes(at, 7);
    if (!h || length <= (h[1] & 1 ? 7 : 9)) return false;
    const uint8_t* tail = Bytes(at + length - 2, 2);
    if (!tail || tail[1] == 0) return false;
    const unsigned bits = unsigned(tail[0]) << 8 | tail[1];
    return (bits >> __builtin_ctz(bits) & 7) == 7;
}

bool AdtsWalker::OneFrame(int64_t at, int64_t next)
{
    if (!HeaderAt(at, key_)) return false;
    const uint8_t* h = Bytes(at, 7);
    const int64_t blocks = (h[6] & 3) + 1;
    const int config = (h[2] & 1) << 2 | h[3] >> 6;
    const int64_t most = config == 0 ? 8191 : blocks * 768 * (config == 7 ? 8 : config) + 9 + 2 * blocks;
    if (next - at > most) return false;
    for (int64_t k = at + 1; k < next; ++k)
        if (HeaderAt(k, key_)) return false;
    return true;
}

bool AdtsWalker::Take(AdtsFrame* frame, int64_t length, bool damaged, int64_t skipped)
{
    const uint8_t* h = Bytes(at_, 7);
    const int rate = kRates[h[2] >> 2 & 0xF];
    if (!taken_) firstKey_ = Key(h);
    if (rate != partRate_) {
        partStart_ = sample_;
        partSamples_ = 0;
        partRate_ = rate;
    }
    partSamples_ += 1024 * ((h[6] & 3) + 1);
    frame->at = at_;
    frame->length = length;
    frame->first = sample_;
    sample_ = partStart_ + partSamples_ * kRates[firstKey_ >> 10 & 0xF] / rate;
    frame->samples = sample_ - frame->first;
    frame->damaged = damaged;
    frame->skipped = skipped;
    sound_ = sound_ || (!damaged && length > (h[1] & 1 ? 7 : 9));
    at_ += length;
    taken_ = true;
    return true;
}

std::string AdtsWalker::Cut()
{
    const int64_t at = TagEnd(0);
    if (!HeaderAt(at, -1)) return {};
    const int64_t length = LengthOf(Bytes(at, 7));
    if (at + length <= size_) return {};
    return "the file is cut short: it holds " + std::to_string(size_ - at) + " bytes of the " +
           std::to_string(length) + " its first frame takes";
}

int64_t AdtsWalker::TagEnd(int64_t at)
{
    const uint8_t* t = Bytes(at, 10);
    return t ? std::min(size_, at + mpeg::Id3v2Length(t, 10)) : at;
}

AdtsChain WalkAdts(int fd, int64_t size)
{
    return WalkedOnce(fd, [&] { return AdtsWalker(fd, size).Walk(); });
}

}  // namespace platform::ffmpeg_layer
