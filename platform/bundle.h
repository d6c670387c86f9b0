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

// The path of a resource file of the main bundle, as a bundle finds it:
// Contents/Resources/name, else in the folder of the preferred language
// (<lang>.lproj), else in en.lproj; "" when there is none. Names that climb
// out of the folder ("..") or are absolute find nothing.
std::string FindBundleResource(const std::string& name);

// Parses the text of a strings table: lines of "key" = "value"; with
// C-style comments and the escapes \" \\ \n \r \t. False on a syntax error.
bool ParseStringsTable(const std::string& text, std::map<std::string, std::string>& out);

// The localized text for key from the main bundle's default table (UTF-8
// keys and values), or value when the table has no such key; the caller
// releases the result. Null only when key is null.
CFStringRef CopyLocalizedString(CFStringRef key, CFStringRef value);

}  // namespace platform
