#include "swf/movie.h"
#include "swf/tag_body.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "foundation/file_services.h"
#include "platform/gestalt.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/sounds.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"

// ---- header

void CSwfHeader::Set(int xmin, int ymin, int xmax, int ymax, float rate, uint8_t v)
{
    frameRect.Set(xmin, ymin, xmax, ymax, false);
    frameRate = rate;
    version = v;
}

int CSwfHeader::Write(CSwfStream& stream)
{
    stream.WriteString("FWS");
    stream.WriteU8(version);
    stream.WriteU32(fileLength);
    frameRect.Write(stream);
    // 8.8 fixed point; rates outside what the field holds saturate.
    const double rate = std::clamp<double>(frameRate, 0.0, 255.0 + 255.0 / 256.0);
    const double whole = std::trunc(rate);
    stream.WriteU8(uint8_t(std::trunc((rate - whole) * 256.0)));
    stream.WriteU8(uint8_t(whole));
    stream.WriteU16(frameCount);
    return 1;
}

int CSwfHeader::Parse(CSwfReader& reader, bool readSignature)
{
    const uint32_t start = reader.GetPosition();
    if (readSignature) {
        const uint8_t f = reader.ReadU8(), w = reader.ReadU8(), s = reader.ReadU8();
        if (f != 'F' || w != 'W' || s != 'S') return 0;
        version = reader.ReadU8();
    }
    fileLength = reader.ReadU32();
    frameRect.Parse(reader);
    const uint8_t fraction = reader.ReadU8();
    const uint8_t whole = reader.ReadU8();
    frameRate = float(whole + fraction / 256.0);
    frameCount = reader.ReadU16();
    return SwfConsumed(reader, start);
}

// ---- movie

CSwfMovie::CSwfMovie()
{
    frameRect.xmax = 20;
    frameRect.ymax = 20;
}

CSwfMovie::~CSwfMovie()
{
    frameSignal.DisconnectAll();
    CloseFile();
}

void CSwfMovie::SetHeader(int width, int height, float rate, uint8_t v)
{
    frameRect.Set(0, 0, width, height, false);
    frameRate = rate;
    version = v;
    headerEnd = 0;
}

void CSwfMovie::SetHeaderFrom(const CSwfHeader& header)
{
    frameRect = header.frameRect;
    frameRate = header.frameRate;
    version = header.version;
    headerEnd = 0;
}

void CSwfMovie::GetFrameSize(int& width, int& height) const
{
    width = GetWidth();
    height = GetHeight();
}

bool CSwfMovie::FitsMaxFrame(int width, int height) { return !(width > 25599 && height > 19199); }

void CSwfMovie::Fail(const std::string& why)
{
    if (error.empty()) error = why;
}

void CSwfMovie::FailWrite(const char* what)
{
    const int err = errno;
    if (error.empty()) systemError = err;
    Fail(std::string(what) + ": " + std::strerror(err));
}

void CSwfMovie::CloseFile()
{
    if (output) output->Discard();
    file = nullptr;
}

void CSwfMovie::Discard()
{
    frameLabels.clear();
    CloseFile();
}

bool CSwfMovie::Open(const CPath& target, bool replace)
{
    CloseFile();
    error.clear();
    systemError = 0;
    path = target;
    CFileInfo info;
    info.type = FourCC("SWFL");
    info.creator = FourCC("SWF2");
    if (!output) output = std::make_unique<CTypedOutputFile>();
    if (!output->Open(path, &info, replace)) return false;
    file = output->GetStream();
    std::setvbuf(file, nullptr, _IOFBF, 1 << 16);

    CSwfHeader header;
    header.frameRect = frameRect;
    header.frameRate = frameRate;
    header.version = version;
    header.fileLength = 32;
    header.frameCount = 1;
    frameCount = 0;
    CSwfStream stream(4);
    header.Write(stream);
    const std::vector<uint8_t>& bytes = stream.GetBuffer();
    if (!WriteBytes(bytes.data(), bytes.size())) {
        CloseFile();
        return false;
    }
    headerEnd = uint32_t(bytes.size());
    frameLabels.clear();
    records.clear();
    return true;
}

bool CSwfMovie::WriteBytes(const uint8_t* bytes, size_t size)
{
    if (!file) {
        Fail("the movie is not open");
        return false;
    }
    if (size && std::fwrite(bytes, 1, size, file) != size) {
        FailWrite("cannot write the movie");
        return false;
    }
    return true;
}

uint32_t CSwfMovie::Tell()
{
    const long pos = file ? std::ftell(file) : -1;
    if (pos < 0 || uint64_t(pos) > UINT32_MAX) {
        Fail("the movie is larger than a SWF file can be");
        return 0;
    }
    return uint32_t(pos);
}

bool CSwfMovie::WriteAt(uint32_t offset, const uint8_t* bytes, size_t size)
{
    if (!file) return false;
    if (std::fseek(file, long(offset), SEEK_SET) != 0) {
        FailWrite("cannot write the movie");
        return false;
    }
    return WriteBytes(bytes, size);
}

