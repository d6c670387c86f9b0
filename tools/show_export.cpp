#include "tools/show_export.h"

#include "media/progress.h"

void RegisterShowKinds()
{
    // EXPORT MISSING: no transition or overlay-effect kinds are linked in yet.
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

bool LoadShowSkin(CEditorSlideShow&, bool, const std::string& file)
{
    // SKIN LOADER MISSING: only the file's presence is checked.
    return CPath(file).Exists() && !CPath(file).IsDirectory();
}
