#pragma once
// What a user of a template movie does with whatever the reader made of it:
// id scans, the tag index, importing every clip with renumbering, a look-up
// by name and writing every tag. Shared by the robustness tests and the fuzzer.
#include <cstdint>

#include "swf/reader.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/template_import.h"

inline void UseTemplateTags(CSwfReader& reader)
{
    CSwfTagList& tags = reader.GetTags(nullptr);
    uint16_t maxId = 0, maxDepth = 0;
    GetMaxIds(tags, maxId, maxDepth);
    CSwfTagIndex index;
    index.Build(tags);
    for (CSwfTag* sprite : index.sprites) {
        CSwfTemplate import;
        import.Load(dynamic_cast<CTagDefineSprite*>(sprite), tags);
        CSwfTagList out;
        import.CopyCharacters(out, true);
        OffsetAllIds(out, 3, 0, 0);
    }
    FindPlacementByName("clip", tags);
    CSwfStream stream(reader.GetMovieVersion());
    for (CSwfTag* tag : tags) tag->Write(stream);
}
