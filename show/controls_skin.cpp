#include "show/controls_skin.h"

#include <strings.h>

#include "fonts/text_layout.h"

void CControlsSkin::Reset()
{
    path = CPath();
    fileName.clear();
    placement = kBottomCenter;
    x = y = 0;
    naturalWidth = naturalHeight = width = height = 1;
}

bool CControlsSkin::ReadFrameSize(const CPath& file, int& w, int& h) const
{
    if (strcasecmp(file.GetExtension().c_str(), "dll") != 0) return false;
    int twipsW = 0, twipsH = 0;
    if (!GetSwfMovieInfo(file, &twipsW, &twipsH, nullptr, nullptr, nullptr, nullptr)) return false;
    // A frame under a pixel has no natural size to scale from.
    w = twipsW / 20;
    h = twipsH / 20;
    return w >= 1 && h >= 1;
}

bool CControlsSkin::Load(const CPath& file)
{
    int w = 0, h = 0;
    if (!ReadFrameSize(file, w, h)) return false;
    fileName = file.GetFileName(true);
    path = file;
    naturalWidth = width = w;
    naturalHeight = height = h;
    return true;
}

bool CControlsSkin::LocateInFolder(const char* folder)
{
    if (fileName.empty() || !folder) return false;
    CPath file;
    if (!GetBundleResourcePath(file, std::string(folder) + "/" + fileName + ".dll")) return false;
    int w = 0, h = 0;
    if (!ReadFrameSize(file, w, h)) return false;
    path = file;
    naturalWidth = w;
    naturalHeight = h;
    return true;
}
