#pragma once
// The small owning C string used wherever text passes between the toolbox,
// Core Foundation and our own code, with number and time formatting.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/cfstring.h"

class CStr {
public:
    CStr();
    ~CStr();
    CStr(const CStr& other);
    CStr& operator=(const CStr& other);

    // The localized string numbered id; empty when the lookup fails.
    static CStr LoadString(int id);

    bool Assign(const char* text);
    // Converts in the application's default text encoding.
    bool AssignCFString(CFStringRef string);
    // printf-style; false (text unchanged) when formatting fails.
    bool Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool FormatV(const char* format, va_list args);

    size_t GetLength() const;
    char* GetBuffer() { return text_.get(); }
    const char* c_str() const { return text_.get(); }
    size_t GetCapacity() const { return capacity_; }

    bool Equals(const char* text, bool caseSensitive) const;
    long ToInt() const;
    double ToDouble() const;

private:
    // Makes room for capacity bytes; the buffer never shrinks.
    void Reserve(size_t capacity);

    std::unique_ptr<char[]> text_;
    size_t capacity_ = 0;
};

// The text numbered id from the bundle's string table; a missing entry
// yields the number's own digits.
bool GetLocalizedString(CStr& out, int id);

// "%d" into a caller buffer of 256 bytes.
void IntToString(long value, char* buffer);
long StringToLong(const char* text, long* value);
double StringToDouble(const char* text, double* value);

// A time as minutes, seconds and hundredths ("00:01.00", "100:00.00").
void FormatTime(uint32_t milliseconds, char* buffer, size_t capacity);

// The current local date, split into its parts.
class CDate {
public:
    CDate();
    void Update();
    int GetMonth() const { return month_; }
    int GetDay() const { return day_; }
    int GetYear() const { return year_; }
    int GetHour() const { return hour_; }
    int GetMinute() const { return minute_; }
    int GetSecond() const { return second_; }
    double GetAbsoluteTime() const { return absolute_; }

private:
    double absolute_ = 0;
    int month_ = 1, day_ = 1, year_ = 2001, hour_ = 0, minute_ = 0, second_ = 0;
};
