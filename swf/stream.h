#pragma once
// The byte buffer every SWF object writes itself into: little-endian integers
// and a most-significant-bit-first bit writer.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CSwfObject;
class CSwfTag;

class CSwfStream {
public:
    explicit CSwfStream(uint8_t version = 4) : version_(version) {}

    void WriteU8(uint8_t value);
    void WriteU16(uint16_t value);
    void WriteS16(int16_t value);
    void WriteU32(uint32_t value);
    // Low `count` bits of value, highest first; signed fields are cut the same way.
    void WriteBits(int32_t value, int count);
    void FlushBits();
    // Characters only; a terminated string needs WriteU8(0) after it.
    void WriteString(std::string_view text);
    // The characters and a terminating zero byte.
    void WriteCString(std::string_view text)
    {
        WriteString(text);
        WriteU8(0);
    }
    void AppendBytes(const std::vector<uint8_t>& data);
    void AppendBytes(const uint8_t* data, size_t size);
    void AppendStream(CSwfStream& other);
    // Continues the other stream's bits at this stream's bit position, no padding.
    void AppendBits(CSwfStream& other);
    void WriteObject(CSwfObject* object);

    const std::vector<uint8_t>& GetBuffer();
    uint32_t GetSize() const { return static_cast<uint32_t>(bytes_.size()); }
    uint32_t GetPosition() const { return GetSize(); }
    uint64_t GetBitPosition() const { return uint64_t(bytes_.size()) * 8 + pendingCount_; }
    int GetPendingCount() const { return pendingCount_; }
    uint8_t GetVersion() const { return version_; }
    void Reserve(size_t n) { bytes_.reserve(n); }
    void Clear();

    void WriteTagHeader(const CSwfTag& tag, uint32_t length, bool forceLong);
    static std::vector<uint8_t> MakeTagHeader(const CSwfTag& tag, uint32_t length, bool forceLong);

    // A value that cannot be represented in its field marks the stream as
    // failed instead of wrapping into a corrupt movie; the first reason stays.
    void Fail(std::string reason);
    bool Failed() const { return !error_.empty(); }
    const std::string& GetError() const { return error_; }

private:
    void PushPending();

    std::vector<uint8_t> bytes_;
    uint8_t pendingBits_ = 0;
    int pendingCount_ = 0;
    uint8_t version_;
    std::string error_;
};

// Bits needed for a bit field holding value: 0 for 0, else the highest set bit
// + 1 (value taken unsigned), plus one sign bit when isSigned.
int SwfBitsNeeded(int32_t value, bool isSigned);

// Saturates value to the range of a signed field of `bits` bits (1..32).
int32_t SwfClampSigned(int64_t value, int bits);
// Saturates to 0..65535, for ids, depths and frame numbers.
uint16_t SwfClampU16(int64_t value);
