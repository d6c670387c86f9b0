#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "swf/actions.h"
#include "swf_bytes.h"

namespace {

// Parses one action the way a block does: code byte, then the payload.
std::unique_ptr<CSwfAction> ParseAction(const Bytes& bytes)
{
    CSwfReader r;
    r.LoadBytes(bytes, 6);
    std::unique_ptr<CSwfAction> a = SwfCreateAction(r.ReadU8());
    a->Parse(r);
    EXPECT_EQ(r.GetPosition(), bytes.size());
    return a;
}

TEST(SwfActions, OneByteActionsShareOneTemplate)
{
    using All = std::tuple<CActionPreviousFrame, CActionPlay, CActionStop, CActionAdd, CActionSubtract,
                           CActionMultiply, CActionDivide, CActionEquals, CActionLess, CActionNot, CActionPop,
                           CActionToInteger, CActionGetVariable, CActionSetVariable, CActionSetTarget2,
                           CActionStringAdd, CActionGetProperty, CActionSetProperty, CActionRandomNumber,
                           CActionGetTime, CActionDefineLocal, CActionCallFunction, CActionNewObject, CActionAdd2,
                           CActionLess2, CActionEquals2, CActionGetMember, CActionSetMember, CActionIncrement,
                           CActionCallMethod>;
    const int codes[] = {0x05, 0x06, 0x07, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x12, 0x17, 0x18, 0x1C, 0x1D, 0x20,
                         0x21, 0x22, 0x23, 0x30, 0x34, 0x3C, 0x3D, 0x40, 0x47, 0x48, 0x49, 0x4E, 0x4F, 0x50, 0x52};
    All all;
    int i = 0;
    auto check = [&](CSwfAction& action) {
        EXPECT_EQ(action.GetActionCode(), codes[i]);
        EXPECT_EQ(Written(action), (Bytes{uint8_t(codes[i])}));
        EXPECT_EQ(action.GetSize(), 1);
        ++i;
    };
    std::apply([&](auto&... action) { (check(action), ...); }, all);
    EXPECT_EQ(i, 30);
}

struct Vector {
    const char* name;
    std::function<std::unique_ptr<CSwfAction>()> make;
    Bytes bytes;
};

TEST(SwfActions, PayloadActionsBothWays)
{
    const Vector vectors[] = {
        {"goto frame", [] { return std::make_unique<CActionGotoFrame>(5); }, {0x81, 0x02, 0x00, 0x05, 0x00}},
        {"get url", [] { return std::make_unique<CActionGetURL>("u", "_blank"); },
         Cat({{0x83, 0x09, 0x00, 'u', 0}, Str("_blank"), {0}})},
        {"store register", [] { return std::make_unique<CActionStoreRegister>(2); }, {0x87, 0x01, 0x00, 0x02}},
        {"constant pool",
         [] {
             auto p = std::make_unique<CActionConstantPool>();
             p->Add("a");
             p->Add("bc");
             return p;
         },
         {0x88, 0x07, 0x00, 0x02, 0x00, 'a', 0, 'b', 'c', 0}},
        {"wait for frame", [] { return std::make_unique<CActionWaitForFrame>(3, 1); },
         {0x8A, 0x03, 0x00, 0x03, 0x00, 0x01}},
        {"set target", [] { return std::make_unique<CActionSetTarget>("t"); }, {0x8B, 0x02, 0x00, 't', 0}},
        {"goto label", [] { return std::make_unique<CActionGotoLabel>("go"); }, {0x8C, 0x03, 0x00, 'g', 'o', 0}},
        {"wait for frame 2", [] { return std::make_unique<CActionWaitForFrame2>(2); }, {0x8D, 0x01, 0x00, 0x02}},
        {"with, no name", [] { return std::make_unique<CActionWith>(); }, {0x94, 0x02, 0x00, 0x00, 0x00}},
        {"with o",
         [] {
             auto w = std::make_unique<CActionWith>();
             w->name = "o";
             return w;
         },
         {0x94, 0x04, 0x00, 0x00, 0x00, 'o', 0}},
        {"push abc", [] { return std::make_unique<CActionPush>("abc"); }, {0x96, 0x05, 0x00, 0x00, 'a', 'b', 'c', 0}},
        {"push double",
         [] {
             auto p = std::make_unique<CActionPush>();
             p->PushDouble(1.0);
             return p;
         },
         {0x96, 0x09, 0x00, 0x06, 0x00, 0x00, 0xF0, 0x3F, 0x00, 0x00, 0x00, 0x00}},
        {"push float", [] { return std::make_unique<CActionPush>(1.5f); }, {0x96, 0x05, 0x00, 0x01, 0, 0, 0xC0, 0x3F}},
        {"push int first",
         [] {
             auto p = std::make_unique<CActionPush>("a");
             EXPECT_EQ(p->PushInt(7, 0), 5);
             return p;
         },
         {0x96, 0x08, 0x00, 0x07, 0x07, 0x00, 0x00, 0x00, 0x00, 'a', 0}},
        {"push small values",
         [] {
             auto p = std::make_unique<CActionPush>();
             p->PushNull();
             p->PushUndefined();
             p->PushRegister(1);
             p->PushBool(1);
             p->PushConstant16(0x1234);
             p->PushConstant8(uint8_t(300));
             return p;
         },
         {0x96, 0x0B, 0x00, 0x02, 0x03, 0x04, 0x01, 0x05, 0x01, 0x09, 0x34, 0x12, 0x08, 0x2C}},
        {"push register", [] { return std::make_unique<CActionPush>(uint8_t(4), 3u); }, {0x96, 0x02, 0x00, 0x04, 3}},
        {"jump back",
         [] {
             auto j = std::make_unique<CActionJump>();
             j->branchOffset = -5;
             return j;
         },
         {0x99, 0x02, 0x00, 0xFB, 0xFF}},
        {"if",
         [] {
             auto j = std::make_unique<CActionIf>();
             j->branchOffset = 10;
             return j;
         },
         {0x9D, 0x02, 0x00, 0x0A, 0x00}},
        {"get url 2", [] { return std::make_unique<CActionGetURL2>(0x40); }, {0x9A, 0x01, 0x00, 0x40}},
        {"define function",
         [] {
             auto f = std::make_unique<CActionDefineFunction>("f");
             f->params = {"x"};
             f->codeSize = 4;
             return f;
         },
         {0x9B, 0x08, 0x00, 'f', 0, 0x01, 0x00, 'x', 0, 0x04, 0x00}},
        {"goto frame 2 play", [] { return std::make_unique<CActionGotoFrame2>(true); }, {0x9F, 0x01, 0x00, 0x01}},
        // The scene bias is counted in the length.
        {"goto frame 2 bias",
         [] {
             auto g = std::make_unique<CActionGotoFrame2>(true);
             g->flags |= 2;
             g->sceneBias = 0x0102;
             return g;
         },
         {0x9F, 0x03, 0x00, 0x03, 0x02, 0x01}},
    };
    for (const Vector& v : vectors) {
        auto action = v.make();
        EXPECT_EQ(Written(*action), v.bytes) << v.name;
        EXPECT_EQ(action->GetSize(), int(v.bytes.size())) << v.name;
        auto parsed = ParseAction(v.bytes);
        EXPECT_EQ(parsed->GetActionCode(), action->GetActionCode()) << v.name;
        EXPECT_EQ(Written(*parsed), v.bytes) << v.name;
        EXPECT_EQ(parsed->GetSize(), int(v.bytes.size())) << v.name;
    }
}

TEST(SwfActions, ParsedFieldsComeBack)
{
    auto push = ParseAction({0x96, 0x0E, 0x00, 0x00, 'h', 'i', 0, 0x06, 0x00, 0x00, 0xF0, 0x3F, 0, 0, 0, 0, 0x0C});
    auto& p = static_cast<CActionPush&>(*push);
    ASSERT_EQ(p.values.size(), 3u);
    EXPECT_EQ(p.values[0].text, "hi");
    EXPECT_EQ(p.values[1].d, 1.0);
    EXPECT_EQ(p.values[2].type, CActionPush::kNull);  // unknown type 12 reads as null
    EXPECT_EQ(p.payloadSize, 14);

    auto pool = ParseAction({0x88, 0x07, 0x00, 0x02, 0x00, '/', 0, 'b', 'c', 0});
    EXPECT_EQ(static_cast<CActionConstantPool&>(*pool).strings, (std::vector<std::string>{"/", "bc"}));

    auto fn = ParseAction({0x9B, 0x08, 0x00, 'f', 0, 0x01, 0x00, 'x', 0, 0x04, 0x00});
    auto* raw = dynamic_cast<CActionRaw*>(fn.get());
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw->length, 8);

