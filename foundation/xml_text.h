#pragma once
// The entity rules shared by the XML writer and reader. Text is handled as
// bytes (Mac Roman in project files): every byte from 0x80 becomes a numeric
// reference of its own, so the files stay 7-bit whatever the text encoding.
#include <string>
#include <string_view>

namespace xmltext {

// Appends text to out with markup characters, line breaks and every byte
// from 0x80 written as entities.
void AppendEscaped(std::string& out, std::string_view text);
std::string Escape(std::string_view text);

// Undoes Escape: the five named entities and "&#x" hex ";" references.
// Anything else, including references that would give a zero byte or that
// lack their ";", is copied as it stands.
std::string Unescape(std::string_view text);

// Numbers in XML text use the classic "C" conventions whatever the process
// locale: a point as decimal separator, no grouping.
// General notation with 6 significant digits ("12", "0.5", "1.5e+06").
std::string FormatDouble(double value);
// Leading blanks skipped, digits read as far as they go, 0 when none.
double ParseDouble(const char* text);
// Decimal with optional sign, as far as the digits go; saturates at the
// limits of a long (64 bits), so 32-bit unsigned values come back whole.
long ParseLong(const char* text);
// How much of text ParseLong (integer) or ParseDouble reads: all of it
// (blanks around the number aside), a number with other text after it, or
// no number (the 0 they give for none).
enum class NumberFit { kWhole, kPartial, kNone };
NumberFit FitNumber(const char* text, bool integer);

}  // namespace xmltext
