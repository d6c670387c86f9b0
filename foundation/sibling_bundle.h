#pragma once
// The optional sibling products: their code bundles lie beside their
// applications, which record where they are in their own preferences.
#include <cstdint>

#include "foundation/path.h"

class CBundle;
class CFont;
class CSwfFontManager;
class CSwfMovie;

// What the text-effect bundle's caption-build entry receives besides the
// effect file: the caption text (empty: the file holds it), the export's
// font table and a default font.
struct CCaptionBuildContext {
    const char* text;
    CSwfFontManager* fonts;
    CFont* font;
};

// The text-effect bundle's entry points. Prepare registers the fonts and
// glyphs of the effect file in the font table. Build writes one sprite's
// tags into the movie, advances both counters past what it used and returns
// the sprite's character id, 0 when it wrote nothing.
using CaptionPrepareProc = int (*)(const char* importSrc, CSwfFontManager* fonts, int flag);
using CaptionBuildProc = int (*)(const char* importSrc, CCaptionBuildContext* context, CSwfMovie* movie,
                                 uint16_t* nextId, uint16_t* nextDepth);
inline constexpr const char kCaptionPrepareEntry[] = "TextEffectCaptionPrepare";
inline constexpr const char kCaptionBuildEntry[] = "TextEffectCaptionBuild";

namespace SiblingBundle {

// Calls the loaded text-effect bundle's prepare entry; 0 when it has none.
int CallCaptionPrepare(const CBundle& bundle, const char* importSrc, CSwfFontManager* fonts, int flag);
// Calls the loaded text-effect bundle's build entry and returns what it
// returns; 0 when it has none.
int CallCaptionBuild(const CBundle& bundle, const char* importSrc, CCaptionBuildContext* context, CSwfMovie* movie,
                     uint16_t* nextId, uint16_t* nextDepth);

// The SWF-protection bundle "vtx.bundle" in the folder of the application
// that the domain "Vaultrix" names under "app_path". False, out unchanged,
// when the domain or the key is missing; otherwise out is set and the result
// says whether something exists there.
bool FindLock(CPath& out);

// The text-effect bundle "lfx.bundle", installed beside the program as its
// sibling products are: in the folder that holds the program's bundle. out
// is set; the result says whether something exists there.
bool FindTextEffect(CPath& out);

}  // namespace SiblingBundle
