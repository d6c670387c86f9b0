#include "foundation/sibling_bundle.h"

#include "foundation/preferences.h"

namespace SiblingBundle {

bool FindLock(CPath& out)
{
    CPreferences prefs;
    if (!prefs.Open("Vaultrix", CPreferences::kScopeCurrentUserAnyHost)) return false;
    char appPath[256];
    if (!prefs.GetString("app_path", appPath, sizeof appPath)) return false;
    CPath::CombineRaw(out, "vtx.bundle", CPath(appPath).GetParent(false));
    return out.Exists();
}

}  // namespace SiblingBundle
