#include "foundation/sibling_bundle.h"

#include "foundation/code_bundle.h"
#include "foundation/preferences.h"
#include "platform/bundle.h"

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

bool FindTextEffect(CPath& out)
{
    CPath::CombineRaw(out, "lfx.bundle", CPath(platform::MainBundlePath()).GetParent(false));
    return out.Exists();
}

int CallCaptionPrepare(const CBundle& bundle, const char* importSrc, CSwfFontManager* fonts, int flag)
{
    const auto entry = reinterpret_cast<CaptionPrepareProc>(bundle.GetFunction(kCaptionPrepareEntry));
    return entry ? entry(importSrc, fonts, flag) : 0;
}

int CallCaptionBuild(const CBundle& bundle, const char* importSrc, CCaptionBuildContext* context, CSwfMovie* movie,
                     uint16_t* nextId, uint16_t* nextDepth)
{
    const auto entry = reinterpret_cast<CaptionBuildProc>(bundle.GetFunction(kCaptionBuildEntry));
    return entry ? entry(importSrc, context, movie, nextId, nextDepth) : 0;
}

}  // namespace SiblingBundle
