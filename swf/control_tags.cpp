#include "swf/control_tags.h"
#include "swf/tag_body.h"

#include "swf/reader_primitives.h"
#include "swf/stream.h"

int CTagSetBackgroundColor::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    color.Write(body);
    return WriteWithBody(stream, body);
}

int CTagFrameLabel::Write(CSwfStream& stream)
{
    CSwfStream body(stream.GetVersion());
    body.WriteCString(label);
    // The anchor flag exists only for named anchors, where it is 1; a 0 byte
    // there is malformed, and strict readers reject the tag.
    if (stream.GetVersion() >= 6 && namedAnchor) body.WriteU8(namedAnchor);
    return WriteWithBody(stream, body);
}

int CTagFrameLabel::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    reader.ReadString(label, 0, false);
    namedAnchor = 0;
    // Only read the anchor byte when the tag has one; reading on would take a
    // byte of the next tag.
    const uint32_t used = reader.GetPosition() - start;
    if (reader.GetMovieVersion() >= 6 && (reader.GetTagLength() == 0 || used < reader.GetTagLength()))
        namedAnchor = reader.ReadU8();
    return SwfConsumed(reader, start);
}

int CSwfAssetEntry::Write(CSwfStream& stream) const
{
    stream.WriteU16(id);
    stream.WriteCString(name);
    return int(name.size()) + 3;
}

int CSwfAssetEntry::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    id = reader.ReadU16();
    reader.ReadString(name, 0, false);
    return SwfConsumed(reader, start);
}

void CSwfAssetEntry::OffsetIds(int idDelta) { id = SwfClampU16(int64_t(id) + idDelta); }

void CSwfAssetListTag::Add(CSwfAssetEntry* entry, unsigned index)
{
    if (!entry) return;
    std::unique_ptr<CSwfAssetEntry> owned(entry);
    if (index < assets.size())
        assets.insert(assets.begin() + index, std::move(owned));
    else
        assets.push_back(std::move(owned));
}

void CSwfAssetListTag::OffsetIds(int idDelta, int, int)
{
    for (auto& e : assets) e->OffsetIds(idDelta);
}

void CSwfAssetListTag::WriteEntries(CSwfStream& body) const
{
    if (assets.size() > 0xFFFF) body.Fail("more than 65535 assets in one tag");
    body.WriteU16(uint16_t(assets.size()));
    for (const auto& e : assets) e->Write(body);
}

void CSwfAssetListTag::ParseEntries(CSwfReader& reader)
{
    assets.clear();
    const uint16_t count = reader.ReadU16();
    for (uint16_t i = 0; i < count && reader.GetRemaining() > 0; ++i) {
        auto e = std::make_unique<CSwfAssetEntry>();
        e->Parse(reader);
        assets.push_back(std::move(e));
    }
}

int CTagExportAssets::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    WriteEntries(body);
    return WriteWithBody(stream, body);
}

int CTagExportAssets::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    ParseEntries(reader);
    return SwfConsumed(reader, start);
}

int CTagImportAssets::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteCString(url);
    WriteEntries(body);
    return WriteWithBody(stream, body);
}

int CTagImportAssets::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    reader.ReadString(url, 0, false);
    ParseEntries(reader);
    return SwfConsumed(reader, start);
}

int CTagEnableDebugger::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteCString(password);
    return WriteWithBody(stream, body);
}

int CTagEnableDebugger::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    reader.ReadString(password, 0, false);
    return SwfConsumed(reader, start);
}

int CTagEnableDebugger2::Write(CSwfStream& stream)
{
    CSwfStream body(4);
    body.WriteU16(reserved);
    body.WriteCString(password);
    return WriteWithBody(stream, body);
}

int CTagEnableDebugger2::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    reserved = reader.ReadU16();
    reader.ReadString(password, 0, false);
    return SwfConsumed(reader, start);
}
