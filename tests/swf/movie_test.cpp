#include <gtest/gtest.h>

#include "support/file_size_limit.h"
#include "support/swf_tools.h"
#include "swf/actions.h"
#include "swf/control_tags.h"
#include "swf/display_tags.h"
#include "swf/movie.h"
#include "round_trip.h"
#include "support/test_support.h"

namespace {

using tavrel_test::ReadFile;
using tavrel_test::TempDir;

Bytes FileBytes(const std::string& path)
{
    const std::string s = ReadFile(path);
    return Bytes(s.begin(), s.end());
}

// A small movie opened on a fresh file; the test asserts it opened.
bool OpenSmall(CSwfMovie& movie, const std::string& path)
{
    movie.SetHeader(400, 400, 12.0f, 6);
    return movie.Open(path, false);
}

TEST(SwfHeader, BothWays)
{
    CSwfHeader h;
    h.Set(0, 0, 6400, 4800, 29.97f, 6);
    h.SetFileLength(20);
    h.SetFrameCount(3);
    CSwfStream s;
    EXPECT_EQ(h.Write(s), 1);
    const Bytes expected{'F', 'W', 'S', 6, 20, 0, 0, 0, 0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00, 0xF8, 0x1D, 3, 0};
    EXPECT_EQ(s.GetBuffer(), expected);
    CSwfHeader back;
    EXPECT_EQ(ParseBody(back, expected), 20);
    EXPECT_EQ(back.version, 6);
    EXPECT_EQ(back.GetWidth(), 6400);
    EXPECT_EQ(back.frameCount, 3);
    EXPECT_NEAR(back.frameRate, 29.97, 0.004);

    CSwfHeader bad;
    EXPECT_EQ(ParseBody(bad, {'C', 'W', 'S', 6}), 0);
    CSwfHeader noSignature;
    CSwfReader r;
    r.LoadBytes(Bytes(expected.begin() + 4, expected.end()), 6);
    EXPECT_EQ(noSignature.Parse(r, false), 16);
    EXPECT_EQ(noSignature.frameCount, 3);
}

TEST(SwfMovie, EmptyMovieIsTwentyBytes)
{
    TempDir dir;
    CSwfMovie movie;
    movie.SetHeader(320 * 20, 240 * 20, 12.0f, 6);
    ASSERT_TRUE(movie.Open(dir.file("empty.swf"), false));
    EXPECT_EQ(movie.AddTag(nullptr), 0);
    EXPECT_EQ(movie.Close(), 20u);
    // The placeholder frame count 1 becomes 0: no ShowFrame was added.
    EXPECT_EQ(FileBytes(dir.file("empty.swf")),
              (Bytes{'F', 'W', 'S', 6, 20, 0, 0, 0, 0x70, 0x00, 0x0C, 0x80, 0x00, 0x00, 0x96, 0x00, 0x00, 0x0C, 0, 0}));
    // Not read back: lacking an End tag, it reads as if it had one.
}

TEST(SwfMovie, OpenRefusesWhatItMustNotReplace)
{
    TempDir dir;
    tavrel_test::WriteFile(dir.file("old.swf"), "keep");
    CSwfMovie movie;
    EXPECT_FALSE(movie.Open(dir.file("old.swf"), false));
    EXPECT_EQ(ReadFile(dir.file("old.swf")), "keep");
    EXPECT_FALSE(movie.Open(dir.path(), true));
    EXPECT_FALSE(movie.Open(dir.file("missing/x.swf"), true));
    EXPECT_TRUE(movie.Open(dir.file("old.swf"), true));
    EXPECT_GT(movie.Close(), 0u);
    EXPECT_EQ(movie.Close(), 0u);  // nothing open any more
}

TEST(SwfMovie, FullDiskIsReportedByClose)
{
    // A file-size limit stands in for a full disk: writes past it fail.
    TempDir dir;
    tavrel_test::ScopedFileSizeLimit limit(64);
    ASSERT_TRUE(limit.Active());
    CSwfMovie movie;
    const bool opened = OpenSmall(movie, dir.file("full.swf"));
    for (int i = 0; opened && i < 100; ++i) movie.AddTag(new CTagFrameLabel(std::to_string(i).c_str()));
    const uint32_t length = opened ? movie.Close() : 1;
    limit.Lift();
    ASSERT_TRUE(opened);
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(movie.Failed());
    EXPECT_NE(movie.GetError().find("cannot write the movie"), std::string::npos) << movie.GetError();
}

struct FrameLog {
    CSwfMovie* movie;
    std::vector<intptr_t> frames;
    void OnFrame(intptr_t index)
    {
        frames.push_back(index);
        // A ShowFrame from inside the callback is counted and written, but emits nothing.
        if (index == 1) movie->AddTag(new CTagShowFrame);
    }
};

TEST(SwfMovie, FramesLabelsAndSignal)
{
    TempDir dir;
    CSwfMovie movie;
    FrameLog log{&movie, {}};
    movie.frameSignal.Connect(Callback::BindMember(&log, &FrameLog::OnFrame));
    ASSERT_TRUE(OpenSmall(movie, dir.file("frames.swf")));

    EXPECT_GT(movie.AddTag(new CTagFrameLabel("a")), 0);
    auto* dup = new CTagFrameLabel("a");
    EXPECT_EQ(movie.AddTag(dup, true), 0);  // kept: still ours to delete
    delete dup;
    EXPECT_EQ(movie.AddTag(new CTagFrameLabel("a")), 0);
    EXPECT_GT(movie.AddTag(new CTagFrameLabel("A")), 0);  // case matters
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);  // the reader supplies a missing one, which would not read back to the same bytes
    EXPECT_EQ(log.frames, (std::vector<intptr_t>{0, 1, 3}));
    EXPECT_EQ(movie.GetFrameCount(), 4);
    const uint32_t length = movie.Close();
    const Bytes bytes = FileBytes(dir.file("frames.swf"));
    ASSERT_EQ(bytes.size(), length);
    CSwfReader r;
    r.LoadBytes(bytes, 6);
    CSwfHeader h;
    h.Parse(r);
    EXPECT_EQ(h.frameCount, 4);
    EXPECT_EQ(h.fileLength, length);
    ExpectReadsBackToSameBytes(dir.file("frames.swf"));
}

