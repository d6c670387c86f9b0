#include "tools/export_command.h"

#include <cstdlib>

#include "media/progress.h"
#include "platform/toolbox_services.h"
#include "show/controls_skin.h"
#include "show/overlay_effect.h"
#include "show/transition.h"

void RegisterShowKinds()
{
    // One registry of transitions for the program's life, filled once; the
    // project reader finds every kind in it.
    static CTransitionList transitions;
    if (!transitions.GetCount()) transitions.CreateAll();
    // The same for the effects.
    static COverlayEffectList effects;
    if (!effects.GetCount()) effects.CreateAll();
}

void SeedRandomGenerators(unsigned seed)
{
    SetQDGlobalsRandomSeed(static_cast<long>(seed));
    std::srand(seed);
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
