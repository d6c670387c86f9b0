#pragma once
// Owner of one Core Foundation string, with the conversions every window
// title, control text, preference key and file name passes through.
#include <cstdint>
#include <string>

#include "platform/cfstring.h"

// Length-prefixed toolbox string (length byte, then up to 255 bytes).
using Str255 = unsigned char[256];
using StringPtr = unsigned char*;

// A file name of up to 255 UTF-16 units.
struct HFSUniStr255 {
    uint16_t length = 0;
    UniChar unicode[255] = {};
};

// The application's text encoding for every conversion that names none.
CFStringEncoding GetDefaultTextEncoding();

// Adds percent % of 127 (floored) to each of the three low bytes of *rgb,
// clamped to 0..255; the top byte becomes 0.
void AdjustColorBrightness(uint32_t* rgb, int percent);

class CCFString {
public:
    CCFString() = default;
    explicit CCFString(const char* text);
    // The localized string numbered number (null when the table has none).
    explicit CCFString(int number);
    ~CCFString();
    CCFString(const CCFString&) = delete;
    CCFString& operator=(const CCFString&) = delete;

    // A new string from text in the default encoding; the caller releases it.
    static CFStringRef Create(const char* text);
    // Zero-terminated text of string in the default encoding.
    static bool GetCString(CFStringRef string, char* buffer, CFIndex size);

    void SetCString(const char* text);
    // Takes ownership of string without retaining it.
    void Attach(CFStringRef string);
    void Release();
    bool Reset(const char* text);
    bool SetLocalized(int number);

    CFStringRef Get() const { return string_; }
    operator CFStringRef() const { return string_; }
    bool IsNull() const { return string_ == nullptr; }

    CFIndex GetLength() const;
    std::string ToStdString() const;
    std::string ToStdString(CFStringEncoding encoding) const;
    // NUL-terminated UTF-16 copy (delete[] by the caller), null for a null string.
    UniChar* CopyUniChars() const;
    std::wstring ToWideString() const;
    bool GetStr255(StringPtr out) const;
    bool GetHFSUniStr255(HFSUniStr255* out) const;

private:
    CFStringRef string_ = nullptr;
};
