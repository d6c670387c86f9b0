// A text-effect bundle for the caption tests. It calls back into the program
// that loads it, as the real one does. The effect file's name says how its
// build entry behaves: "sprite" writes a sprite and returns its id, "empty"
// writes nothing and returns 0, "backwards" hands an id back, "foreign"
// returns an id it did not take, "shallow" hands a depth back.
#include <cstdint>
#include <cstring>

#include "fonts/font_manager.h"
#include "foundation/sibling_bundle.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "swf/sprite.h"

namespace {

bool Named(const char* path, const char* word)
{
    return path && std::strstr(path, word) != nullptr;
}

uint16_t WriteSprite(CSwfMovie& movie, uint16_t& nextId)
{
    auto* sprite = new CTagDefineSprite;
    sprite->SetCharacterId(++nextId);
    sprite->AddTag(new CTagShowFrame);
    movie.AddTag(sprite);
    return nextId;
}

}  // namespace

extern "C" {

// Registers the effect's glyphs "Lfx" in the default font.
__attribute__((visibility("default"))) int TextEffectCaptionPrepare(const char* importSrc, CSwfFontManager* fonts,
                                                                    int flag)
{
    if (!importSrc || !fonts) return 0;
    CSwfTextFont font;
    fonts->FindFont(font, "Lfx", uint32_t(flag));
    return 1;
}

__attribute__((visibility("default"))) int TextEffectCaptionBuild(const char* importSrc, CCaptionBuildContext* context,
                                                                  CSwfMovie* movie, uint16_t* nextId,
                                                                  uint16_t* nextDepth)
{
    // The context the program promises: an empty text, its font table, a font.
    if (!context || !context->text || *context->text || !context->fonts || !context->font) return 0;
    if (!movie || !nextId || !nextDepth || Named(importSrc, "empty")) return 0;
    const uint16_t id = WriteSprite(*movie, *nextId);
    if (Named(importSrc, "backwards")) *nextId -= 2;
    if (Named(importSrc, "shallow")) *nextDepth -= 1;
    if (Named(importSrc, "foreign")) return id + 7;
    return id;
}
}