int CSwfMovie::AddTag(CSwfTag* tag, bool keep)
{
    if (!tag) return 0;
    std::unique_ptr<CSwfTag> owned(keep ? nullptr : tag);
    const int code = tag->GetTagCode();

    if (code == swf_tag::kShowFrame) {
        if (frameCount == 0xFFFF) {
            Fail("a movie holds at most 65535 frames");
            return 0;
        }
        // Callbacks add what is due in this frame before its ShowFrame is written.
        frameSignal.Emit(intptr_t(frameCount));
        ++frameCount;
    } else if (code == swf_tag::kFrameLabel) {
        auto* frameLabel = dynamic_cast<CTagFrameLabel*>(tag);
        const std::string label = frameLabel ? frameLabel->label : std::string();
        if (frameLabel && !frameLabels.insert(label).second) return 0;
    }

    // Not in use here: what the frame signal adds is written above.
    if (!tagStream || tagStream->GetVersion() != version) tagStream = std::make_unique<CSwfStream>(version);
    CSwfStream& stream = *tagStream;
    stream.Clear();
    // A sound's data goes to the file from the tag itself: copied into the
    // stream, a long sound would be held twice.
    auto* sound = code == swf_tag::kDefineSound ? dynamic_cast<CTagDefineSound*>(tag) : nullptr;
    if (sound && !recordPlacements && !recordClipDepths) {
        const bool head = sound->WriteHead(stream);
        if (!head || stream.Failed()) {
            Fail(stream.Failed() ? stream.GetError() : "the sound is too long for a tag");
            return 0;
        }
        const std::vector<uint8_t>& bytes = stream.GetBuffer();
        if (!file) {
            Fail("the movie is not open");
            return 0;
        }
        if (!WriteBytes(bytes.data(), bytes.size()) || !WriteBytes(sound->data.data(), sound->data.size())) return 0;
        return int(bytes.size() + sound->data.size());
    }
    tag->Write(stream);
    if (stream.Failed()) {
        Fail(stream.GetError());
        return 0;
    }
    const std::vector<uint8_t>& bytes = stream.GetBuffer();
    if (!file) {
        Fail("the movie is not open");
        return 0;
    }
    const uint32_t at = Tell();
    if (recordPlacements || recordClipDepths) {
        const size_t headerLength = bytes.size() >= 2 && (bytes[0] & 0x3F) == 0x3F ? 6 : 2;
        auto* place = code == swf_tag::kPlaceObject2 ? dynamic_cast<CTagPlaceObject2*>(tag) : nullptr;
        if (recordPlacements && place) records.push_back({place->depth, uint32_t(at + headerLength + 1)});
        if (recordPlacements && code == swf_tag::kRemoveObject2) {
            if (auto* remove = dynamic_cast<CTagRemoveObject2*>(tag)) records.push_back({remove->depth, at + 2});
        }
        if (recordClipDepths && place && place->hasClipDepth)
            records.push_back({place->clipDepth, uint32_t(at + place->GetClipDepthOffset(version))});
    }
    if (!WriteBytes(bytes.data(), bytes.size())) return 0;
    return int(bytes.size());
}

bool CSwfMovie::PatchRecorded(uint16_t base)
{
    if (!file) return false;
    const uint32_t here = Tell();
    std::vector<uint16_t> distinct;
    distinct.reserve(records.size());
    for (const RecordedValue& r : records) distinct.push_back(r.value);
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    if (uint32_t(base) + distinct.size() > 0xFFFF) {
        Fail("renumbered depths would pass 65535");
        return false;
    }
    bool ok = true;
    for (const RecordedValue& r : records) {
        const size_t i = size_t(std::lower_bound(distinct.begin(), distinct.end(), r.value) - distinct.begin());
        const uint16_t value = uint16_t(base + i + 1);
        const uint8_t le[2] = {uint8_t(value), uint8_t(value >> 8)};
        ok = WriteAt(r.offset, le, 2) && ok;
    }
    if (std::fseek(file, long(here), SEEK_SET) != 0) {
        Fail("cannot seek in the movie");
        ok = false;
    }
    return ok && !Failed();
}

uint32_t CSwfMovie::Close()
{
    frameLabels.clear();
    if (!file) {
        Fail("the movie is not open");
        return 0;
    }
    if (std::fseek(file, 0, SEEK_END) != 0) FailWrite("cannot write the movie");
    const uint32_t length = Tell();
    const uint8_t len[4] = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
    WriteAt(4, len, 4);
    const uint8_t count[2] = {uint8_t(frameCount), uint8_t(frameCount >> 8)};
    if (headerEnd >= 2) WriteAt(headerEnd - 2, count, 2);
    // Buffered bytes reach the disk only now; a full disk shows here.
    if (std::fflush(file) != 0) FailWrite("cannot write the movie");
    file = nullptr;
    // Only a whole movie takes the place of what stood there.
    if (Failed()) {
        output->Discard();
        return 0;
    }
    if (!output->Commit()) FailWrite("cannot close the movie");
    return Failed() ? 0 : length;
}
