#pragma once
// The program's export command, as the editor's would run it: the kinds
// registered, the generators seeded, the show readied and written as one
// movie, the controls skins loaded; and what it reports back.
#include <string>

#include "foundation/path.h"
#include "show/slide_show.h"

class CProgressDialog;

// Fills the process-wide registries (transitions, overlay effects) with
// every kind linked into the program.
void RegisterShowKinds();

// Seeds the generators that a compile's random choices draw from (the
// effects' delays and limits, Checker's random orders) and QuickDraw's, as
// the editor does at start-up. The program seeds with StartupSeed
// (platform/toolbox_services.h); a test that wants the same movie twice seeds
// with a fixed value.
void SeedRandomGenerators(unsigned seed);

// Readies the document as the editor's export command does before it
// exports (preview off).
void PrepareForExport(CEditorSlideShow& show);

// Writes the movie to path; false with the reason in *error.
bool ExportShow(CEditorSlideShow& show, const CPath& path, CProgressDialog* progress, std::string* error);

// Loads the skin named name from folder/<name>.dll into the show's controls
// (mute false) or mute skin; false when there is no such skin.
bool LoadShowSkin(CEditorSlideShow& show, bool mute, const std::string& file);
