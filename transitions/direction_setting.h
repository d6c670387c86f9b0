#pragma once
// The direction pop-up that many transition kinds share: a label and a
// pop-up of fixed ids, the table of XML words and item texts, and the
// "direction" attribute, whose words are read back case-sensitively.
#include <cstdint>

#include "foundation/xml_reader.h"
#include "foundation/xml_writer.h"
#include "platform/qd_types.h"
#include "platform/toolbox_types.h"
#include "show/xml_io.h"
#include "ui/popup_edit.h"
#include "ui/simple_controls.h"

class CDialogWindow;

struct DirectionRow {
    const char* word;  // written to the project file
    const char* item;  // shown in the pop-up
};

// A word the reader knows and the row it sets.
struct DirectionAlias {
    const char* word;
    int index;
};

struct DirectionTable {
    const DirectionRow* rows;
    int count;
    // The words tried on reading, in order, when the reader's list is not
    // the table's. Null: the table's words in table order.
    const DirectionAlias* readOrder = nullptr;
    int readCount = 0;
};

struct DirectionLayout {
    uint32_t labelId;
    uint32_t popupId;
    const char* label;  // "Direction" or "Direction:", as each kind has it
    short popupWidth = 200;
};

class CDirectionSetting {
public:
    CDirectionSetting(const DirectionTable& table, const DirectionLayout& layout) : table_(table), layout_(layout) {}

    // Label at the area's top-left, 54 wide; the pop-up 8 to its right. Only
    // the pop-up is embedded in parent.
    bool Create(CDialogWindow* window, ControlRef parent, const Rect* area, int direction);
    void Update(int direction);
    // The pop-up's index into *direction; true when it changed it.
    bool Read(int* direction) const;
    // True when id is the pop-up's; its index, when any, becomes the direction.
    bool OnChanged(uint32_t id, int* direction) const;
    void Dispose();

    // The word of the direction, "" outside the table.
    const char* Word(int direction) const;
    // The piece " direction=" and the word (empty outside the table).
    void Write(CXMLOutputFile& out, int direction) const;
    // A present "direction" whose text is one of the words sets the
    // direction; any other text leaves it and is reported.
    void Read(const CElementReader& reader, int* direction) const;

    uint32_t LabelId() const { return layout_.labelId; }
    uint32_t PopupId() const { return layout_.popupId; }

private:
    DirectionTable table_;
    DirectionLayout layout_;
    CStaticText label_;
    mutable CPopupMenu popup_;
};

// A present attribute `name` whose text is one of words[0 .. count) sets
// *field to that word's index; any other text leaves the field and is
// reported. For the kinds' other word-valued attributes ("type").
void ReadWordAttribute(const CElementReader& reader, const char* name, const char* const* words, int count, int* field);