TEST(SwfMovie, FrameCountCannotPass65535)
{
    TempDir dir;
    CSwfMovie movie;
    ASSERT_TRUE(OpenSmall(movie, dir.file("long.swf")));
    CTagShowFrame frame;
    for (int i = 0; i < 65535; ++i) movie.AddTag(&frame, true);
    EXPECT_FALSE(movie.Failed());
    EXPECT_EQ(movie.AddTag(&frame, true), 0);
    EXPECT_TRUE(movie.Failed());
    EXPECT_FALSE(movie.PatchRecorded(1));  // a failed movie stays failed
    EXPECT_EQ(movie.Close(), 0u);
}

TEST(SwfMovie, UnrepresentableTagFailsTheMovie)
{
    TempDir dir;
    CSwfMovie movie;
    ASSERT_TRUE(OpenSmall(movie, dir.file("bad.swf")));
    EXPECT_EQ(movie.AddTag(OverlongBranchBlock()), 0);
    EXPECT_NE(movie.GetError().find("branch"), std::string::npos);
    EXPECT_EQ(movie.Close(), 0u);
}

TEST(SwfMovie, RecordedDepthsArePatchedInOrder)
{
    TempDir dir;
    CSwfMovie movie;
    ASSERT_TRUE(OpenSmall(movie, dir.file("patch.swf")));
    movie.SetRecordPlacements(true);
    movie.SetRecordClipDepths(true);
    for (uint16_t depth : {30, 10, 30, 40}) {
        auto* p = new CTagPlaceObject2;
        p->SetCharacterId(1);
        p->depth = depth;
        if (depth == 10 || depth == 40) {
            p->hasClipDepth = true;
            p->clipDepth = depth == 10 ? 25 : 50;
        }
        if (depth == 40) {
            // Clip actions widen in version 6, which takes this body into the
            // long header form: the clip depth moves with it.
            auto* handler = new CSwfClipAction(1);
            handler->actions->AddAction(new CActionGetURL(std::string(32, 'u'), ""));
            p->AddClipAction(handler);
        }
        movie.AddTag(p);
    }
    movie.AddTag(new CTagRemoveObject2(20));
    movie.SetRecordPlacements(false);
    movie.SetRecordClipDepths(false);
    movie.AddTag(new CTagRemoveObject2(99));  // not recorded
    ASSERT_EQ(movie.GetRecords().size(), 7u);
    EXPECT_TRUE(movie.PatchRecorded(100));
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    ASSERT_GT(movie.Close(), 0u);

    // Depths 10 < 20 < 25 < 30 < 40 < 50 become 101 .. 106.
    CSwfReader r;
    r.LoadBytes(FileBytes(dir.file("patch.swf")), 6);
    CSwfHeader h;
    h.Parse(r);
    std::vector<int> depths;
    int code = 0;
    uint32_t length = 0;
    while (r.ReadTagHeader(code, length) && code != 0) {
        const uint32_t end = r.GetPosition() + length;
        if (code == swf_tag::kPlaceObject2) {
            CTagPlaceObject2 p;
            p.Parse(r);
            depths.push_back(p.depth);
            if (p.hasClipDepth) depths.push_back(p.clipDepth);
        } else if (code == swf_tag::kRemoveObject2) {
            CTagRemoveObject2 rm;
            rm.Parse(r);
            depths.push_back(rm.depth);
        }
        r.Seek(end);
    }
    EXPECT_EQ(depths, (std::vector<int>{104, 101, 103, 104, 105, 106, 102, 99}));
    ExpectReadsBackToSameBytes(dir.file("patch.swf"));
}

