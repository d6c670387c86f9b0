#include "platform/cfstring.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

struct CFStringObject {
    std::u16string units;
    mutable std::atomic<long> references{1};
};

namespace {

// Mac Roman 0x80..0xFF; 0xDB is the euro sign and 0xF0 the Apple logo in the
// private-use area, as the platform maps them.
constexpr UniChar kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};

bool IsSupported(CFStringEncoding e)
{
    return e == kCFStringEncodingMacRoman || e == kCFStringEncodingWindowsLatin1 ||
           e == kCFStringEncodingISOLatin1 || e == kCFStringEncodingASCII ||
           e == kCFStringEncodingUnicode || e == kCFStringEncodingUTF8;
}

// Windows-1252 0x80..0x9F; the holes are undefined.
constexpr UniChar kWindowsLatin1High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// One byte of an 8-bit encoding as a UTF-16 unit; 0xFFFF when undefined.
UniChar ByteToUnit(uint8_t b, CFStringEncoding e)
{
    if (b < 0x80) return b;
    switch (e) {
        case kCFStringEncodingMacRoman: return kMacRomanHigh[b - 0x80];
        case kCFStringEncodingWindowsLatin1:
            if (b < 0xA0) return kWindowsLatin1High[b - 0x80] ? kWindowsLatin1High[b - 0x80] : 0xFFFF;
            return b;
        case kCFStringEncodingISOLatin1: return b;
        default: return 0xFFFF;
    }
}

// A UTF-16 unit as one byte of an 8-bit encoding; -1 when it has none.
int UnitToByte(UniChar u, CFStringEncoding e)
{
    if (u < 0x80) return u;
    switch (e) {
        case kCFStringEncodingMacRoman:
            for (int i = 0; i < 128; ++i)
                if (kMacRomanHigh[i] == u) return 0x80 + i;
            return -1;
        case kCFStringEncodingWindowsLatin1:
            if (u >= 0xA0 && u <= 0xFF) return u;
            for (int i = 0; i < 32; ++i)
                if (kWindowsLatin1High[i] && kWindowsLatin1High[i] == u) return 0x80 + i;
            return -1;
        case kCFStringEncodingISOLatin1: return u <= 0xFF ? u : -1;
        default: return -1;
    }
}

bool DecodeUtf8(const uint8_t* p, size_t n, std::u16string& out)
{
    size_t i = 0;
    while (i < n) {
        uint32_t c = p[i];
        size_t extra;
        uint32_t min;
        if (c < 0x80) { extra = 0; min = 0; }
        else if ((c & 0xE0) == 0xC0) { extra = 1; c &= 0x1F; min = 0x80; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; c &= 0x0F; min = 0x800; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; c &= 0x07; min = 0x10000; }
        else return false;
        if (n - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        i += extra + 1;
    }
    return true;
}

bool Decode(const uint8_t* p, size_t n, CFStringEncoding e, std::u16string& out)
{
    if (e == kCFStringEncodingUTF8) return DecodeUtf8(p, n, out);
    if (e == kCFStringEncodingUnicode) {
        if (n % 2) return false;
        for (size_t i = 0; i < n; i += 2) {
            UniChar u;
            std::memcpy(&u, p + i, 2);
            out.push_back(u);
        }
        return true;
    }
    for (size_t i = 0; i < n; ++i) {
        UniChar u = ByteToUnit(p[i], e);
        if (u == 0xFFFF || (e == kCFStringEncodingASCII && p[i] >= 0x80)) return false;
        out.push_back(u);
    }
    return true;
}

// Bytes of the unit (or surrogate pair) at units[i]; consumed gets 1 or 2.
// Returns false when the unit has no form in the encoding.
bool EncodeOne(const std::u16string& units, size_t i, CFStringEncoding e, uint8_t* out, size_t& len,
               size_t& consumed)
{
    UniChar u = units[i];
    consumed = 1;
    if (e == kCFStringEncodingUnicode) {
        std::memcpy(out, &u, 2);
        len = 2;
        return true;
    }
    if (e == kCFStringEncodingUTF8) {
        uint32_t c = u;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((u - 0xD800u) << 10) + (units[i + 1] - 0xDC00u);
            consumed = 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            return false;  // lone surrogate
        }
        if (c < 0x80) { out[0] = static_cast<uint8_t>(c); len = 1; }
        else if (c < 0x800) { out[0] = static_cast<uint8_t>(0xC0 | (c >> 6)); out[1] = static_cast<uint8_t>(0x80 | (c & 0x3F)); len = 2; }
        else if (c < 0x10000) {
            out[0] = static_cast<uint8_t>(0xE0 | (c >> 12));
            out[1] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            out[2] = static_cast<uint8_t>(0x80 | (c & 0x3F));
            len = 3;
        } else {
            out[0] = static_cast<uint8_t>(0xF0 | (c >> 18));
            out[1] = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
            out[2] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
            out[3] = static_cast<uint8_t>(0x80 | (c & 0x3F));
            len = 4;
        }
        return true;
    }
    if (e == kCFStringEncodingASCII && u >= 0x80) return false;
    int b = UnitToByte(u, e);
    if (b < 0) return false;
    out[0] = static_cast<uint8_t>(b);
    len = 1;
    return true;
}

