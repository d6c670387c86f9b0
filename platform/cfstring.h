#pragma once
// Stand-in for the Core Foundation string calls the program makes: an
// immutable, reference-counted UTF-16 string with conversions to and from
// Mac Roman, UTF-8, Latin-1 and length-prefixed strings.
#include <cstdint>
#include <string>

using CFIndex = long;
using CFStringEncoding = uint32_t;
using UniChar = uint16_t;
using CFComparisonResult = int;
using CFOptionFlags = unsigned long;

constexpr CFStringEncoding kCFStringEncodingMacRoman = 0;
constexpr CFStringEncoding kCFStringEncodingWindowsLatin1 = 0x0500;
constexpr CFStringEncoding kCFStringEncodingISOLatin1 = 0x0201;
constexpr CFStringEncoding kCFStringEncodingASCII = 0x0600;
constexpr CFStringEncoding kCFStringEncodingUnicode = 0x0100;  // UTF-16, host order
constexpr CFStringEncoding kCFStringEncodingUTF8 = 0x08000100;
constexpr CFStringEncoding kCFStringEncodingInvalidId = 0xffffffffU;

constexpr CFComparisonResult kCFCompareLessThan = -1;
constexpr CFComparisonResult kCFCompareEqualTo = 0;
constexpr CFComparisonResult kCFCompareGreaterThan = 1;
constexpr CFOptionFlags kCFCompareCaseInsensitive = 1;
constexpr CFOptionFlags kCFCompareNumerically = 64;

struct CFStringObject;
using CFStringRef = const CFStringObject*;

// Creation: null when the bytes are not valid in the encoding.
CFStringRef CFStringCreateWithCString(const char* text, CFStringEncoding encoding);
CFStringRef CFStringCreateWithBytes(const uint8_t* bytes, CFIndex length, CFStringEncoding encoding);
CFStringRef CFStringCreateWithCharacters(const UniChar* chars, CFIndex count);
CFStringRef CFStringCreateWithPascalString(const unsigned char* pascal, CFStringEncoding encoding);

CFStringRef CFStringRetain(CFStringRef string);
void CFRelease(CFStringRef string);

CFIndex CFStringGetLength(CFStringRef string);
UniChar CFStringGetCharacterAtIndex(CFStringRef string, CFIndex index);
// Copies count units from start; the range must lie inside the string.
void CFStringGetCharacters(CFStringRef string, CFIndex start, CFIndex count, UniChar* out);

// Zero-terminated conversion; false (buffer holding "") when a character has
// no form in the encoding or the text and terminator do not fit in size bytes.
bool CFStringGetCString(CFStringRef string, char* buffer, CFIndex size, CFStringEncoding encoding);
// Length-prefixed conversion (at most 255 bytes of text); false as above.
bool CFStringGetPascalString(CFStringRef string, unsigned char* buffer, CFIndex size, CFStringEncoding encoding);
// Converts units [start, start + count) until the buffer is full or a unit has
// no form (lossByte 0) and returns the number of units converted; usedLength
// receives the bytes written. A null buffer only measures.
CFIndex CFStringGetBytes(CFStringRef string, CFIndex start, CFIndex count, CFStringEncoding encoding,
                         uint8_t lossByte, bool externalRepresentation, uint8_t* buffer, CFIndex maxLength,
                         CFIndex* usedLength);
// Most bytes a string of length units can need in the encoding, terminator excluded.
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);

CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options);

namespace platform {

// The UTF-16 units of a string (empty for null).
std::u16string StringUnits(CFStringRef string);
// Conversions for callers that speak UTF-8 to the host system.
std::string ToUtf8(CFStringRef string);
// Mac Roman bytes of UTF-8 text and back; false when a character has no form.
bool MacRomanToUtf8(const std::string& roman, std::string& utf8);
bool Utf8ToMacRoman(const std::string& utf8, std::string& roman);
// Text of the show's character set as a UTF-8 terminal shows it: each byte
// from 0x80 is the Mac Roman character it stands for. With keepUtf8 (text
// of a Unicode project, where only character references give such bytes
// alone) what already forms UTF-8 stays.
std::string MacRomanForTerminal(const std::string& text, bool keepUtf8);
// Whether the bytes are well-formed UTF-8 (no overlong forms or surrogates).
bool IsUtf8(const char* bytes, size_t length);
// Mac Roman of well-formed UTF-8, each character Mac Roman lacks as
// replacement; the number of those. Text that is not UTF-8 is left as it is
// (and -1 returned).
int Utf8ToMacRomanLossy(const std::string& utf8, std::string& roman, char replacement);

}  // namespace platform
