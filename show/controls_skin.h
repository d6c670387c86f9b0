#pragma once
// A playback or mute controls skin: a small SWF movie (extension "dll")
// whose named clip the export copies into the movie, and where and at what
// size that clip is shown.
#include <string>

#include "foundation/path.h"

class CControlsSkin {
public:
    enum Placement { kCustom, kTopLeft, kTopCenter, kTopRight, kBottomLeft, kBottomCenter, kBottomRight };

    CControlsSkin() { Reset(); }

    // Placement bottom_center, corner (0, 0), every size 1, no file.
    void Reset();
    // Takes the skin movie: its name, path and frame size (natural and
    // display). False, and nothing changed, for a file that is not a "dll",
    // cannot be read as SWF, or whose frame is under one pixel either way.
    bool Load(const CPath& file);
    // Finds the skin file of this name in the program's folder of skins
    // ("Controls" or "Mute Controls") and takes its path and natural size,
    // keeping the name, placement and display size, which a project file
    // stores without the path. False when there is no such readable skin.
    bool LocateInFolder(const char* folder);

    void SetFileName(const char* name) { fileName = name ? name : ""; }
    void SetPlacement(int p) { placement = p; }
    void SetX(int v) { x = v; }
    void SetY(int v) { y = v; }
    bool SetWidth(int v)
    {
        width = v;
        return true;
    }
    bool SetHeight(int v)
    {
        height = v;
        return true;
    }

    const CPath& GetPath() const { return path; }
    const std::string& GetFileName() const { return fileName; }
    int GetPlacement() const { return placement; }
    int GetNaturalWidth() const { return naturalWidth; }
    int GetNaturalHeight() const { return naturalHeight; }
    // Display size over natural size.
    double GetScaleX() const { return double(width) / naturalWidth; }
    double GetScaleY() const { return double(height) / naturalHeight; }

    CPath path;
    // The skin's name: its file name without the extension.
    std::string fileName;
    int placement = kBottomCenter;
    // Top-left corner in pixels for the custom placement.
    int x = 0, y = 0;
    // Frame size of the skin movie and the size it is shown at, in pixels;
    // the natural size is never below 1.
    int naturalWidth = 1, naturalHeight = 1;
    int width = 1, height = 1;

private:
    bool ReadFrameSize(const CPath& file, int& w, int& h) const;
};
