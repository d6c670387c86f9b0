#include "platform/preferences_store.h"

#include <cstdlib>
#include <sys/stat.h>

#include "platform/files.h"

namespace platform {
namespace {

constexpr std::string_view kSubfolder = "/tavrel/preferences";
constexpr std::string_view kExtension = ".xml";

bool Exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string UserPreferencesFolder()
{
    // The XDG rules ignore a relative value.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config && config[0] == '/' ? std::string(config) : HomeFolder() + "/.config";
    return base + std::string(kSubfolder);
}

std::string SystemPreferencesFolder(std::string_view domain)
{
    const char* dirs = std::getenv("XDG_CONFIG_DIRS");
    std::string list = dirs && *dirs ? dirs : "/etc/xdg";
    std::string first;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string dir = list.substr(start, end - start);
        start = end + 1;
        if (dir.empty() || dir[0] != '/') continue;
        std::string folder = dir + std::string(kSubfolder);
        if (first.empty()) first = folder;
        if (Exists(folder + "/" + std::string(domain) + std::string(kExtension))) return folder;
    }
    return first.empty() ? "/etc/xdg" + std::string(kSubfolder) : first;
}

bool IsUsablePreferencesDomain(std::string_view domain)
{
    return !domain.empty() && domain[0] != '.' && domain.find('/') == std::string_view::npos &&
           domain.find('\0') == std::string_view::npos;
}

bool PreferencesFilePath(std::string_view domain, int scope, std::string& out)
{
    if (!IsUsablePreferencesDomain(domain)) return false;
    std::string folder;
    if (scope == kPreferencesCurrentUserAnyHost)
        folder = UserPreferencesFolder();
    else if (scope == kPreferencesAnyUserCurrentHost)
        folder = SystemPreferencesFolder(domain);
    else
        return false;
    out = folder + "/" + std::string(domain) + std::string(kExtension);
    return true;
}

bool IsPreferencesScopeWritable(int scope)
{
    return scope == kPreferencesCurrentUserAnyHost;
}

}  // namespace platform
