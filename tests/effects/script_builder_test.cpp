// The effects' script builder: the bytes each call writes, read back by the
// project's own reader, and branches tracked or literal.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "effects/script_builder.h"
#include "swf/reader_primitives.h"
#include "swf/stream.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The actions' bytes with the end action, no tag header.
Bytes Body(CTagDoAction& block)
{
    CSwfStream s(4);
    block.WriteActions(s, false);
    return s.GetBuffer();
}

// The block as a DoAction tag read back from its own bytes.
std::unique_ptr<CTagDoAction> ReadBack(CTagDoAction& block)
{
    CSwfStream s(4);
    block.Write(s);
    CSwfReader r;
    r.LoadBytes(s.GetBuffer(), 4);
    int code = -1;
    uint32_t length = 0;
    auto parsed = std::make_unique<CTagDoAction>();
    if (!r.ReadTagHeader(code, length) || code != swf_tag::kDoAction || parsed->Parse(r) <= 0) return nullptr;
    return parsed;
}

struct Case {
    const char* what;
    std::function<void(CScriptBuilder&)> build;
    Bytes bytes;  // without the end action
};

TEST(ScriptBuilder, EachCallWritesItsAction)
{
    const Case cases[] = {
        {"empty string", [](CScriptBuilder& s) { s.Push(""); }, {0x96, 0x02, 0x00, 0x00, 0x00}},
        {"string", [](CScriptBuilder& s) { s.Push(std::string("go")); }, {0x96, 0x04, 0x00, 0x00, 'g', 'o', 0x00}},
        {"number as text", [](CScriptBuilder& s) { s.Push(-12); }, {0x96, 0x05, 0x00, 0x00, '-', '1', '2', 0x00}},
        {"long as text", [](CScriptBuilder& s) { s.Push(320L); }, {0x96, 0x05, 0x00, 0x00, '3', '2', '0', 0x00}},
        {"float", [](CScriptBuilder& s) { s.PushFloat(1.0f); }, {0x96, 0x05, 0x00, 0x01, 0x00, 0x00, 0x80, 0x3F}},
        {"one-byte actions",
         [](CScriptBuilder& s) {
             s.Add().Subtract().Multiply().Divide().Equals().Less().Not().Pop();
             s.GetVariable().SetVariable().GetProperty().SetProperty().RandomNumber().Play().Stop();
         },
         {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x12, 0x17, 0x1C, 0x1D, 0x22, 0x23, 0x30, 0x06, 0x07}},
        {"any other one-byte action", [](CScriptBuilder& s) { s.Op<CActionToInteger>(); }, {0x18}},
        {"goto frame", [](CScriptBuilder& s) { s.GotoFrame(1).Play(); }, {0x81, 0x02, 0x00, 0x01, 0x00, 0x06}},
        {"own timeline", [](CScriptBuilder& s) { s.SetTarget(""); }, {0x8B, 0x01, 0x00, 0x00}},
        {"tracked if",
         [](CScriptBuilder& s) { s.If().Push("a").Pop().EndBlock().Stop(); },
         {0x9D, 0x02, 0x00, 0x07, 0x00, 0x96, 0x03, 0x00, 0x00, 'a', 0x00, 0x17, 0x07}},
        {"tracked jump",
         [](CScriptBuilder& s) { s.Jump().PushFloat(0.0f).Play().EndBlock().Stop(); },
         {0x99, 0x02, 0x00, 0x09, 0x00, 0x96, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x06, 0x07}},
    };
    for (const Case& c : cases) {
        CScriptBuilder s;
        c.build(s);
        std::unique_ptr<CTagDoAction> block(s.Release());
        Bytes expected = c.bytes;
        expected.push_back(0x00);
        EXPECT_EQ(Body(*block), expected) << c.what;
        std::unique_ptr<CTagDoAction> parsed = ReadBack(*block);
        ASSERT_NE(parsed, nullptr) << c.what;
        EXPECT_EQ(parsed->actions.size(), block->actions.size()) << c.what;
        EXPECT_EQ(Body(*parsed), expected) << c.what;
    }
}

// Untracked, as a script whose offsets are given: they stay as given, and
// the count and size tell where each action begins.
TEST(ScriptBuilder, LiteralBranchesAndPositions)
{
    CScriptBuilder s(false);
    s.If(36).Pop();
    EXPECT_EQ(s.GetCount(), 2u);
    EXPECT_EQ(s.GetSize(), 6);
    s.Push("xpos").EndBlock().Jump(-11).PushFloat(2.0f);
    EXPECT_EQ(s.GetSize(), 6 + 9 + 5 + 8);
    std::unique_ptr<CTagDoAction> block(s.Release());
    ASSERT_EQ(block->actions.size(), 5u);
    EXPECT_EQ(static_cast<CSwfBranchAction&>(*block->actions[0]).branchOffset, 36);
    EXPECT_EQ(static_cast<CSwfBranchAction&>(*block->actions[3]).branchOffset, -11);
    EXPECT_FALSE(block->branchTracking);

    // Released, the builder starts again, still untracked.
    EXPECT_EQ(s.GetCount(), 0u);
    EXPECT_EQ(s.GetSize(), 0);
    s.Jump(5).Stop();
    std::unique_ptr<CTagDoAction> next(s.Release());
    EXPECT_EQ(static_cast<CSwfBranchAction&>(*next->actions[0]).branchOffset, 5);
}

}  // namespace