    // A length running past the data: only the values and strings present.
    EXPECT_EQ(static_cast<CActionPush&>(*ParseAction({0x96, 0xFF, 0xFF, 0x05})).values.size(), 1u);
    CSwfReader end;
    end.LoadBytes({0x88, 0xFF, 0xFF, 0x02, 0x00, 'a', 0}, 6);
    std::unique_ptr<CSwfAction> endPool = SwfCreateAction(end.ReadU8());
    endPool->Parse(end);
    EXPECT_EQ(static_cast<CActionConstantPool&>(*endPool).strings, std::vector<std::string>{"a"});

    // A value cut by the end of the data gives back only what it read past
    // the length: the next action never starts before this one.
    CSwfReader cutDouble;
    cutDouble.LoadBytes({0x96, 0x04, 0x00, 0x08, 0x57, 0x53, 0x06, 0x51}, 6);
    cutDouble.ReadU8();
    CActionPush pushed;
    pushed.Parse(cutDouble);
    EXPECT_EQ(cutDouble.GetPosition(), 7u);

    // A string running past the length gives the excess back.
    CSwfReader r;
    r.LoadBytes({0x96, 0x02, 0x00, 0x00, 'a', 'b', 0, 0x07}, 6);
    r.ReadU8();
    CActionPush cut;
    cut.Parse(r);
    EXPECT_EQ(r.GetPosition(), 5u);
}

