#pragma once
// What a user of a template movie does with whatever the reader made of it:
// id scans, the tag index, importing every clip with renumbering, a look-up
// by name and writing every tag. Shared by the robustness tests and the fuzzer.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "swf/buttons.h"
#include "swf/display_tags.h"
#include "swf/reader.h"
#include "swf/sprite.h"
#include "swf/stream.h"
#include "swf/template_import.h"

inline uint16_t IdOf(CSwfTag* tag)
{
    uint16_t id = 0;
    SwfGetFirstId(tag, id);
    return id;
}

// The first id the list uses before the tag defining it, as "id N in code C"
// (or defines twice), or "" when every character comes once, before its use.
inline std::string UseBeforeDefinition(const CSwfTagList& out)
{
    std::set<uint16_t> inList, defined;
    for (CSwfTag* tag : out) {
        uint16_t id = 0;
        if (SwfIsDefiningCode(tag->GetTagCode()) && SwfGetFirstId(tag, id)) inList.insert(id);
    }
    for (CSwfTag* tag : out) {
        std::vector<uint16_t> used;
        if (auto* sprite = dynamic_cast<CTagDefineSprite*>(tag))
            for (CSwfTag* nested : sprite->tags) {
                if (auto* place2 = dynamic_cast<CTagPlaceObject2*>(nested)) {
                    if (place2->hasCharacter) used.push_back(place2->characterId);
                } else if (auto* place = dynamic_cast<CTagPlaceObject*>(nested)) {
                    used.push_back(place->characterId);
                }
            }
        if (auto* button = dynamic_cast<CTagDefineButton*>(tag))
            for (const auto& record : button->records) used.push_back(record->characterId);
        for (uint16_t id : used)
            if (inList.count(id) && !defined.count(id))
                return "id " + std::to_string(id) + " in code " + std::to_string(tag->GetTagCode());
        uint16_t id = 0;
        if (SwfIsDefiningCode(tag->GetTagCode()) && SwfGetFirstId(tag, id) && !defined.insert(id).second)
            return "id " + std::to_string(id) + " defined twice";
    }
    return "";
}

// Imports every clip (maxImports at most, which keeps a fuzzer's run
// linear); returns the import faults met: refusals and uses before definition.
inline std::vector<std::string> UseTemplateTags(CSwfReader& reader, size_t maxImports = SIZE_MAX)
{
    std::vector<std::string> faults;
    CSwfTagList& tags = reader.GetTags(nullptr);
    uint16_t maxId = 0, maxDepth = 0;
    GetMaxIds(tags, maxId, maxDepth);
    CSwfTagIndex index;
    index.Build(tags);
    // Every import sees the template as read; the renumbering comes after.
    std::vector<CSwfTagList> imports;
    for (CSwfTag* sprite : index.sprites) {
        if (imports.size() == maxImports) break;
        CSwfTemplate import;
        if (!import.Load(dynamic_cast<CTagDefineSprite*>(sprite), tags)) faults.push_back(import.error);
        imports.emplace_back();
        import.CopyCharacters(imports.back(), true);
        const std::string fault = UseBeforeDefinition(imports.back());
        if (!fault.empty()) faults.push_back("clip " + std::to_string(IdOf(sprite)) + " writes " + fault);
    }
    for (const CSwfTagList& out : imports) OffsetAllIds(out, 3, 0, 0);
    FindPlacementByName("clip", tags);
    CSwfStream stream(reader.GetMovieVersion());
    for (CSwfTag* tag : tags) tag->Write(stream);
    return faults;
}
