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

void PrepareForExport(CEditorSlideShow& show)
{
    show.SetPreview(false);
}

bool ExportShow(CEditorSlideShow& show, const CPath& path, CProgressDialog* progress, std::string* error)
{
    if (show.Export(path, true, progress)) return true;
    *error = show.GetLastErrorText();
    if (error->empty()) *error = "error " + std::to_string(show.GetLastError());
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
