#include "swf/stream.h"

#include <algorithm>

#include "swf/object.h"

void CSwfStream::PushPending()
{
    bytes_.push_back(pendingBits_);
    pendingBits_ = 0;
    pendingCount_ = 0;
}

void CSwfStream::WriteU8(uint8_t value)
{
    FlushBits();
    bytes_.push_back(value);
}

void CSwfStream::WriteU16(uint16_t value)
{
    FlushBits();
    bytes_.push_back(uint8_t(value));
    bytes_.push_back(uint8_t(value >> 8));
}

void CSwfStream::WriteS16(int16_t value) { WriteU16(static_cast<uint16_t>(value)); }

void CSwfStream::WriteU32(uint32_t value)
{
    FlushBits();
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(value >> (8 * i)));
}

void CSwfStream::WriteBits(int32_t value, int count)
{
    const uint32_t v = static_cast<uint32_t>(value);
    int bit = count - 1;
    // Beyond bit 31 the sign bit repeats, as two's complement widening would.
    for (; bit > 31; --bit) {
        if (pendingCount_ == 8) PushPending();
        if (v >> 31) pendingBits_ |= uint8_t(1u << (7 - pendingCount_));
        ++pendingCount_;
    }
    // The rest as many bits at a time as the pending byte has room for.
    while (bit >= 0) {
        if (pendingCount_ == 8) PushPending();
        const int take = std::min(bit + 1, 8 - pendingCount_);
        const uint32_t chunk = (v >> (bit + 1 - take)) & ((1u << take) - 1);
        pendingBits_ |= uint8_t(chunk << (8 - pendingCount_ - take));
        pendingCount_ += take;
        bit -= take;
    }
}

void CSwfStream::FlushBits()
{
    if (pendingCount_ > 0) PushPending();
}

void CSwfStream::WriteString(std::string_view text)
{
    FlushBits();
    bytes_.insert(bytes_.end(), text.begin(), text.end());
}

void CSwfStream::AppendBytes(const std::vector<uint8_t>& data) { AppendBytes(data.data(), data.size()); }

void CSwfStream::AppendBytes(const uint8_t* data, size_t size)
{
    FlushBits();
    if (size) bytes_.insert(bytes_.end(), data, data + size);
}

void CSwfStream::AppendStream(CSwfStream& other)
{
    if (&other == this) return;
    if (other.Failed()) Fail(other.GetError());
    AppendBytes(other.GetBuffer());
}

void CSwfStream::AppendBits(CSwfStream& other)
{
    if (&other == this) return;
    if (other.Failed()) Fail(other.GetError());
    const int pending = other.pendingCount_;
    const uint8_t pendingByte = other.pendingBits_;
    // Reading the other stream completes its pending byte, as GetBuffer does.
    other.FlushBits();
    const size_t whole = other.bytes_.size() - (pending > 0 ? 1 : 0);
    for (size_t i = 0; i < whole; ++i) WriteBits(other.bytes_[i], 8);
    if (pending > 0) WriteBits(pendingByte >> (8 - pending), pending);
}

void CSwfStream::WriteObject(CSwfObject* object)
{
    if (object) object->Write(*this);
}

const std::vector<uint8_t>& CSwfStream::GetBuffer()
{
    FlushBits();
    return bytes_;
}

void CSwfStream::Clear()
{
    bytes_.clear();
    pendingBits_ = 0;
    pendingCount_ = 0;
    error_.clear();
}

std::vector<uint8_t> CSwfStream::MakeTagHeader(const CSwfTag& tag, uint32_t length, bool forceLong)
{
    const uint16_t word = uint16_t((tag.GetTagCode() << 6) & 0xFFC0);
    std::vector<uint8_t> out;
    if (length > 62 || forceLong) {
        const uint16_t w = word | 0x3F;
        out = {uint8_t(w), uint8_t(w >> 8), uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
               uint8_t(length >> 24)};
    } else {
        const uint16_t w = uint16_t(word | length);
        out = {uint8_t(w), uint8_t(w >> 8)};
    }
    return out;
}

void CSwfStream::WriteTagHeader(const CSwfTag& tag, uint32_t length, bool forceLong)
{
    AppendBytes(MakeTagHeader(tag, length, forceLong));
}

void CSwfStream::Fail(std::string reason)
{
    if (error_.empty()) error_ = reason.empty() ? "invalid SWF value" : std::move(reason);
}

int SwfBitsNeeded(int32_t value, bool isSigned)
{
    uint32_t v = static_cast<uint32_t>(value);
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n + (isSigned ? 1 : 0);
}

int32_t SwfClampSigned(int64_t value, int bits)
{
    bits = std::clamp(bits, 1, 32);
    const int64_t hi = (int64_t(1) << (bits - 1)) - 1;
    const int64_t lo = -(int64_t(1) << (bits - 1));
    return static_cast<int32_t>(std::clamp(value, lo, hi));
}

uint16_t SwfClampU16(int64_t value) { return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 0xFFFF)); }
