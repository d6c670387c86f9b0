#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "foundation/code_bundle.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// Name.bundle/Contents/MacOS/Name holding a copy of the module.
std::string MakeBundle(const tavrel_test::TempDir& dir, const std::string& name, const char* module)
{
    const std::string bundle = dir.file(name + ".bundle");
    fs::create_directories(bundle + "/Contents/MacOS");
    fs::copy_file(module, bundle + "/Contents/MacOS/" + name);
    return bundle;
}

bool IsLoadedInProcess(const std::string& file)
{
    void* h = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

using AnswerProc = int (*)();
using LastCallProc = const char* (*)();

}  // namespace

TEST(CBundle, FindsExportsOfABundleOrASharedObject)
{
    CBundle empty;
    EXPECT_EQ(empty.GetFunction("TestBundleAnswer"), nullptr);
    EXPECT_TRUE(empty.Unload());

    tavrel_test::TempDir dir;
    for (const std::string& path : {MakeBundle(dir, "Answer", TAVREL_TEST_BUNDLE), std::string(TAVREL_TEST_BUNDLE)}) {
        SCOPED_TRACE(path);
        CBundle bundle;
        ASSERT_TRUE(bundle.Load(path.c_str())) << bundle.GetLoadError();
        const auto answer = reinterpret_cast<AnswerProc>(bundle.GetFunction("TestBundleAnswer"));
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer(), 42);
        EXPECT_EQ(bundle.GetFunction("NoSuchEntry"), nullptr);
        EXPECT_EQ(bundle.GetFunction(nullptr), nullptr);
        EXPECT_TRUE(bundle.Unload());
        EXPECT_EQ(bundle.GetFunction("TestBundleAnswer"), nullptr);
    }

    CBundle bundle;
    EXPECT_FALSE(bundle.Load(dir.file("Missing.bundle").c_str()));
    EXPECT_FALSE(bundle.Load(nullptr));
    fs::create_directories(dir.file("Empty.bundle/Contents/MacOS"));
    EXPECT_FALSE(bundle.Load(dir.file("Empty.bundle").c_str()));
    ASSERT_TRUE(tavrel_test::WriteFile(dir.file("Junk.bundle"), "not code"));
    EXPECT_FALSE(bundle.Load(dir.file("Junk.bundle").c_str()));
    EXPECT_FALSE(bundle.GetLoadError().empty());
}

TEST(CBundle, LoadingAgainUnloadsTheOldBundle)
{
    tavrel_test::TempDir dir;
    const std::string first = MakeBundle(dir, "First", TAVREL_TEST_BUNDLE);
    const std::string second = MakeBundle(dir, "Second", TAVREL_TEST_BUNDLE_PLAIN);
    const std::string firstCode = first + "/Contents/MacOS/First";
    CBundle bundle;
    ASSERT_TRUE(bundle.Load(first.c_str()));
    EXPECT_TRUE(IsLoadedInProcess(firstCode));
    ASSERT_TRUE(bundle.Load(second.c_str()));
    EXPECT_FALSE(IsLoadedInProcess(firstCode));
    EXPECT_EQ(bundle.GetFunction("LockProcessPreloader"), nullptr);
    // A failed load leaves nothing loaded, not the old bundle.
    EXPECT_FALSE(bundle.Load(dir.file("Missing.bundle").c_str()));
    EXPECT_FALSE(bundle.IsLoaded());
}

// The entry point gets the bundle's folder and may move the ids; an older
// bundle without it succeeds and leaves them alone.
TEST(CLockBundle, CallsTheEntryPointWithTheBundleFolder)
{
    tavrel_test::TempDir dir;
    struct Case {
        const char* module;
        uint16_t id, depth;
        int frames;
        std::string lastCall;
    } cases[] = {{TAVREL_TEST_BUNDLE, 6, 12, 4, "preload.swf|" + dir.path() + "|movie"},
                 {TAVREL_TEST_BUNDLE_PLAIN, 5, 10, 1, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        std::filesystem::remove_all(dir.file("vtx.bundle"));
        CLockBundle lock;
        ASSERT_TRUE(lock.Load(MakeBundle(dir, "vtx", c.module).c_str()));
        EXPECT_EQ(lock.GetFolder().GetText(), dir.path());
        int movie = 0, frames = 1;
        uint16_t id = 5, depth = 10;
        EXPECT_TRUE(lock.Process("preload.swf", reinterpret_cast<CSwfMovie*>(&movie), &id, &depth, &frames));
        EXPECT_EQ(std::make_tuple(id, depth, frames), std::make_tuple(c.id, c.depth, c.frames));
        const auto lastCall = reinterpret_cast<LastCallProc>(lock.GetBundle().GetFunction("TestBundleLastCall"));
        ASSERT_NE(lastCall, nullptr);
        EXPECT_EQ(std::string(lastCall()), c.lastCall);
    }
    // The entry point's zero is a failure.
    CLockBundle lock;
    ASSERT_TRUE(lock.Load(MakeBundle(dir, "fail", TAVREL_TEST_BUNDLE).c_str()));
    uint16_t id = 5, depth = 10;
    int frames = 0;
    EXPECT_FALSE(lock.Process("fail", nullptr, &id, &depth, &frames));
    EXPECT_FALSE(CLockBundle().Load(dir.file("none.bundle").c_str()));
}
