#include "foundation/str.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/cfstring.h"
#include "platform/bundle.h"
#include "platform/cfdate.h"

CStr::CStr()
{
    Reserve(1);
    text_[0] = 0;
}

CStr::~CStr() = default;

CStr::CStr(const CStr& other) : CStr()
{
    Assign(other.c_str());
}

CStr& CStr::operator=(const CStr& other)
{
    if (this != &other) Assign(other.c_str());
    return *this;
}

void CStr::Reserve(size_t capacity)
{
    if (capacity <= capacity_) return;
    auto grown = std::make_unique<char[]>(capacity);
    if (text_) std::memcpy(grown.get(), text_.get(), capacity_);
    text_ = std::move(grown);
    capacity_ = capacity;
}

CStr CStr::LoadString(int id)
{
    CStr s;
    if (!GetLocalizedString(s, id)) s.Assign("");
    return s;
}

bool CStr::Assign(const char* text)
{
    if (!text) return false;
    size_t n = std::strlen(text);
    if (text >= text_.get() && text < text_.get() + capacity_) {
        std::memmove(text_.get(), text, n + 1);  // a part of our own text
        return true;
    }
    Reserve(n + 1);
    std::memcpy(text_.get(), text, n + 1);
    return true;
}

bool CStr::AssignCFString(CFStringRef string)
{
    if (!string) return false;
    CFIndex n = CFStringGetLength(string);
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    bool ok = CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()), GetDefaultTextEncoding());
    if (!ok) {
        // Characters of more than one byte need up to three bytes each.
        buffer.assign(3 * static_cast<size_t>(n) + 1, 0);
        ok = CFStringGetCString(string, buffer.data(), static_cast<CFIndex>(buffer.size()), GetDefaultTextEncoding());
    }
    Assign(ok ? buffer.data() : "");
    return ok;
}

bool CStr::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = FormatV(format, args);
    va_end(args);
    return ok;
}

bool CStr::FormatV(const char* format, va_list args)
{
    if (!format) return false;
    std::vector<char> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);  // every attempt consumes its own copy
        int n = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (n < 0) return false;
        if (static_cast<size_t>(n) < buffer.size()) break;
        buffer.resize(buffer.size() * 2 > static_cast<size_t>(n) ? buffer.size() * 2 : static_cast<size_t>(n) + 1);
    }
    return Assign(buffer.data());
}

size_t CStr::GetLength() const
{
    return std::strlen(text_.get());
}

bool CStr::Equals(const char* text, bool caseSensitive) const
{
    if (!text) return false;
    return caseSensitive ? std::strcmp(text_.get(), text) == 0 : strcasecmp(text_.get(), text) == 0;
}

long CStr::ToInt() const
{
    return std::atol(text_.get());
}

double CStr::ToDouble() const
{
    return std::strtod(text_.get(), nullptr);
}

bool GetLocalizedString(CStr& out, int id)
{
    char key[16];
    std::snprintf(key, sizeof key, "%d", id);
    CFStringRef keyString = CFStringCreateWithCString(key, kCFStringEncodingASCII);
    if (!keyString) return false;
    CFStringRef value = platform::CopyLocalizedString(keyString, keyString);
    CFRelease(keyString);
    if (!value) return false;
    bool ok = out.AssignCFString(value);
    CFRelease(value);
    return ok;
}

void IntToString(long value, char* buffer)
{
    if (buffer) std::snprintf(buffer, 256, "%ld", value);
}

long StringToLong(const char* text, long* value)
{
    long v = text ? std::atol(text) : 0;
    if (value) *value = v;
    return v;
}

double StringToDouble(const char* text, double* value)
{
    double v = text ? std::strtod(text, nullptr) : 0.0;
    if (value) *value = v;
    return v;
}

void FormatTime(uint32_t ms, char* buffer, size_t capacity)
{
    if (!buffer || capacity == 0) return;
    unsigned hundredths = (ms % 1000) / 10;
    if (ms < 60000) {
        std::snprintf(buffer, capacity, "00:%02u.%02u", ms / 1000, hundredths);
    } else {
        unsigned minutes = ms / 60000;
        std::snprintf(buffer, capacity, "%02u:%02u.%02u", minutes, ms / 1000 - 60 * minutes, hundredths);
    }
}

CDate::CDate()
{
    Update();
}

void CDate::Update()
{
    absolute_ = platform::AbsoluteTimeGetCurrent();
    platform::GregorianDate d = platform::AbsoluteTimeGetGregorianDate(absolute_);
    month_ = d.month;
    day_ = d.day;
    year_ = d.year;
    hour_ = d.hour;
    minute_ = d.minute;
    second_ = static_cast<int>(d.second);
}
