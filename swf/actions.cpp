#include <algorithm>
#include <cstring>

#include "swf/actions.h"
#include "swf/tag_body.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"

namespace {

std::string ReadCString(CSwfReader& r, bool markAbsolute)
{
    std::string out;
    r.ReadString(out, 0, markAbsolute);
    return out;
}

// The prefix with its placeholder replaced.
std::string PrefixWith(const std::string& prefix, char first)
{
    std::string p = prefix;
    if (!p.empty()) p[0] = first;
    return p;
}

}  // namespace

// ---- base and raw

int CSwfAction::Write(CSwfStream& stream)
{
    stream.WriteU8(uint8_t(GetActionCode()));
    return 1;
}

void CSwfAction::OffsetIds(int, int, int) {}
bool CSwfAction::GetSpan(int32_t&) const { return false; }
void CSwfAction::SetSpan(int32_t) {}

int CActionRaw::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    payload.clear();
    length = 0;
    if (code >= 0x80) {
        length = reader.ReadU16();
        payload.reserve(std::min<uint64_t>(length, reader.GetRemaining()));
        for (uint32_t i = 0; i < length && reader.GetRemaining() > 0; ++i) payload.push_back(reader.ReadU8());
    }
    return SwfConsumed(reader, start);
}

int CActionRaw::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    stream.WriteU8(code);
    if (code >= 0x80) {
        if (payload.size() > 0xFFFF) stream.Fail("action payload longer than 65535 bytes");
        stream.WriteU16(uint16_t(payload.size()));
        stream.AppendBytes(payload);
    }
    return int(stream.GetPosition() - start);
}

int CActionRaw::GetSize() const { return code >= 0x80 ? int(payload.size()) + 3 : 1; }

bool CActionRaw::GetSpan(int32_t& span) const
{
    if ((code != 0x9B && code != 0x8E) || payload.size() < 2) return false;
    span = payload[payload.size() - 2] | (payload.back() << 8);
    return true;
}

void CActionRaw::SetSpan(int32_t span)
{
    int32_t old = 0;
    if (!GetSpan(old)) return;
    payload[payload.size() - 2] = uint8_t(span);
    payload.back() = uint8_t(span >> 8);
}

// ---- payload actions

int CSwfPayloadAction::Parse(CSwfReader& reader)
{
    const uint32_t start = reader.GetPosition();
    const uint16_t length = reader.ReadU16();
    ParsePayload(reader, length);
    return SwfConsumed(reader, start);
}

int CSwfPayloadAction::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    CSwfStream payload(stream.GetVersion());
    WritePayload(payload);
    if (payload.GetSize() > 0xFFFF) stream.Fail("action payload longer than 65535 bytes");
    stream.WriteU8(uint8_t(GetActionCode()));
    stream.WriteU16(uint16_t(payload.GetSize()));
    stream.AppendStream(payload);
    return int(stream.GetPosition() - start);
}

int CSwfPayloadAction::GetSize() const
{
    CSwfStream payload;
    WritePayload(payload);
    return 3 + int(payload.GetSize());
}

void CActionGotoFrame::WritePayload(CSwfStream& s) const { s.WriteU16(frame); }
void CActionGotoFrame::ParsePayload(CSwfReader& r, uint16_t) { frame = r.ReadU16(); }
void CActionGotoFrame::OffsetIds(int, int, int frameDelta) { frame = SwfClampU16(int64_t(frame) + frameDelta); }

void CActionGetURL::WritePayload(CSwfStream& s) const
{
    s.WriteCString(url);
    s.WriteCString(target);
}

void CActionGetURL::ParsePayload(CSwfReader& r, uint16_t)
{
    url = ReadCString(r, false);
    target = ReadCString(r, false);
}

void CActionStoreRegister::WritePayload(CSwfStream& s) const { s.WriteU8(reg); }
void CActionStoreRegister::ParsePayload(CSwfReader& r, uint16_t) { reg = r.ReadU8(); }

int CActionConstantPool::Find(const char* text) const
{
    const std::string_view t = text ? text : "";
    for (size_t i = 0; i < strings.size(); ++i)
        if (strings[i] == t) return int(i);
    return -1;
}

