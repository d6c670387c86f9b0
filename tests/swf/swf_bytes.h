#pragma once
// Small helpers for the SWF byte-vector tests.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "swf/actions.h"
#include "swf/object.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The bytes an object writes into a stream of the given version.
inline Bytes Written(CSwfObject& object, uint8_t version = 4)
{
    CSwfStream s(version);
    object.Write(s);
    return s.GetBuffer();
}

// Parses a tag (header included) from bytes the way the reader's split does.
template <class Tag>
int ParseTag(Tag& tag, const Bytes& bytes, uint8_t version = 4)
{
    CSwfReader r;
    r.LoadBytes(bytes, version);
    int code = -1;
    uint32_t length = 0;
    if (!r.ReadTagHeader(code, length) || code != tag.GetTagCode()) return -1;
    return tag.Parse(r);
}

// Parses a record or action body from bytes; returns the bytes consumed.
template <class Obj>
int ParseBody(Obj& object, const Bytes& bytes, uint8_t version = 4)
{
    CSwfReader r;
    r.LoadBytes(bytes, version);
    return object.Parse(r);
}

// A DoAction whose Jump spans 40 KB: more than a branch offset can hold.
inline CTagDoAction* OverlongBranchBlock()
{
    auto* block = new CTagDoAction;
    block->AddAction(new CActionJump);
    const std::string big(1000, 'x');
    for (int i = 0; i < 40; ++i) block->AddAction(new CActionPush(big.c_str()));
    block->EndBlock();
    return block;
}
