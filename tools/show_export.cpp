#include "tools/show_export.h"

#include "media/progress.h"
#include "show/controls_skin.h"
#include "show/overlay_effect.h"
#include "show/transition.h"

void RegisterShowKinds()
{
    // The registries start with the cut ("None") and the empty overlay;
    // no further kinds are linked into the program yet.
    CTransitionList::Get();
    COverlayEffectList::Get();
}

void PrepareForExport(CEditorSlideShow&)
{
    // EXPORT MISSING: the document has no preview flag yet.
}

bool ExportShow(CEditorSlideShow&, const CPath&, CProgressDialog*, std::string* error)
{
    // EXPORT MISSING: CEditorSlideShow::Export is not in the show library yet.
    *error = "this build has no show export yet";
    return false;
}

bool LoadShowSkin(CEditorSlideShow& show, bool mute, const std::string& file)
{
    CControlsSkin& skin = mute ? show.GetMuteSkin() : show.GetControlsSkin();
    CControlsSkin loaded = skin;
    if (!loaded.Load(CPath(file))) return false;
    // The project keeps the name, placement and display size; the file
    // gives the path and natural size. A display size the project left at
    // its reset value shows the skin at its natural size.
    skin.path = loaded.path;
    skin.naturalWidth = loaded.naturalWidth;
    skin.naturalHeight = loaded.naturalHeight;
    if (skin.width == 1 && skin.height == 1) {
        skin.width = loaded.naturalWidth;
        skin.height = loaded.naturalHeight;
    }
    return true;
}