void CActionConstantPool::Add(const char* text, int index)
{
    if (Find(text) >= 0) return;
    const std::string t = text ? text : "";
    if (unsigned(index) < strings.size())
        strings.insert(strings.begin() + index, t);
    else
        strings.push_back(t);
}

void CActionConstantPool::WritePayload(CSwfStream& s) const
{
    if (strings.size() > 0xFFFF) s.Fail("constant pool with more than 65535 strings");
    s.WriteU16(uint16_t(strings.size()));
    const std::string rootSuffix = PrefixWith(pathPrefix, '.');
    for (const std::string& str : strings) {
        s.WriteString(str);
        if (!pathPrefix.empty() && str == "_root") s.WriteString(rootSuffix);
        s.WriteU8(0);
    }
}

void CActionConstantPool::ParsePayload(CSwfReader& r, uint16_t length)
{
    strings.clear();
    r.ReadU16();  // the count; the length decides
    int remaining = int(length) - 2;
    // A length running past the data adds no strings made of nothing.
    while (remaining > 0 && r.GetRemaining() > 0) {
        strings.push_back(ReadCString(r, true));
        remaining -= int(strings.back().size()) + 1;
    }
}

void CActionWaitForFrame::WritePayload(CSwfStream& s) const
{
    s.WriteU16(frame);
    s.WriteU8(skipCount);
}

void CActionWaitForFrame::ParsePayload(CSwfReader& r, uint16_t)
{
    frame = r.ReadU16();
    skipCount = r.ReadU8();
}

void CActionWaitForFrame::OffsetIds(int, int, int frameDelta) { frame = SwfClampU16(int64_t(frame) + frameDelta); }

void CActionSetTarget::WritePayload(CSwfStream& s) const
{
    s.WriteString(pathPrefix);
    s.WriteCString(target);
}

void CActionSetTarget::ParsePayload(CSwfReader& r, uint16_t) { target = ReadCString(r, true); }

void CActionGotoLabel::WritePayload(CSwfStream& s) const { s.WriteCString(label); }
void CActionGotoLabel::ParsePayload(CSwfReader& r, uint16_t) { label = ReadCString(r, false); }

void CActionWaitForFrame2::WritePayload(CSwfStream& s) const { s.WriteU8(skipCount); }
void CActionWaitForFrame2::ParsePayload(CSwfReader& r, uint16_t) { skipCount = r.ReadU8(); }

void CActionWith::WritePayload(CSwfStream& s) const
{
    s.WriteU16(size);
    if (!name.empty()) s.WriteCString(name);
}

void CActionWith::ParsePayload(CSwfReader& r, uint16_t length)
{
    size = r.ReadU16();
    name.clear();
    if (length > 2) name = ReadCString(r, false);
}

bool CActionWith::GetSpan(int32_t& span) const
{
    span = size;
    return true;
}

void CActionWith::SetSpan(int32_t span) { size = uint16_t(span); }

void CActionGetURL2::WritePayload(CSwfStream& s) const { s.WriteU8(flags); }
void CActionGetURL2::ParsePayload(CSwfReader& r, uint16_t) { flags = r.ReadU8(); }

void CActionDefineFunction::WritePayload(CSwfStream& s) const
{
    s.WriteCString(name);
    if (params.size() > 0xFFFF) s.Fail("function with more than 65535 parameters");
    s.WriteU16(uint16_t(params.size()));
    for (const std::string& p : params) s.WriteCString(p);
    s.WriteU16(codeSize);
}

void CActionDefineFunction::ParsePayload(CSwfReader& r, uint16_t)
{
    name = ReadCString(r, false);
    params.clear();
    const uint16_t count = r.ReadU16();
    for (uint16_t i = 0; i < count && r.GetRemaining() > 0; ++i) params.push_back(ReadCString(r, false));
    codeSize = r.ReadU16();
}

bool CActionDefineFunction::GetSpan(int32_t& span) const
{
    span = codeSize;
    return true;
}

void CActionDefineFunction::SetSpan(int32_t span) { codeSize = uint16_t(span); }

void CSwfBranchAction::WritePayload(CSwfStream& s) const
{
    if (branchOffset < INT16_MIN || branchOffset > INT16_MAX) s.Fail("branch spans more than 32767 bytes");
    s.WriteS16(int16_t(branchOffset));
}

