#include "swf/buttons.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

namespace {

// A button's action list in its bare form: the actions and the end byte. An
// empty list still writes its end byte, so the list a reader finds there is
// the empty one and not whatever follows.
void WriteBareList(CSwfStream& stream, CTagDoAction* list)
{
    if (list && !list->actions.empty())
        list->WriteActions(stream, false);
    else
        stream.WriteU8(0);
}

void WriteRecordHead(CSwfStream& stream, const CSwfButtonRecord& record)
{
    stream.WriteU8(record.flags);
    stream.WriteU16(record.characterId);
    stream.WriteU16(record.depth);
    stream.FlushBits();
    if (record.matrix) {
        record.matrix->Write(stream);
    } else {
        CSwfMatrix identity;
        identity.Write(stream);
    }
    stream.FlushBits();
}

// Reads the record fields after the flags byte, up to and including the matrix.
std::unique_ptr<CSwfButtonRecord> ParseRecordHead(CSwfReader& reader, uint8_t flags)
{
    auto record = std::make_unique<CSwfButtonRecord>();
    record->flags = flags;
    record->characterId = reader.ReadU16();
    record->depth = reader.ReadU16();
    reader.AlignToByte();
    record->matrix = std::make_unique<CSwfMatrix>();
    record->matrix->Parse(reader);
    return record;
}

// Reads a FILTERLIST as raw bytes; the filters are kept, not interpreted.
void ReadFilterList(CSwfReader& reader, std::vector<uint8_t>& out)
{
    const uint8_t count = reader.ReadU8();
    out.assign(1, count);
    for (int i = 0; i < count && reader.GetRemaining() > 0; ++i) {
        const uint8_t id = reader.ReadU8();
        out.push_back(id);
        uint64_t size = 0;
        switch (id) {
        case 0: size = 23; break;  // drop shadow
        case 1: size = 9; break;   // blur
        case 2: size = 15; break;  // glow
        case 3: size = 27; break;  // bevel
        case 6: size = 80; break;  // colour matrix
        case 4:                    // gradient glow
        case 7: {                  // gradient bevel
            const uint8_t colours = reader.ReadU8();
            out.push_back(colours);
            size = 5ull * colours + 19;
            break;
        }
        case 5: {  // convolution
            const uint8_t x = reader.ReadU8(), y = reader.ReadU8();
            out.insert(out.end(), {x, y});
            size = 8 + 4ull * x * y + 5;
            break;
        }
        default: return;  // unknown filter: nothing after it can be placed
        }
        SwfReadBytes(reader, size, out);
    }
}

// The end of the tag body being parsed; without a tag length, the data's end.
uint64_t BodyEnd(const CSwfReader& reader)
{
    return reader.GetTagLength() ? uint64_t(reader.GetPosition()) + reader.GetTagLength() : UINT64_MAX;
}

bool InsideBody(CSwfReader& reader, uint64_t bodyEnd)
{
    return reader.GetRemaining() > 0 && reader.GetPosition() < bodyEnd;
}

void WriteU16Checked(CSwfStream& stream, uint64_t value, const char* what)
{
    if (value > 0xFFFF) stream.Fail(what);
    stream.WriteU16(static_cast<uint16_t>(std::min<uint64_t>(value, 0xFFFF)));
}

}  // namespace

// --- CTagDefineButton ---

void CTagDefineButton::AddRecord(CSwfButtonRecord* record)
{
    if (record) records.emplace_back(record);
}

void CTagDefineButton::AddActions(CTagDoAction* actionList)
{
    if (actionList) actions.emplace_back(actionList);
}

void CTagDefineButton::Clear()
{
    actions.clear();
    records.clear();
}

int CTagDefineButton::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    for (const auto& record : records) WriteRecordHead(body, *record);
    body.WriteU8(0);
    // The format has exactly one list here, always with its end byte.
    if (actions.empty()) WriteBareList(body, nullptr);
    for (const auto& list : actions) WriteBareList(body, list.get());
    return WriteWithBody(stream, body);
}

std::unique_ptr<CTagDoAction> CTagDefineButton::ParseActionList(CSwfReader& reader, uint64_t bodyEnd)
{
    auto list = std::make_unique<CTagDoAction>();
    list->recordTagEnd = false;
    list->SetBranchTracking(false, true);
    // The list's own parse is bounded by the reader's tag length: lend it the
    // rest of the button body for the duration.
    const uint32_t savedLength = reader.GetTagLength();
    const uint64_t left = bodyEnd == UINT64_MAX ? 0 : bodyEnd - std::min<uint64_t>(bodyEnd, reader.GetPosition());
    reader.SetTagLength(static_cast<uint32_t>(std::min<uint64_t>(left, UINT32_MAX)));
    const int consumed = bodyEnd == UINT64_MAX || left > 0 ? list->Parse(reader) : 0;
    reader.SetTagLength(savedLength);
    list->SetBranchTracking(false, true);
    return consumed > 0 ? std::move(list) : nullptr;
}

int CTagDefineButton::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t bodyEnd = BodyEnd(reader);
    Clear();
    characterId = reader.ReadU16();
    while (InsideBody(reader, bodyEnd)) {
        const uint8_t flags = reader.ReadU8();
        if (flags == 0) break;
        records.push_back(ParseRecordHead(reader, flags));
    }
    reader.AlignToByte();
    if (auto list = ParseActionList(reader, bodyEnd)) actions.push_back(std::move(list));
    return SwfConsumed(reader, start);
}

