#include "swf/sprite.h"

#include <algorithm>

#include "swf/display_tags.h"
#include "swf/stream.h"
#include "swf/tag_body.h"

namespace {
// The body stream reserves this much per nested tag, up to a ceiling so that
// a sprite of many tiny tags does not reserve a fortune.
constexpr size_t kReservePerTag = 10240;
constexpr size_t kReserveCeiling = size_t(4) << 20;
}  // namespace

CTagDefineSprite::~CTagDefineSprite() { Clear(true); }

bool CTagDefineSprite::AddTag(CSwfTag* tag)
{
    if (!tag || !IsNestedTagCode(tag->GetTagCode())) return false;
    if (tag->GetTagCode() == swf_tag::kShowFrame) {
        if (frameCount == 0xFFFF) {
            error = "a sprite holds at most 65535 frames";
            return false;
        }
        ++frameCount;
    }
    tags.push_back(tag);
    return true;
}

void CTagDefineSprite::Clear(bool deleteTags)
{
    if (deleteTags)
        for (CSwfTag* tag : tags) delete tag;
    tags.clear();
    frameCount = 0;
    error.clear();
}

int CTagDefineSprite::WriteBody(CSwfStream& stream, bool withHeader)
{
    if (Failed()) {
        stream.Fail(error);
        return 0;
    }
    CSwfStream body(stream.GetVersion());
    body.Reserve(std::min(tags.size() * kReservePerTag, kReserveCeiling));
    for (CSwfTag* tag : tags) tag->Write(body);
    if (tags.empty() || tags.back()->GetTagCode() != swf_tag::kEnd) {
        body.WriteU8(0);
        body.WriteU8(0);
    }
    if (body.Failed()) {
        stream.Fail(body.GetError());
        return 0;
    }
    const uint32_t start = stream.GetPosition();
    if (withHeader && !SwfWriteLargeTagHeader(stream, *this, uint64_t(body.GetSize()) + 4, false)) return 0;
    stream.WriteU16(characterId);
    stream.WriteU16(frameCount);
    stream.AppendStream(body);
    return int(stream.GetPosition() - start);
}

int CTagDefineSprite::Parse(CSwfReader& reader)
{
    Clear(true);
    const uint32_t start = reader.GetPosition();
    characterId = reader.ReadU16();
    frameCount = reader.ReadU16();
    // The nested tags live in the rest of this body and never beyond it.
    const uint64_t bodyLeft = reader.GetTagLength() > 4 ? reader.GetTagLength() - 4 : 0;
    const uint64_t outerLimit = reader.GetLimit();
    reader.SetLimit(std::min<uint64_t>(outerLimit, uint64_t(reader.GetPosition()) + bodyLeft));

    CSwfReader nested;
    nested.SetInsideSprite(true);
    nested.SetMovieVersion(reader.GetMovieVersion());
    nested.ParseTags(&reader, 0);
    reader.SetLimit(outerLimit);
    tags.swap(nested.GetTags(nullptr));
    reader.hasSound |= nested.hasSound;
    reader.hasMarkerTag |= nested.hasMarkerTag;
    if (nested.lastError != CSwfReader::kErrorNone) reader.lastError = nested.lastError;

    minDepth = maxDepth = -1;
    for (CSwfTag* tag : tags) {
        const int code = tag->GetTagCode();
        if (code != swf_tag::kPlaceObject && code != swf_tag::kPlaceObject2) continue;
        const auto* place = dynamic_cast<const CTagPlaceObject*>(tag);
        if (!place) continue;
        const int32_t depth = place->depth;
        minDepth = minDepth < 0 ? depth : std::min(minDepth, depth);
        maxDepth = std::max(maxDepth, depth);
    }
    return SwfConsumed(reader, start);
}

void CTagDefineSprite::OffsetIds(int idDelta, int, int frameDelta)
{
    characterId = SwfOffsetId(characterId, idDelta);
    for (CSwfTag* tag : tags) {
        switch (tag->GetTagCode()) {
        case swf_tag::kFreeCharacter:
        case swf_tag::kPlaceObject:
        case swf_tag::kRemoveObject:
        case swf_tag::kStartSound:
        case swf_tag::kPlaceObject2:
        case swf_tag::kRemoveObject2:
        case swf_tag::kDefineVideoStream:
        case swf_tag::kVideoFrame:
            tag->OffsetIds(idDelta, 0, frameDelta);
            break;
        default:
            break;
        }
    }
}