TEST(SwfMovie, FitsMaxFrame)
{
    EXPECT_FALSE(CSwfMovie::FitsMaxFrame(25600, 19200));
    EXPECT_TRUE(CSwfMovie::FitsMaxFrame(25600, 19199));
    EXPECT_TRUE(CSwfMovie::FitsMaxFrame(25599, 30000));
}

// ---- independent check with the shared checkers

CTagPlaceObject2* Place(uint16_t id, uint16_t depth, int x, int y)
{
    auto* p = new CTagPlaceObject2;
    if (id) p->SetCharacterId(id);
    p->move = id == 0;
    p->depth = depth;
    auto* m = new CSwfMatrix;
    m->translateX = x;
    m->translateY = y;
    p->SetMatrix(m);
    return p;
}

void WriteCheckMovie(const std::string& path)
{
    CSwfMovie movie;
    movie.SetHeader(200 * 20, 100 * 20, 12.0f, 6);
    ASSERT_TRUE(movie.Open(path, false));
    movie.AddTag(new CTagSetBackgroundColor(255, 255, 255));
    movie.AddTag(new CTagFrameLabel("start"));
    movie.AddTag(Rect(1, 0, 0, 2000, 2000, CFillStyle::MakeSolid(0x0000FF)).release());  // red
    movie.AddTag(Rect(2, 0, 0, 2000, 2000, CFillStyle::MakeSolid(0xFF0000)).release());  // blue
    movie.AddTag(Place(1, 1, 0, 0));
    movie.AddTag(new CTagShowFrame);

    movie.AddTag(new CTagFrameLabel("second"));
    movie.AddTag(Place(0, 1, 2000, 0));
    movie.AddTag(new CTagShowFrame);

    movie.AddTag(new CTagRemoveObject2(1));
    movie.AddTag(Place(2, 2, 1000, 0));
    // if (false) { stop } else { (nothing) }, with Stops dropped on writing.
    auto* block = new CTagDoAction;
    auto* push = new CActionPush;
    push->PushBool(1);
    block->AddAction(push);
    block->AddAction(new CActionIf);
    block->AddAction(new CActionStop);
    block->AddAction(new CActionPush("x"));
    block->AddAction(new CActionPop);
    block->EndBlock();
    block->AddAction(new CActionJump);
    block->AddAction(new CActionStop);
    block->EndBlock();
    block->AddAction(new CActionStop);
    block->dropStop = true;
    movie.AddTag(block);
    movie.AddTag(new CTagShowFrame);
    movie.AddTag(new CTagEnd);
    EXPECT_GT(movie.Close(), 0u) << movie.GetError();
}

TEST(SwfMovieCheckers, DumpAcceptsTheMovie)
{
    TempDir dir;
    WriteCheckMovie(dir.file("check.swf"));
    tavrel_test::ExpectDumpAccepts(dir.file("check.swf"), {"SetBackgroundColor", "FrameLabel", "DefineShape",
                                                           "PlaceObject2", "RemoveObject2", "DoAction",
                                                           "ShowFrame", "End"});
    ExpectReadsBackToSameBytes(dir.file("check.swf"));
}

TEST(SwfMovieCheckers, PlayerShowsThePlacements)
{
    TempDir dir;
    WriteCheckMovie(dir.file("check.swf"));
    tavrel_test::ExpectShotPixels(dir.file("check.swf"), 1, {{50, 50, 0xFF0000}, {150, 50, 0xFFFFFF}});
    tavrel_test::ExpectShotPixels(dir.file("check.swf"), 2, {{50, 50, 0xFFFFFF}, {150, 50, 0xFF0000}});
    tavrel_test::ExpectShotPixels(dir.file("check.swf"), 3,
                                  {{25, 50, 0xFFFFFF}, {75, 50, 0x0000FF}, {140, 50, 0x0000FF}, {175, 50, 0xFFFFFF}});
}

}  // namespace
