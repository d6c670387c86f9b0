#pragma once
// Stand-in for the main application bundle: a folder laid out as
// <bundle>/Contents/MacOS/<program> and <bundle>/Contents/Resources/...,
// with the localized string table in <lang>.lproj/Localizable.strings.
#include <map>
#include <string>

#include "platform/cfstring.h"

namespace platform {

// The bundle folder, without a trailing "/": $TAVREL_BUNDLE when set,
// otherwise the folder above Contents/MacOS when the running program sits
// there, otherwise the running program's own folder.
std::string MainBundlePath();
// <bundle>/Contents/Resources
std::string MainBundleResourcesPath();

// Parses the text of a strings table: lines of "key" = "value"; with
// C-style comments and the escapes \" \\ \n \r \t. False on a syntax error.
bool ParseStringsTable(const std::string& text, std::map<std::string, std::string>& out);

// The localized text for key from the main bundle's default table (UTF-8
// keys and values), or value when the table has no such key; the caller
// releases the result. Null only when key is null.
CFStringRef CopyLocalizedString(CFStringRef key, CFStringRef value);

}  // namespace platform