void CTagDefineButton::OffsetIds(int idDelta, int depthDelta, int frameDelta)
{
    characterId = SwfOffsetId(characterId, idDelta);
    for (auto& record : records) {
        record->characterId = SwfOffsetId(record->characterId, idDelta);
        record->depth = SwfOffsetId(record->depth, depthDelta);
    }
    if (frameDelta == 0) return;
    for (auto& list : actions) list->OffsetIds(idDelta, depthDelta, frameDelta);
}

// --- CTagDefineButton2 ---

bool CTagDefineButton2::AddCondAction(uint16_t condition, CTagDoAction* actionList)
{
    conditions.push_back(condition);
    AddActions(actionList);
    return true;
}

void CTagDefineButton2::ClearCondActions()
{
    actions.clear();
    conditions.clear();
}

void CTagDefineButton2::Clear()
{
    ClearCondActions();
    trackAsMenu = 0;
}

int CTagDefineButton2::Write(CSwfStream& stream)
{
    CSwfStream recordsPart(4);
    for (const auto& record : records) {
        WriteRecordHead(recordsPart, *record);
        if (record->cxform) {
            record->cxform->Write(recordsPart);
        } else {
            CSwfCxformWithAlpha unchanged;
            unchanged.Write(recordsPart);
        }
        recordsPart.FlushBits();
        if (record->flags & swf_button_state::kHasFilterList) {
            if (record->filterList.empty())
                recordsPart.WriteU8(0);
            else
                recordsPart.AppendBytes(record->filterList);
        }
        if (record->flags & swf_button_state::kHasBlendMode) recordsPart.WriteU8(record->blendMode);
    }
    recordsPart.WriteU8(0);

    CSwfStream body(4);
    body.WriteU16(characterId);
    body.WriteU8(trackAsMenu);
    WriteU16Checked(body, actions.empty() ? 0 : uint64_t(recordsPart.GetSize()) + 2,
                    "button records too long for the action offset");
    body.AppendStream(recordsPart);
    for (size_t i = 0; i < actions.size(); ++i) {
        CSwfStream list(4);
        WriteBareList(list, actions[i].get());
        const bool last = i + 1 == actions.size();
        WriteU16Checked(body, last ? 0 : uint64_t(list.GetSize()) + 4, "button action list too long");
        body.WriteU16(i < conditions.size() ? conditions[i] : 0);
        body.AppendStream(list);
    }
    return WriteWithBody(stream, body);
}

int CTagDefineButton2::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint64_t bodyEnd = BodyEnd(reader);
    Clear();
    records.clear();
    characterId = reader.ReadU16();
    trackAsMenu = reader.ReadU8();
    const uint16_t actionOffset = reader.ReadU16();
    while (InsideBody(reader, bodyEnd)) {
        const uint8_t flags = reader.ReadU8();
        if (flags == 0) break;
        auto record = ParseRecordHead(reader, flags);
        reader.AlignToByte();
        record->cxform = std::make_unique<CSwfCxformWithAlpha>();
        record->cxform->Parse(reader);
        reader.AlignToByte();
        if (flags & swf_button_state::kHasFilterList) ReadFilterList(reader, record->filterList);
        if (flags & swf_button_state::kHasBlendMode) record->blendMode = reader.ReadU8();
        records.push_back(std::move(record));
    }
    if (actionOffset == 0) return SwfConsumed(reader, start);
    while (InsideBody(reader, bodyEnd)) {
        const uint32_t listStart = reader.GetPosition();
        const uint16_t size = reader.ReadU16();
        conditions.push_back(reader.ReadU16());
        auto list = ParseActionList(reader, bodyEnd);
        actions.push_back(list ? std::move(list) : std::make_unique<CTagDoAction>());
        if (size == 0) break;
        // The declared size places the next list, whatever this one read.
        const uint64_t next = uint64_t(listStart) + size;
        const uint64_t dataEnd = uint64_t(reader.GetPosition()) + reader.GetRemaining();
        if (next > bodyEnd || next > dataEnd) break;
        reader.Seek(static_cast<uint32_t>(next));
    }
    return SwfConsumed(reader, start);
}

// --- CTagDefineButtonCxform ---

int CTagDefineButtonCxform::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    cxform.Write(body);
    body.FlushBits();
    return WriteWithBody(stream, body);
}

int CTagDefineButtonCxform::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    characterId = reader.ReadU16();
    cxform.Parse(reader);
    reader.AlignToByte();
    return SwfConsumed(reader, start);
}

void CTagDefineButtonCxform::OffsetIds(int idDelta, int, int) { characterId = SwfOffsetId(characterId, idDelta); }

// --- CTagDefineButtonSound ---

int CTagDefineButtonSound::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    for (int i = 0; i < kTransitions; ++i) {
        body.WriteU16(soundIds[i]);
        if (soundIds[i]) soundInfo[i].Write(body);
    }
    return WriteWithBody(stream, body);
}

int CTagDefineButtonSound::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    characterId = reader.ReadU16();
    for (int i = 0; i < kTransitions; ++i) {
        soundIds[i] = reader.ReadU16();
        soundInfo[i].Clear();
        if (soundIds[i]) soundInfo[i].Parse(reader);
    }
    return SwfConsumed(reader, start);
}

void CTagDefineButtonSound::OffsetIds(int idDelta, int, int)
{
    characterId = SwfOffsetId(characterId, idDelta);
    for (uint16_t& id : soundIds)
        if (id) id = SwfOffsetId(id, idDelta);
}