// The whole string in the encoding; false when a unit has no form.
bool EncodeAll(CFStringRef s, CFStringEncoding e, std::string& out)
{
    out.clear();
    if (!s || !IsSupported(e)) return false;
    const std::u16string& units = s->units;
    uint8_t buf[4];
    for (size_t i = 0; i < units.size();) {
        size_t len = 0, consumed = 0;
        if (!EncodeOne(units, i, e, buf, len, consumed)) return false;
        out.append(reinterpret_cast<const char*>(buf), len);
        i += consumed;
    }
    return true;
}

CFStringRef Make(std::u16string units)
{
    auto* s = new CFStringObject;
    s->units = std::move(units);
    return s;
}

}  // namespace

CFStringRef CFStringCreateWithBytes(const uint8_t* bytes, CFIndex length, CFStringEncoding encoding)
{
    if ((!bytes && length > 0) || length < 0 || !IsSupported(encoding)) return nullptr;
    std::u16string units;
    if (!Decode(bytes, static_cast<size_t>(length), encoding, units)) return nullptr;
    return Make(std::move(units));
}

CFStringRef CFStringCreateWithCString(const char* text, CFStringEncoding encoding)
{
    if (!text) return nullptr;
    return CFStringCreateWithBytes(reinterpret_cast<const uint8_t*>(text), static_cast<CFIndex>(std::strlen(text)),
                                   encoding);
}

CFStringRef CFStringCreateWithCharacters(const UniChar* chars, CFIndex count)
{
    if ((!chars && count > 0) || count < 0) return nullptr;
    return Make(std::u16string(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(count)));
}

CFStringRef CFStringCreateWithPascalString(const unsigned char* pascal, CFStringEncoding encoding)
{
    if (!pascal) return nullptr;
    return CFStringCreateWithBytes(pascal + 1, pascal[0], encoding);
}

CFStringRef CFStringRetain(CFStringRef string)
{
    if (string) string->references.fetch_add(1, std::memory_order_relaxed);
    return string;
}

void CFRelease(CFStringRef string)
{
    if (string && string->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete string;
}

CFIndex CFStringGetLength(CFStringRef string)
{
    return string ? static_cast<CFIndex>(string->units.size()) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index)
{
    if (!string || index < 0 || static_cast<size_t>(index) >= string->units.size()) return 0;
    return string->units[static_cast<size_t>(index)];
}

void CFStringGetCharacters(CFStringRef string, CFIndex start, CFIndex count, UniChar* out)
{
    if (!string || !out || start < 0 || count < 0) return;
    size_t s = static_cast<size_t>(start), n = static_cast<size_t>(count);
    if (s > string->units.size() || n > string->units.size() - s) return;
    std::copy_n(string->units.begin() + static_cast<std::ptrdiff_t>(s), n, reinterpret_cast<char16_t*>(out));
}

bool CFStringGetCString(CFStringRef string, char* buffer, CFIndex size, CFStringEncoding encoding)
{
    if (!buffer || size <= 0) return false;
    buffer[0] = 0;
    std::string bytes;
    if (!EncodeAll(string, encoding, bytes) || encoding == kCFStringEncodingUnicode) return false;
    if (static_cast<CFIndex>(bytes.size()) + 1 > size) return false;
    std::memcpy(buffer, bytes.data(), bytes.size());
    buffer[bytes.size()] = 0;
    return true;
}

bool CFStringGetPascalString(CFStringRef string, unsigned char* buffer, CFIndex size, CFStringEncoding encoding)
{
    if (!buffer || size <= 0) return false;
    buffer[0] = 0;
    std::string bytes;
    if (!EncodeAll(string, encoding, bytes) || encoding == kCFStringEncodingUnicode) return false;
    if (bytes.size() > 255 || static_cast<CFIndex>(bytes.size()) + 1 > size) return false;
    buffer[0] = static_cast<unsigned char>(bytes.size());
    std::memcpy(buffer + 1, bytes.data(), bytes.size());
    return true;
}

CFIndex CFStringGetBytes(CFStringRef string, CFIndex start, CFIndex count, CFStringEncoding encoding,
                         uint8_t lossByte, bool externalRepresentation, uint8_t* buffer, CFIndex maxLength,
                         CFIndex* usedLength)
{
    (void)externalRepresentation;  // no byte-order marks are written
    if (usedLength) *usedLength = 0;
    if (!string || start < 0 || count < 0 || !IsSupported(encoding)) return 0;
    const std::u16string& units = string->units;
    size_t end = std::min(units.size(), static_cast<size_t>(start) + static_cast<size_t>(count));
    CFIndex used = 0, converted = 0;
    uint8_t tmp[4];
    for (size_t i = static_cast<size_t>(start); i < end;) {
        size_t len = 0, consumed = 0;
        if (!EncodeOne(units, i, encoding, tmp, len, consumed)) {
            if (!lossByte) break;
            tmp[0] = lossByte;
            len = 1;
            consumed = 1;
        }
        if (buffer && used + static_cast<CFIndex>(len) > maxLength) break;
        if (buffer) std::memcpy(buffer + used, tmp, len);
        used += static_cast<CFIndex>(len);
        converted += static_cast<CFIndex>(consumed);
        i += consumed;
    }
    if (usedLength) *usedLength = used;
    return converted;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding)
{
    if (length < 0) return 0;
    switch (encoding) {
        case kCFStringEncodingUTF8: return 3 * length;  // a surrogate pair (2 units) takes 4 bytes
        case kCFStringEncodingUnicode: return 2 * length;
        default: return length;
    }
}

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options)
{
    std::u16string x = platform::StringUnits(a), y = platform::StringUnits(b);
    auto fold = [&](char16_t c) -> char16_t {
        if ((options & kCFCompareCaseInsensitive) && c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
        return c;
    };
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        if ((options & kCFCompareNumerically) && isDigit(x[i]) && isDigit(y[j])) {
            // Runs of digits compare by value: "file9" < "file10".
            size_t i2 = i, j2 = j;
            while (i2 < x.size() && x[i2] == u'0') ++i2;
            while (j2 < y.size() && y[j2] == u'0') ++j2;
            size_t ie = i2, je = j2;
            while (ie < x.size() && isDigit(x[ie])) ++ie;
            while (je < y.size() && isDigit(y[je])) ++je;
            if (ie - i2 != je - j2) return ie - i2 < je - j2 ? kCFCompareLessThan : kCFCompareGreaterThan;
            for (size_t k = 0; k < ie - i2; ++k)
                if (x[i2 + k] != y[j2 + k]) return x[i2 + k] < y[j2 + k] ? kCFCompareLessThan : kCFCompareGreaterThan;
            i = ie;
            j = je;
            continue;
        }
        char16_t cx = fold(x[i]), cy = fold(y[j]);
        if (cx != cy) return cx < cy ? kCFCompareLessThan : kCFCompareGreaterThan;
        ++i;
        ++j;
    }
    if (i < x.size()) return kCFCompareGreaterThan;
    if (j < y.size()) return kCFCompareLessThan;
    return kCFCompareEqualTo;
}

