#include "foundation/sibling_bundle.h"

#include <sys/stat.h>

#include "foundation/preferences.h"

namespace SiblingBundle {

bool FindLock(std::string& out)
{
    CPreferences prefs;
    if (!prefs.Open("Vaultrix", CPreferences::kScopeCurrentUserAnyHost)) return false;
    char appPath[256];
    if (!prefs.GetString("app_path", appPath, sizeof appPath)) return false;
    std::string folder = appPath;
    size_t slash = folder.rfind('/', folder.size() > 1 ? folder.size() - 2 : 0);
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    out = folder + "vtx.bundle";
    struct stat st;
    return ::stat(out.c_str(), &st) == 0;
}

}  // namespace SiblingBundle
