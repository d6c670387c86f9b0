#include "swf/display_tags.h"
#include "swf/tag_body.h"

#include <algorithm>

#include "swf/reader_primitives.h"
#include "swf/stream.h"

namespace {

// Ids and depths saturate: a wrapped depth would remove or move another object.
uint16_t Moved(uint16_t value, int delta) { return SwfClampU16(int64_t(value) + delta); }

}  // namespace

// ---- PlaceObject

void CTagPlaceObject::ClearTransforms()
{
    matrix.reset();
    cxform.reset();
}

int CTagPlaceObject::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(characterId);
    body.WriteU16(depth);
    if (matrix) {
        matrix->Write(body);
        body.FlushBits();
    }
    if (cxform) {
        cxform->Write(body);
        body.FlushBits();
    }
    return WriteWithBody(stream, body);
}

int CTagPlaceObject::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    ClearTransforms();
    SetCharacterId(reader.ReadU16());
    NoteParsedId(characterId);
    depth = reader.ReadU16();
    matrix = std::make_unique<CSwfMatrix>();
    matrix->Parse(reader);
    reader.AlignToByte();
    if (reader.GetPosition() - start < reader.GetTagLength()) {
        cxform = std::make_unique<CSwfCxform>();
        cxform->Parse(reader);
        reader.AlignToByte();
    }
    return SwfConsumed(reader, start);
}

void CTagPlaceObject::OffsetIds(int idDelta, int depthDelta, int)
{
    characterId = Moved(characterId, idDelta);
    depth = Moved(depth, depthDelta);
}

// ---- PlaceObject2

void CTagPlaceObject2::Reset()
{
    ratio = 0;
    characterId = 0;
    matrix.reset();
    cxform.reset();
    move = false;
    clipDepth = 0;
    hasClipActions = hasClipDepth = hasName = hasRatio = hasCharacter = false;
    version = 4;
}

void CTagPlaceObject2::SetCharacterId(uint16_t id)
{
    characterId = id;
    hasCharacter = true;
}

void CTagPlaceObject2::ClearTransforms()
{
    CTagPlaceObject::ClearTransforms();
    cxform.reset();
    name.clear();
    clipActions.clear();
}

void CTagPlaceObject2::AddClipAction(CSwfClipAction* record)
{
    if (!record) return;
    hasClipActions = true;
    clipActions.emplace_back(record);
}

CTagPlaceObject2& CTagPlaceObject2::CopyFrom(const CTagPlaceObject2& other)
{
    SetCharacterId(other.characterId);
    depth = other.depth;
    name = other.name;
    ratio = other.ratio;
    clipDepth = other.clipDepth;
    matrix = other.matrix ? std::make_unique<CSwfMatrix>(*other.matrix) : nullptr;
    if (other.cxform) {
        auto c = std::make_unique<CSwfCxformWithAlpha>();
        c->Reset();
        c->AssignFrom(*other.cxform);
        cxform = std::move(c);
    }
    hasClipActions = other.hasClipActions;
    hasClipDepth = other.hasClipDepth;
    hasName = other.hasName;
    hasRatio = other.hasRatio;
    hasCharacter = other.hasCharacter;
    move = other.move;
    return *this;
}

void CTagPlaceObject2::WriteBody(CSwfStream& body, uint8_t v, uint32_t* clipDepthAt)
{
    const uint8_t flags = uint8_t((hasClipActions ? 0x80 : 0) | (hasClipDepth ? 0x40 : 0) | (hasName ? 0x20 : 0) |
                                  (hasRatio ? 0x10 : 0) | (cxform ? 0x08 : 0) | (matrix ? 0x04 : 0) |
                                  (characterId ? 0x02 : 0) | (move ? 0x01 : 0));
    body.WriteU8(flags);
    body.WriteU16(depth);
    if (characterId) body.WriteU16(characterId);
    if (matrix) matrix->Write(body);
    body.FlushBits();
    if (cxform) cxform->Write(body);
    body.FlushBits();
    if (hasRatio) body.WriteU16(ratio);
    if (hasName) body.WriteCString(name);
    if (clipDepthAt) *clipDepthAt = body.GetPosition();
    if (hasClipDepth) body.WriteU16(clipDepth);
    if (hasClipActions) {
        const bool wide = v >= 6;
        auto writeFlags = [&](uint32_t f) { wide ? body.WriteU32(f) : body.WriteU16(uint16_t(f)); };
        body.WriteU16(0);
        uint32_t all = 0;
        for (const auto& c : clipActions) all |= c->eventFlags;
        writeFlags(all);
        if ((wide ? all : (all & 0xFFFF)) != 0) {
            for (const auto& c : clipActions) {
                const uint32_t f = wide ? c->eventFlags : (c->eventFlags & 0xFFFF);
                // A zero flag word would read as the end of the list.
                if (f == 0) continue;
                CSwfStream record(v);
                // The key code exists only where the flags can say so (version 6 on).
                if (wide && (c->eventFlags & CSwfClipAction::kKeyPress)) record.WriteU8(c->keyCode);
                if (c->actions) {
                    c->actions->suppressHeader = true;
                    c->actions->WriteActions(record, false);
                }
                writeFlags(c->eventFlags);
                body.WriteU32(record.GetSize());
                body.AppendStream(record);
            }
        }
        writeFlags(0);
    }
    body.FlushBits();
}

int CTagPlaceObject2::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    WriteBody(body, std::max(version, stream.GetVersion()), nullptr);
    return WriteWithBody(stream, body);
}