namespace platform {

std::u16string StringUnits(CFStringRef string)
{
    return string ? string->units : std::u16string();
}

std::string ToUtf8(CFStringRef string)
{
    std::string out;
    EncodeAll(string, kCFStringEncodingUTF8, out);
    return out;
}

namespace {
bool Transcode(const std::string& in, CFStringEncoding from, CFStringEncoding to, std::string& out)
{
    out.clear();
    CFStringRef s = CFStringCreateWithBytes(reinterpret_cast<const uint8_t*>(in.data()),
                                            static_cast<CFIndex>(in.size()), from);
    if (!s) return false;
    bool ok = EncodeAll(s, to, out);
    CFRelease(s);
    if (!ok) out.clear();
    return ok;
}
}  // namespace

bool MacRomanToUtf8(const std::string& roman, std::string& utf8)
{
    return Transcode(roman, kCFStringEncodingMacRoman, kCFStringEncodingUTF8, utf8);
}

bool Utf8ToMacRoman(const std::string& utf8, std::string& roman)
{
    return Transcode(utf8, kCFStringEncodingUTF8, kCFStringEncodingMacRoman, roman);
}

std::string MacRomanForTerminal(const std::string& text, bool keepUtf8)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto b = uint8_t(text[i]);
        const size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
        if (b < 0x80 || (keepUtf8 && length && i + length <= text.size() && IsUtf8(text.data() + i, length))) {
            out.append(text, i, length);
            i += length;
            continue;
        }
        // Every Mac Roman byte stands for one character below U+10000.
        const std::u16string unit(1, ByteToUnit(b, kCFStringEncodingMacRoman));
        uint8_t bytes[4];
        size_t count = 0, used = 0;
        if (EncodeOne(unit, 0, kCFStringEncodingUTF8, bytes, count, used))
            out.append(reinterpret_cast<const char*>(bytes), count);
        ++i;
    }
    return out;
}

bool IsUtf8(const char* bytes, size_t length)
{
    std::u16string units;
    return DecodeUtf8(reinterpret_cast<const uint8_t*>(bytes), length, units);
}

int Utf8ToMacRomanLossy(const std::string& utf8, std::string& roman, char replacement)
{
    std::u16string units;
    if (!DecodeUtf8(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), units)) {
        roman = utf8;
        return -1;
    }
    roman.clear();
    int lacking = 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const int byte = UnitToByte(units[i], kCFStringEncodingMacRoman);
        if (byte >= 0) {
            roman += char(byte);
            continue;
        }
        // A character beyond 16 bits is one, in two units.
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size()) ++i;
        roman += replacement;
        ++lacking;
    }
    return lacking;
}

}  // namespace platform
