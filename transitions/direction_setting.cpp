#include "transitions/direction_setting.h"

#include <cstring>

#include "foundation/str.h"

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

void CDirectionSetting::Read(const CXMLAttributes& attributes, int* direction) const
{
    CXMLNode node;
    if (!direction || !attributes.Get("direction", node)) return;
    CStr text;
    if (!node.GetText(text)) return;
    const char* value = text.c_str();
    if (!table_.readOrder) {
        for (int i = 0; i < table_.count; ++i)
            if (std::strcmp(table_.rows[i].word, value) == 0) {
                *direction = i;
                return;
            }
        return;
    }
    for (int i = 0; i < table_.readCount; ++i)
        if (std::strcmp(table_.readOrder[i].word, value) == 0) {
            *direction = table_.readOrder[i].index;
            return;
        }
}

void ReadWordAttribute(const CXMLAttributes& attributes, const char* name, const char* const* words, int count,
                       int* field)
{
    CXMLNode node;
    CStr text;
    if (!field || !attributes.Get(name, node) || !node.GetText(text)) return;
    for (int i = 0; i < count; ++i)
        if (std::strcmp(words[i], text.c_str()) == 0) {
            *field = i;
            return;
        }
}