int CTagPlaceObject2::GetClipDepthOffset(uint8_t streamVersion)
{
    if (!hasClipDepth) return 0;
    // Laid out as Write lays it out: clip actions widen from version 6, which
    // can move the body into the long header form.
    CSwfStream body(4);
    uint32_t at = 0;
    WriteBody(body, std::max(version, streamVersion), &at);
    return int(CSwfStream::MakeTagHeader(*this, body.GetSize(), false).size() + at);
}

int CTagPlaceObject2::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    ClearTransforms();
    const uint8_t flags = reader.ReadU8();
    depth = reader.ReadU16();
    move = flags & 0x01;
    if (flags & 0x02) {
        SetCharacterId(reader.ReadU16());
        NoteParsedId(characterId);
    } else {
        characterId = 0;
        hasCharacter = false;
    }
    if (flags & 0x04) {
        matrix = std::make_unique<CSwfMatrix>();
        matrix->Parse(reader);
        reader.AlignToByte();
    }
    if (flags & 0x08) {
        cxform = std::make_unique<CSwfCxformWithAlpha>();
        cxform->Reset();
        cxform->Parse(reader);
    }
    hasRatio = flags & 0x10;
    ratio = hasRatio ? reader.ReadU16() : 0;
    hasName = flags & 0x20;
    if (hasName) reader.ReadString(name, 0, false);
    hasClipDepth = flags & 0x40;
    clipDepth = hasClipDepth ? reader.ReadU16() : 0;
    hasClipActions = flags & 0x80;
    if (hasClipActions) {
        version = reader.GetMovieVersion();
        const bool wide = version >= 6;
        auto readFlags = [&] { return wide ? reader.ReadU32() : uint32_t(reader.ReadU16()); };
        reader.AlignToByte();
        reader.ReadU16();
        allEventFlags = readFlags();
        for (;;) {
            const uint32_t eventFlags = readFlags();
            if (eventFlags == 0) break;
            auto record = std::make_unique<CSwfClipAction>(eventFlags);
            record->recordSize = reader.ReadU32();
            const uint64_t recordEnd = uint64_t(reader.GetPosition()) + record->recordSize;
            if (eventFlags & CSwfClipAction::kKeyPress) record->keyCode = reader.ReadU8();
            // The handler ends with its record, not with the tag: lend the
            // action parse the record's length, so an end byte is never read
            // as a pad byte and the next record never as actions.
            const uint32_t savedLength = reader.GetTagLength();
            const uint64_t tagEnd = savedLength ? uint64_t(start) + savedLength : reader.GetDataEnd();
            const uint64_t handlerEnd = record->recordSize ? std::min(recordEnd, tagEnd) : tagEnd;
            const uint64_t left = handlerEnd - std::min<uint64_t>(handlerEnd, reader.GetPosition());
            reader.SetTagLength(uint32_t(std::min<uint64_t>(left, UINT32_MAX)));
            auto actions = std::make_unique<CTagDoAction>();
            const int parsed = left ? actions->Parse(reader) : 0;
            reader.SetTagLength(savedLength);
            if (parsed != 0) record->SetActions(actions.release());
            // The record size, not the action parse, says where the next record starts.
            if (recordEnd <= reader.GetDataEnd()) reader.Seek(uint32_t(recordEnd));
            clipActions.push_back(std::move(record));
        }
    }
    reader.AlignToByte();
    return SwfConsumed(reader, start);
}

void CTagPlaceObject2::OffsetIds(int idDelta, int depthDelta, int)
{
    if (hasCharacter) characterId = Moved(characterId, idDelta);
    depth = Moved(depth, depthDelta);
    if (hasClipDepth) clipDepth = Moved(clipDepth, depthDelta);
}

// ---- small tags

int CTagRemoveObject::Write(CSwfStream& stream) { return WriteU16Fields(stream, {characterId, depth}); }
int CTagRemoveObject2::Write(CSwfStream& stream) { return WriteU16Fields(stream, {depth}); }
int CTagFreeCharacter::Write(CSwfStream& stream) { return WriteU16Fields(stream, {characterId}); }

int CTagRemoveObject::Parse(CSwfReader& reader)
{
    characterId = reader.ReadU16();
    depth = reader.ReadU16();
    return 4;
}

int CTagRemoveObject2::Parse(CSwfReader& reader)
{
    depth = reader.ReadU16();
    return 2;
}

int CTagFreeCharacter::Parse(CSwfReader& reader)
{
    characterId = reader.ReadU16();
    return 2;
}

void CTagRemoveObject::OffsetIds(int idDelta, int depthDelta, int)
{
    characterId = Moved(characterId, idDelta);
    depth = Moved(depth, depthDelta);
}

void CTagRemoveObject2::OffsetIds(int, int depthDelta, int) { depth = Moved(depth, depthDelta); }
void CTagFreeCharacter::OffsetIds(int idDelta, int, int) { characterId = Moved(characterId, idDelta); }

CTagPlaceObject2* NewPlacement(uint16_t characterId, uint16_t depth, int32_t x, int32_t y)
{
    auto* place = new CTagPlaceObject2;
    place->SetCharacterId(characterId);
    place->depth = depth;
    auto* matrix = new CSwfMatrix;
    matrix->SetIdentity();
    matrix->translateX = x;
    matrix->translateY = y;
    place->SetMatrix(matrix);
    return place;
}
