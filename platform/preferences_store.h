#pragma once
// Where the preferences store keeps its domains. Each domain is one file
// named after it: per user under the XDG configuration folder, for all users
// under the system configuration folders, which the store only reads.
#include <string>
#include <string_view>

namespace platform {

enum PreferencesScope {
    kPreferencesAnyUserCurrentHost = 0,  // system-wide, read-only here
    kPreferencesCurrentUserAnyHost = 1,  // the user's own
};

// The domain of the running application, used when no id is given.
inline constexpr const char* kCurrentApplicationDomain = "Tavrel";

// $XDG_CONFIG_HOME/tavrel/preferences (~/.config when unset or relative).
std::string UserPreferencesFolder();
// <dir>/tavrel/preferences for each of $XDG_CONFIG_DIRS (/etc/xdg when
// unset), most important first.
std::string SystemPreferencesFolder(std::string_view domain);

// A domain name can become a file name: not empty, no "/" or zero byte,
// not "." or "..", not hidden (our temporary files begin with ".").
bool IsUsablePreferencesDomain(std::string_view domain);

// The file of domain in scope; false for an unknown scope or an unusable
// name. For the system scope this is the first folder that has the domain,
// else the first folder.
bool PreferencesFilePath(std::string_view domain, int scope, std::string& out);

// Whether the store may write the domains of scope.
bool IsPreferencesScopeWritable(int scope);

}  // namespace platform