void CSwfBranchAction::ParsePayload(CSwfReader& r, uint16_t) { branchOffset = int16_t(r.ReadU16()); }

bool CSwfBranchAction::GetSpan(int32_t& span) const
{
    span = branchOffset;
    return true;
}

void CSwfBranchAction::SetSpan(int32_t span) { branchOffset = span; }

void CActionGotoFrame2::WritePayload(CSwfStream& s) const
{
    s.WriteU8(flags);
    if (flags & 2) s.WriteU16(sceneBias);
}

void CActionGotoFrame2::ParsePayload(CSwfReader& r, uint16_t)
{
    flags = r.ReadU8();
    sceneBias = (flags & 2) ? r.ReadU16() : 0;
    hasPadByte = false;
    // A zero byte inside the tag right after the action is a pad byte, not the block's end.
    if (r.PeekU8() == 0 && tagEnd != 0 && uint64_t(r.GetPosition()) + 1 < tagEnd) {
        r.ReadU8();
        hasPadByte = true;
    }
}

int CActionGotoFrame2::Write(CSwfStream& stream)
{
    const uint32_t start = stream.GetPosition();
    CSwfPayloadAction::Write(stream);
    if (hasPadByte) stream.WriteU8(0);
    return int(stream.GetPosition() - start);
}

int CActionGotoFrame2::GetSize() const { return CSwfPayloadAction::GetSize() + (hasPadByte ? 1 : 0); }

// ---- Push

int CActionPush::PushValue::Size() const
{
    switch (type) {
    case kString: return int(text.size()) + 2;
    case kFloat:
    case kInteger: return 5;
    case kRegister:
    case kBool:
    case kConstant8: return 2;
    case kDouble: return 9;
    case kConstant16: return 3;
    default: return 1;
    }
}

CActionPush::CActionPush(const char* text) { PushString(text); }
CActionPush::CActionPush(float value) { PushFloat(value); }
CActionPush::CActionPush(int32_t value) { PushInt(value); }

CActionPush::CActionPush(uint8_t type, uint32_t number)
{
    if (type == kRegister) PushRegister(uint8_t(number));
    if (type == kConstant8) PushConstant8(uint8_t(number));
    if (type == kConstant16) PushConstant16(uint16_t(number));
}

int CActionPush::Insert(PushValue value, int index)
{
    const int size = value.Size();
    if (unsigned(index) < values.size())
        values.insert(values.begin() + index, std::move(value));
    else
        values.push_back(std::move(value));
    payloadSize = uint16_t(payloadSize + size);
    return size;
}

int CActionPush::PushString(const char* text, int index) { return PushString(std::string(text ? text : ""), index); }

int CActionPush::PushString(const std::string& text, int index)
{
    PushValue v;
    v.type = kString;
    // A string ends at its first zero byte in the file.
    v.text = text.substr(0, text.find('\0'));
    return Insert(std::move(v), index);
}

int CActionPush::PushFloat(float value, int index)
{
    PushValue v;
    v.type = kFloat;
    v.f = value;
    return Insert(std::move(v), index);
}

int CActionPush::PushNull(int index)
{
    PushValue v;
    v.type = kNull;
    return Insert(std::move(v), index);
}

int CActionPush::PushUndefined(int index)
{
    PushValue v;
    v.type = kUndefined;
    return Insert(std::move(v), index);
}

namespace {
CActionPush::PushValue Small(uint8_t type, int32_t i)
{
    CActionPush::PushValue v;
    v.type = type;
    v.i = i;
    return v;
}
}  // namespace

int CActionPush::PushRegister(uint8_t reg, int index) { return Insert(Small(kRegister, reg), index); }
int CActionPush::PushBool(uint8_t value, int index) { return Insert(Small(kBool, value), index); }
int CActionPush::PushInt(int32_t value, int index) { return Insert(Small(kInteger, value), index); }
int CActionPush::PushConstant8(uint8_t i8, int index) { return Insert(Small(kConstant8, i8), index); }
int CActionPush::PushConstant16(uint16_t i16, int index) { return Insert(Small(kConstant16, i16), index); }

