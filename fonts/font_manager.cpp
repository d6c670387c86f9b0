#include "fonts/font_manager.h"

#include <algorithm>
#include <strings.h>

#include "fonts/font_tags.h"
#include "swf/movie.h"

CSwfTextFont::CSwfTextFont()
{
    SetSize(32);
}

CSwfTextFont::CSwfTextFont(const CSwfTextFont& other) : CFont(other)
{
    color = other.color;
    std::copy(std::begin(other.attributes), std::end(other.attributes), attributes);
}

CSwfTextFont& CSwfTextFont::operator=(const CSwfTextFont& other)
{
    if (this != &other) Assign(other);
    return *this;
}

void CSwfTextFont::Assign(const CSwfTextFont& other)
{
    CFont::Assign(other);
    color = other.color;
    std::copy(std::begin(other.attributes), std::end(other.attributes), attributes);
}

bool CSwfTextFont::Matches(const CSwfTextFont& other, bool compareSize, bool compareColor) const
{
    if (!IsSame(other) || !std::equal(std::begin(attributes), std::end(attributes), other.attributes)) return false;
    if (compareColor && color != other.color) return false;
    return !compareSize || GetSize() == other.GetSize();
}

void CSwfFontManager::Clear()
{
    fonts.clear();
    prepared.clear();
}

void CSwfFontManager::Reset()
{
    for (auto& entry : fonts) entry->embedded = false;
}

CSwfFontEntry* CSwfFontManager::Find(const CSwfTextFont& font) const
{
    const bool compareSize = !(matchOptions & kIgnoreSize);
    for (const auto& entry : fonts)
        if (entry->font.Matches(font, compareSize, true)) return entry.get();
    return nullptr;
}

bool CSwfFontManager::FindFont(const CSwfTextFont& font, const char* text, uint32_t options)
{
    matchOptions = options;
    if (CSwfFontEntry* entry = Find(font)) {
        if (text) entry->characters += text;
        return true;
    }
    auto entry = std::make_unique<CSwfFontEntry>();
    entry->font.Assign(font);
    if (text) entry->characters = text;
    fonts.push_back(std::move(entry));
    return true;
}

bool CSwfFontManager::BuildFontTags(const CSwfMovie& movie, uint16_t& characterIdCounter)
{
    prepared.clear();
    for (auto& entry : fonts) entry->built = false;
    // From version 6 the code table is UTF-16, and players look glyphs up in
    // it by that order.
    const bool unicode = movie.GetVersion() >= 6;
    auto code = [unicode](unsigned char c) { return unicode ? SwfFontCodeToUnicode(c) : uint16_t(c); };

    for (size_t i = 0; i < fonts.size(); ++i) {
        CSwfFontEntry& first = *fonts[i];
        if (first.built) continue;
        std::vector<CSwfFontEntry*> group{&first};
        std::string characters = first.characters;
        first.built = true;
        for (size_t j = i + 1; j < fonts.size(); ++j) {
            CSwfFontEntry& other = *fonts[j];
            if (other.built || !other.font.Matches(first.font, false, false)) continue;
            characters += other.characters;
            other.built = true;
            group.push_back(&other);
        }
        std::sort(characters.begin(), characters.end(),
                  [&](char a, char b) { return code(uint8_t(a)) < code(uint8_t(b)); });
        characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
        const uint16_t id = ++characterIdCounter;
        for (CSwfFontEntry* member : group) {
            member->fontId = id;
            member->characters = characters;
        }
        prepared.push_back(BuildFontTag(first.font, characters, id, appendId));
    }
    return true;
}

uint16_t CSwfFontManager::EmbedFont(const CSwfTextFont& font, CSwfMovie& movie)
{
    CSwfFontEntry* entry = Find(font);
    if (!entry) return 0;
    if (!entry->embedded) {
        // Entries that share a tag find it taken already by the first of them.
        auto it = std::find_if(prepared.begin(), prepared.end(),
                               [&](const auto& tag) { return tag->GetCharacterId() == entry->fontId; });
        if (it != prepared.end()) {
            movie.AddTag(it->release());
            prepared.erase(it);
        }
        entry->embedded = true;
    }
    return entry->fontId;
}

int CSwfFontManager::GetGlyph(uint8_t character, const CSwfTextFont& font) const
{
    for (const auto& entry : fonts) {
        if (strcasecmp(entry->font.GetName(), font.GetName()) != 0 || entry->font.GetStyle() != font.GetStyle())
            continue;
        const size_t at = entry->characters.find(char(character));
        return at == std::string::npos ? -1 : int(at);
    }
    return -1;
}
