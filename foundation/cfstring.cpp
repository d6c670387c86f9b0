#include "foundation/cfstring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/bundle.h"

CFStringEncoding GetDefaultTextEncoding()
{
    return kCFStringEncodingMacRoman;
}

void AdjustColorBrightness(uint32_t* rgb, int percent)
{
    if (!rgb) return;
    int step = static_cast<int>(std::floor(percent * 0.01 * 127.0));
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int channel = static_cast<int>((*rgb >> shift) & 0xFF) + step;
        result |= static_cast<uint32_t>(std::clamp(channel, 0, 255)) << shift;
    }
    *rgb = result;
}

CCFString::CCFString(const char* text)
{
    SetCString(text);
}

CCFString::CCFString(int number)
{
    SetLocalized(number);
}

CCFString::~CCFString()
{
    Release();
}

CFStringRef CCFString::Create(const char* text)
{
    return CFStringCreateWithCString(text, GetDefaultTextEncoding());
}

bool CCFString::GetCString(CFStringRef string, char* buffer, CFIndex size)
{
    if (!string) return false;
    return CFStringGetCString(string, buffer, size, GetDefaultTextEncoding());
}

void CCFString::SetCString(const char* text)
{
    Release();
    if (text) string_ = Create(text);
}

void CCFString::Attach(CFStringRef string)
{
    if (string == string_) return;
    Release();
    string_ = string;
}

void CCFString::Release()
{
    if (string_) CFRelease(string_);
    string_ = nullptr;
}

bool CCFString::Reset(const char* text)
{
    SetCString(text);
    return string_ != nullptr;
}

bool CCFString::SetLocalized(int number)
{
    Release();
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", number);
    CFStringRef key = CFStringCreateWithCString(digits, kCFStringEncodingASCII);
    CFStringRef value = platform::CopyLocalizedString(key, key);
    bool found = value && CFStringCompare(value, key, kCFCompareNumerically) != kCFCompareEqualTo;
    CFRelease(key);
    if (!found) {
        CFRelease(value);
        return false;
    }
    string_ = value;
    return true;
}

CFIndex CCFString::GetLength() const
{
    return CFStringGetLength(string_);
}

std::string CCFString::ToStdString() const
{
    return ToStdString(GetDefaultTextEncoding());
}

std::string CCFString::ToStdString(CFStringEncoding encoding) const
{
    CFIndex n = GetLength();
    if (n < 1) return std::string();
    // Sized for the encoding's worst case, so multi-byte text never comes back empty.
    std::vector<char> buffer(static_cast<size_t>(CFStringGetMaximumSizeForEncoding(n, encoding)) + 1);
    if (!CFStringGetCString(string_, buffer.data(), static_cast<CFIndex>(buffer.size()), encoding))
        return std::string();
    return std::string(buffer.data());
}

UniChar* CCFString::CopyUniChars() const
{
    if (!string_) return nullptr;
    CFIndex n = GetLength();
    auto* out = new UniChar[static_cast<size_t>(n) + 1];
    CFStringGetCharacters(string_, 0, n, out);
    out[n] = 0;
    return out;
}

std::wstring CCFString::ToWideString() const
{
    std::u16string units = platform::StringUnits(string_);
    return std::wstring(units.begin(), units.end());
}

bool CCFString::GetStr255(StringPtr out) const
{
    if (!string_ || !out) return false;
    return CFStringGetPascalString(string_, out, 256, GetDefaultTextEncoding());
}

bool CCFString::GetHFSUniStr255(HFSUniStr255* out) const
{
    if (!out) return false;
    out->length = 0;
    if (!string_) return false;
    CFIndex n = std::min<CFIndex>(GetLength(), 255);
    CFIndex used = 0;
    CFIndex converted = CFStringGetBytes(string_, 0, n, kCFStringEncodingUnicode, 0, false,
                                         reinterpret_cast<uint8_t*>(out->unicode), 255 * 2, &used);
    out->length = static_cast<uint16_t>(converted);
    return converted > 0;
}
