#include "transitions/direction_setting.h"

#include <string>

#include "foundation/str.h"

namespace {

// The attribute's text as the words are compared with it (case and blanks
// matter); false when it is missing.
bool AttributeText(const CElementReader& reader, const char* name, std::string* out)
{
    CXMLNode node;
    CStr text;
    if (!reader.Raw(name, &node) || !node.GetText(text)) return false;
    *out = text.c_str();
    return true;
}

}  // namespace

bool CDirectionSetting::Create(CDialogWindow* window, ControlRef parent, const Rect* area, int direction)
{
    if (!area) return false;
    const short v = area->top, h = area->left;
    const Rect labelBounds{v, h, static_cast<short>(v + 16), static_cast<short>(h + 54)};
    const short popupLeft = static_cast<short>(h + 54 + 8);
    const Rect popupBounds{v, popupLeft, static_cast<short>(v + 16), static_cast<short>(popupLeft + layout_.popupWidth)};
    label_.Create(window, layout_.labelId, labelBounds, layout_.label);
    popup_.Create(window, layout_.popupId, popupBounds, "");
    if (parent) popup_.EmbedIn(parent);
    for (int i = 0; i < table_.count; ++i) popup_.AddItem(table_.rows[i].item);
    Update(direction);
    label_.Show(true);
    popup_.Show(true);
    return true;
}

void CDirectionSetting::Update(int direction)
{
    if (popup_.GetControlRef()) popup_.SetValue(direction);
}

bool CDirectionSetting::Read(int* direction) const
{
    if (!direction || !popup_.GetControlRef()) return false;
    const int v = popup_.GetValue(nullptr, 0);
    if (v < 0 || v == *direction) return false;
    *direction = v;
    return true;
}

bool CDirectionSetting::OnChanged(uint32_t id, int* direction) const
{
    if (id != layout_.popupId) return false;
    const int v = popup_.GetControlRef() ? popup_.GetValue(nullptr, 0) : -1;
    if (v >= 0 && direction) *direction = v;
    return true;
}

void CDirectionSetting::Dispose()
{
    label_.Dispose();
    popup_.Dispose();
}

const char* CDirectionSetting::Word(int direction) const
{
    return direction >= 0 && direction < table_.count ? table_.rows[direction].word : "";
}

void CDirectionSetting::Write(CXMLOutputFile& out, int direction) const
{
    out.Write("\" direction=\"").Write(Word(direction));
}

void CDirectionSetting::Read(const CElementReader& reader, int* direction) const
{
    std::string text;
    if (!direction || !AttributeText(reader, "direction", &text)) return;
    const bool aliases = table_.readOrder != nullptr;
    for (int i = 0; i < (aliases ? table_.readCount : table_.count); ++i)
        if (text == (aliases ? table_.readOrder[i].word : table_.rows[i].word)) {
            *direction = aliases ? table_.readOrder[i].index : i;
            return;
        }
    reader.UnknownWord("direction", text, Word(*direction));
}

void ReadWordAttribute(const CElementReader& reader, const char* name, const char* const* words, int count, int* field)
{
    std::string text;
    if (!field || !AttributeText(reader, name, &text)) return;
    for (int i = 0; i < count; ++i)
        if (text == words[i]) {
            *field = i;
            return;
        }
    reader.UnknownWord(name, text, *field >= 0 && *field < count ? words[*field] : "");
}