TEST(SwfActions, PathPrefixIsCountedInTheSize)
{
    CActionPush push;
    push.PushString("/a");
    push.PushString("_root");
    push.PushString("b");
    push.pathPrefix = "x_clip";
    const Bytes expected = Cat({{0x96, 0x1A, 0x00, 0x00}, Str("/_clip/a"), {0, 0}, Str("_root._clip"), {0, 0, 'b', 0}});
    EXPECT_EQ(Written(push), expected);
    EXPECT_EQ(push.GetSize(), int(expected.size()));

    push.pathPrefix.clear();
    EXPECT_EQ(Written(push), Cat({{0x96, 0x0E, 0x00, 0x00}, Str("/a"), {0, 0}, Str("_root"), {0, 0, 'b', 0}}));

    CActionConstantPool pool;
    pool.Add("_root");
    pool.Add("x");
    pool.pathPrefix = "x_c";
    const Bytes poolBytes = Cat({{0x88, 0x0D, 0x00, 0x02, 0x00}, Str("_root._c"), {0, 'x', 0}});
    EXPECT_EQ(Written(pool), poolBytes);
    EXPECT_EQ(pool.GetSize(), int(poolBytes.size()));
}

TEST(SwfActions, ConstantPoolAddAndFind)
{
    CActionConstantPool pool;
    pool.Add("a");
    pool.Add("a");
    pool.Add("b", 0);
    pool.Add("c", 99);
    EXPECT_EQ(pool.strings, (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(pool.Find("c"), 2);
    EXPECT_EQ(pool.Find("z"), -1);
}

TEST(SwfActions, OffsetIdsMoveFramesOnly)
{
    CActionGotoFrame g(10);
    g.OffsetIds(0, 0, 3);
    EXPECT_EQ(g.frame, 13);
    CActionWaitForFrame w(65534, 0);
    w.OffsetIds(0, 0, 5);
    EXPECT_EQ(w.frame, 65535);  // saturates instead of wrapping to frame 3
    CActionGetURL u("a", "b");
    u.OffsetIds(7, 7, 7);
    EXPECT_EQ(Written(u), Written(*std::make_unique<CActionGetURL>("a", "b")));
}

// ---- blocks

CSwfBranchAction& Branch(CTagDoAction& block, size_t i) { return static_cast<CSwfBranchAction&>(*block.actions[i]); }

TEST(SwfActionBlock, BranchOffsetsFollowTheInnermostBlock)
{
    CTagDoAction block;
    block.AddAction(new CActionJump);
    EXPECT_EQ(block.AddAction(new CActionPush("a")), 6);
    block.AddAction(new CActionStop);
    block.EndBlock();
    block.AddAction(new CActionPlay);
    EXPECT_EQ(Branch(block, 0).branchOffset, 7);

    CTagDoAction nested;
    nested.AddAction(new CActionJump);
    nested.AddAction(new CActionIf);
    nested.AddAction(new CActionStop);
    nested.AddAction(new CActionStop);
    nested.EndBlock();
    nested.AddAction(new CActionPlay);
    nested.EndBlock();
    nested.EndBlock();  // nothing open: no effect
    nested.AddAction(new CActionPlay);
    EXPECT_EQ(Branch(nested, 0).branchOffset, 5 + 1);
    EXPECT_EQ(Branch(nested, 1).branchOffset, 2);

    CTagDoAction untracked;
    untracked.SetBranchTracking(false, true);
    untracked.AddAction(new CActionJump);
    untracked.AddAction(new CActionStop);
    EXPECT_EQ(Branch(untracked, 0).branchOffset, 0);
}

TEST(SwfActionBlock, HeadersAndEmptyBlocks)
{
    CTagDoAction empty;
    EXPECT_EQ(Written(empty), Bytes{});

    CTagDoInitAction init(7);
    EXPECT_EQ(Written(init), (Bytes{0xFF, 0x0E, 0x03, 0, 0, 0, 0x07, 0x00, 0x00}));

    // Always the long header, even for a short body.
    CTagDoAction shortBlock;
    shortBlock.AddAction(new CActionGotoFrame(1));
    shortBlock.AddAction(new CActionPlay);
    shortBlock.AddAction(new CActionStop);
    shortBlock.AddAction(new CActionStop);
    shortBlock.AddAction(new CActionStop);
    shortBlock.AddAction(new CActionStop);
    const Bytes expected{0x3F, 0x03, 0x0B, 0, 0, 0, 0x81, 0x02, 0x00, 0x01, 0x00, 0x06, 0x07, 0x07, 0x07, 0x07, 0x00};
    EXPECT_EQ(Written(shortBlock), expected);

    CTagDoAction parsed;
    EXPECT_EQ(ParseTag(parsed, expected), 11);
    EXPECT_EQ(parsed.actions.size(), 6u);
    EXPECT_EQ(Written(parsed), expected);

    CTagDoAction bare;
    bare.suppressHeader = true;
    bare.AddAction(new CActionPlay);
    EXPECT_EQ(Written(bare), (Bytes{0x06, 0x00}));
}

TEST(SwfActionBlock, DroppedGotoAndPlayLeaveOnlyTheEndByte)
{
    CTagDoAction block;
    block.AddAction(new CActionGotoFrame(5));
    block.AddAction(new CActionPlay);
    block.dropGotoFrame = true;
    block.dropFrame = 5;
    EXPECT_EQ(Written(block), (Bytes{0x3F, 0x03, 0x01, 0, 0, 0, 0x00}));
    block.dropFrame = 6;
    EXPECT_EQ(Written(block).size(), 6u + 5 + 1 + 1);
}

TEST(SwfActionBlock, BranchesOverDroppedActionsLandOnTheSameAction)
{
    // if (...) { stop; push "x" } play  --  with stops dropped on writing.
    CTagDoAction block;
    block.AddAction(new CActionPush("c"));
    block.AddAction(new CActionIf);
    block.AddAction(new CActionStop);
    block.AddAction(new CActionPush("x"));
    block.EndBlock();
    block.AddAction(new CActionPlay);
    // A backward jump over a Stop, and a function whose body holds a Stop.
    block.AddAction(new CActionStop);
    auto* back = new CActionJump;
    back->branchOffset = -(6 + 1 + 1 + 5);  // to the Push "x"
    block.AddAction(back);
    block.EndBlock();  // a backward jump closes at once
    auto* fn = new CActionDefineFunction("f");
    fn->codeSize = 2;
    block.AddAction(fn);
    block.AddAction(new CActionStop);
    block.AddAction(new CActionPlay);
    EXPECT_EQ(Branch(block, 1).branchOffset, 7);
    block.dropStop = true;

    const Bytes written = Written(block);
    CTagDoAction parsed;
    ParseTag(parsed, written);
    ASSERT_EQ(parsed.actions.size(), 7u);
    EXPECT_EQ(Branch(parsed, 1).branchOffset, 6);   // skips only Push "x"
    EXPECT_EQ(Branch(parsed, 4).branchOffset, -12);  // Jump(5) + Play(1) + Push "x"(6)
    auto& raw = static_cast<CActionRaw&>(*parsed.actions[5]);
    int32_t body = 0;
    ASSERT_TRUE(raw.GetSpan(body));
    EXPECT_EQ(body, 1);  // only the Play is left in the body
    // The block itself keeps its offsets for another write.
    EXPECT_EQ(Branch(block, 1).branchOffset, 7);
}

TEST(SwfActionBlock, OverlongBranchFailsInsteadOfWrapping)
{
    std::unique_ptr<CTagDoAction> block(OverlongBranchBlock());
    CSwfStream s(6);
    block->Write(s);
    EXPECT_TRUE(s.Failed());
    EXPECT_NE(s.GetError().find("branch"), std::string::npos);
}

TEST(SwfActionBlock, GotoFrame2PadByteAndTagEnd)
{
    // GotoFrame2 followed by a zero pad byte inside the tag, then Play and the end byte.
    const Bytes tag{0x3F, 0x03, 0x07, 0, 0, 0, 0x9F, 0x01, 0x00, 0x01, 0x00, 0x06, 0x00};
    CTagDoAction block;
    ASSERT_EQ(ParseTag(block, tag), 7);
    ASSERT_EQ(block.actions.size(), 2u);
    auto& g = static_cast<CActionGotoFrame2&>(*block.actions[0]);
    EXPECT_TRUE(g.hasPadByte);
    EXPECT_EQ(g.GetSize(), 5);
    EXPECT_EQ(Written(block), tag);

    // The zero byte that ends the block is not taken as a pad byte.
    const Bytes plain{0x3F, 0x03, 0x05, 0, 0, 0, 0x9F, 0x01, 0x00, 0x01, 0x00};
    CTagDoAction second;
    ParseTag(second, plain);
    ASSERT_EQ(second.actions.size(), 1u);
    EXPECT_FALSE(static_cast<CActionGotoFrame2&>(*second.actions[0]).hasPadByte);
}

TEST(SwfActionBlock, InitActionParseAndOffsets)
{
    CTagDoInitAction init(3);
    init.AddAction(new CActionStop);
    init.AddAction(nullptr);
    const Bytes bytes = Written(init);
    CTagDoInitAction parsed;
    EXPECT_EQ(ParseTag(parsed, bytes), 4);
    EXPECT_EQ(parsed.spriteId, 3);
    ASSERT_EQ(parsed.actions.size(), 1u);
    parsed.OffsetIds(100, 0, 0);
    EXPECT_EQ(parsed.spriteId, 103);

    CTagDoAction block;
    block.AddAction(new CActionGotoFrame(1));
    block.OffsetIds(0, 0, 2);
    EXPECT_EQ(static_cast<CActionGotoFrame&>(*block.actions[0]).frame, 3);
}

}  // namespace