int CActionPush::PushDouble(double value, int index)
{
    PushValue v;
    v.type = kDouble;
    v.d = value;
    return Insert(std::move(v), index);
}

void CActionPush::WritePayload(CSwfStream& s) const
{
    const std::string slashPrefix = PrefixWith(pathPrefix, '/');
    const std::string rootSuffix = PrefixWith(pathPrefix, '.');
    for (const PushValue& v : values) {
        s.WriteU8(v.type);
        switch (v.type) {
        case kString:
            if (!pathPrefix.empty() && !v.text.empty() && v.text[0] == '/') s.WriteString(slashPrefix);
            s.WriteString(v.text);
            if (!pathPrefix.empty() && v.text == "_root") s.WriteString(rootSuffix);
            s.WriteU8(0);
            break;
        case kFloat: {
            uint32_t bits = 0;
            std::memcpy(&bits, &v.f, 4);
            s.WriteU32(bits);
            break;
        }
        case kRegister:
        case kBool:
        case kConstant8: s.WriteU8(uint8_t(v.i)); break;
        case kDouble: {
            uint64_t bits = 0;
            std::memcpy(&bits, &v.d, 8);
            s.WriteU32(uint32_t(bits >> 32));
            s.WriteU32(uint32_t(bits));
            break;
        }
        case kInteger: s.WriteU32(uint32_t(v.i)); break;
        case kConstant16: s.WriteU16(uint16_t(v.i)); break;
        default: break;
        }
    }
}

void CActionPush::ParsePayload(CSwfReader& r, uint16_t length)
{
    values.clear();
    payloadSize = 0;
    const uint64_t payloadEnd = uint64_t(r.GetPosition()) + length;
    int remaining = length;
    // A length running past the data adds no values made of nothing.
    while (remaining > 0 && r.GetRemaining() > 0) {
        PushValue v;
        v.type = r.ReadU8();
        switch (v.type) {
        case kString: v.text = ReadCString(r, true); break;
        case kFloat: {
            const uint32_t bits = r.ReadU32();
            std::memcpy(&v.f, &bits, 4);
            break;
        }
        case kRegister:
        case kBool:
        case kConstant8: v.i = r.ReadU8(); break;
        case kDouble: {
            const uint64_t hi = r.ReadU32();
            const uint64_t bits = (hi << 32) | r.ReadU32();
            std::memcpy(&v.d, &bits, 8);
            break;
        }
        case kInteger: v.i = int32_t(r.ReadU32()); break;
        case kConstant16: v.i = r.ReadU16(); break;
        case kNull:
        case kUndefined: break;
        default: v.type = kNull; break;
        }
        const int size = v.Size();
        values.push_back(std::move(v));
        payloadSize = uint16_t(payloadSize + size);
        if (size > remaining) {
            // A value that runs past the length gives its excess back: the
            // next action starts where the length says, never before it
            // (a value cut by the end of the data read less than its size).
            r.Seek(uint32_t(std::min<uint64_t>(payloadEnd, r.GetDataEnd())));
            break;
        }
        remaining -= size;
    }
}

// ---- factory

std::unique_ptr<CSwfAction> SwfCreateAction(uint8_t code)
{
    switch (code) {
    case 0x1D: return std::make_unique<CActionSetVariable>();
    case 0x81: return std::make_unique<CActionGotoFrame>();
    case 0x83: return std::make_unique<CActionGetURL>();
    case 0x87: return std::make_unique<CActionStoreRegister>();
    case 0x88: return std::make_unique<CActionConstantPool>();
    case 0x8A: return std::make_unique<CActionWaitForFrame>();
    case 0x8B: return std::make_unique<CActionSetTarget>();
    case 0x8C: return std::make_unique<CActionGotoLabel>();
    case 0x8D: return std::make_unique<CActionWaitForFrame2>();
    case 0x94: return std::make_unique<CActionWith>();
    case 0x96: return std::make_unique<CActionPush>();
    case 0x99: return std::make_unique<CActionJump>();
    case 0x9A: return std::make_unique<CActionGetURL2>();
    case 0x9D: return std::make_unique<CActionIf>();
    case 0x9F: return std::make_unique<CActionGotoFrame2>();
    default: return std::make_unique<CActionRaw>(code);
    }
}
