#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/file_services.h"
#include "support/file_size_limit.h"
#include "ui/file_dialogs.h"
#include "ui/file_relocation.h"
#include "ui_fixture.h"
#include "support/toolbox_log.h"

namespace tavrel_test {
namespace {

class FileDialogTest : public UiTest {
protected:
    FileDialogTest() { platform::ClearNavLog(); }
    ~FileDialogTest() override { ClearRelocationFolders(); }

    void Touch(const std::string& name, OSType type = 0)
    {
        WriteFile(dir_.file(name), "x");
        if (!type) return;
        CFileInfo info;
        info.type = type;
        ASSERT_TRUE(CreateTypedFile(CPath(dir_.file(name)), &info, true));
    }
    static OSType FinderType(const std::string& path, OSType* creator = nullptr)
    {
        CURLRef file;
        file.SetPath(CPath(path));
        CFinderInfo info;
        if (!GetFileFinderInfo(file, info)) return 0;
        if (creator) *creator = info.creator;
        return info.type;
    }
    static WindowClass FrontClass()
    {
        WindowClass cls = 0;
        GetWindowClass(FrontWindow(), &cls);
        return cls;
    }

    TempDir dir_;
};

TEST_F(FileDialogTest, RelocationFoldersAreSearchedInOrder)
{
    TempDir a, b;
    WriteFile(b.file("Song.mp3"), "b");
    WriteFile(a.file("Other.mp3"), "a");
    CPath found("unchanged");
    EXPECT_FALSE(FindInRelocationFolders(CPath("/gone/Song.mp3"), &found));
    AddRelocationFolder(CPath(a.file("Other.mp3")));
    AddRelocationFolder(CPath(b.file("x.png")));
    ASSERT_TRUE(FindInRelocationFolders(CPath("/gone/Song.mp3"), &found));
    EXPECT_EQ(found.GetFullPath(), b.file("Song.mp3"));
    WriteFile(a.file("Song.mp3"), "a");
    ASSERT_TRUE(FindInRelocationFolders(CPath("/gone/Song.mp3"), &found));
    EXPECT_EQ(found.GetFullPath(), a.file("Song.mp3"));
    ClearRelocationFolders();
    EXPECT_FALSE(FindInRelocationFolders(CPath("/gone/Song.mp3"), &found));
}

TEST_F(FileDialogTest, RelocateShowsFoldersAndTheSameNameOnly)
{
    Touch("beach.jpg");
    Touch("Beach2.jpg");
    Touch("other.png");
    ASSERT_TRUE(CPath(dir_.file("Trips/")).CreateDirectory());
    CRelocationEntry entry;
    CPath chosen("untouched");
    user_.ChooseFiles(dir_.path(), {"beach.jpg"});
    ASSERT_TRUE(RelocateFile(&entry, nullptr, CPath("/old/place/Beach.JPG"), &chosen));
    EXPECT_EQ(chosen.GetFullPath(), dir_.file("beach.jpg"));
    ASSERT_EQ(platform::NavLog().size(), 1u);
    EXPECT_EQ(platform::NavLog()[0].title, "Please Relocate: Beach.JPG");
    EXPECT_EQ(platform::NavLog()[0].shown, (std::vector<std::string>{"Trips", "beach.jpg"}));

    user_.CancelFileDialog(dir_.path());
    EXPECT_FALSE(RelocateFile(&entry, nullptr, CPath("/old/place/Beach.JPG"), &chosen));
    EXPECT_EQ(chosen.GetFullPath(), dir_.file("beach.jpg"));
}

TEST_F(FileDialogTest, RelocateDialogButtonsGiveTheirAnswers)
{
    const char* texts[] = {"Missing Picture", "The picture a.jpg cannot be found."};
    const struct {
        OSType button;
        int result;
    } cases[] = {{FourCC("ok  "), int(FourCC("ok  "))},
                 {FourCC("bDnt"), 1001},
                 {FourCC("bRep"), 1002},
                 {FourCC("bCan"), int(FourCC("not!"))}};
    for (const auto& c : cases) {
        SCOPED_TRACE(LoggingWindow::Code(c.button));
        CRelocateDialog dialog(texts);
        user_
            .Do([] {
                CFStringRef title = nullptr;
                ASSERT_EQ(CopyWindowTitleAsCFString(FrontWindow(), &title), noErr);
                CCFString held;
                held.Attach(title);
                EXPECT_EQ(held.ToStdString(), "Missing Picture");
                EXPECT_EQ(FrontClass(), kMovableModalWindowClass);
            })
            .ClickControl(FakeUser::Front(), c.button, 20000);
        EXPECT_EQ(dialog.Run(nullptr), c.result);
    }
}

TEST_F(FileDialogTest, ReplaceDialogAnswersByButtonAndApplyToAll)
{
    LoggingWindow parent;
    parent.CreateFromNibName(nib_, "IDD_TEST", nullptr, 0);
    ASSERT_NE(parent.GetWindow(), nullptr);
    parent.Show(true);
    Touch("a.png");
    const CPath item(dir_.file("a.png"));
    const struct {
        int mode;
        bool applyToAll;
        OSType button;
        int result;
    } cases[] = {
        {1, true, FourCC("bDnt"), 1003},  {1, false, FourCC("bDnt"), 1002}, {1, true, FourCC("ok  "), 1001},
        {1, false, FourCC("ok  "), 1000}, {1, false, FourCC("bStp"), 1004}, {0, false, FourCC("bDnt"), 1002},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(LoggingWindow::Code(c.button) + (c.applyToAll ? " all" : ""));
        CReplaceDialog dialog(&item, c.mode);
        user_.Do([&] {
            EXPECT_EQ(FrontClass(), kSheetWindowClass);
            ControlID all{FourCC("cAll"), 20000};
            ControlRef box = nullptr;
            EXPECT_EQ(GetControlByID(FrontWindow(), &all, &box) == noErr, c.mode == 1);
        });
        if (c.applyToAll) user_.ClickControl(FakeUser::Front(), FourCC("cAll"), 20000);
        user_.ClickControl(FakeUser::Front(), c.button, 20000);
        EXPECT_EQ(dialog.Run(parent.GetWindow()), c.result);
    }
}

TEST_F(FileDialogTest, AskReplaceFileWithoutParentIsMovableModal)
{
    EXPECT_EQ(AskReplaceFile(CPath(dir_.file("none.png")), nullptr, 0), -1);
    Touch("a.png");
    user_.Do([] { EXPECT_EQ(FrontClass(), kMovableModalWindowClass); })
        .ClickControl(FakeUser::Front(), FourCC("ok  "), 20000);
    EXPECT_EQ(AskReplaceFile(CPath(dir_.file("a.png")), nullptr, 0), 1000);
}

TEST_F(FileDialogTest, FileTypeTable)
{
    const struct {
        OSType type;
        const char* extensions;  // null: none
        const char* name;        // null: unknown type
    } cases[] = {
        {FourCC("TPIC"), "tga;targa", "Targa"},    {FourCC("Mp3 "), "mp3", "MP3"},
        {FourCC("pTvr"), "tvr", "Tavrel Project"}, {FourCC("Midi"), nullptr, "Midi"},
        {FourCC("zzzz"), nullptr, nullptr},
    };
    for (const auto& c : cases) {
        char extensions[64] = "same", name[64] = "same";
        EXPECT_EQ(GetTypeExtensions(c.type, extensions), c.extensions != nullptr);
        EXPECT_STREQ(extensions, c.extensions ? c.extensions : "same");
        EXPECT_EQ(GetTypeName(c.type, name), c.name != nullptr);
        EXPECT_STREQ(name, c.name ? c.name : "same");
    }
}

TEST_F(FileDialogTest, TextFileStreamCreatesTypedFileAndReportsAFullDisk)
{
    const std::string path = dir_.file("index.html");
    CTextFileStream out;
    ASSERT_TRUE(out.Open(CPath(path), nullptr, false));
    out.WriteString("count ").WriteInt(-42);
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(ReadFile(path), "count -42");
    OSType creator = 0;
    EXPECT_EQ(FinderType(path, &creator), FourCC("TEXT"));
    EXPECT_EQ(creator, FourCC("ttex"));

    CTextFileStream again;
    EXPECT_FALSE(again.Open(CPath(path), nullptr, false));  // exists and not to be replaced

    CTextFileStream full;
    ASSERT_TRUE(full.Open(CPath(path), nullptr, true));
    {
        ScopedFileSizeLimit limit(1024);
        ASSERT_TRUE(limit.Active());
        full.WriteString(std::string(64 * 1024, 'x').c_str());
        EXPECT_FALSE(full.Close());
    }
}

TEST_F(FileDialogTest, StandardListsAndPositions)
{
    CFileTypeList images;
    images.AddImageTypes();
    std::vector<std::string> names;
    for (int i = 0; i < images.GetCount(); ++i) names.push_back(images.GetFilter(i)->name);
    EXPECT_EQ(names, (std::vector<std::string>{"All Images", "Bitmap", "GIF", "JPEG", "PICT", "PNG", "Photoshop",
                                               "TIFF", "Targa", "All Files"}));
    EXPECT_EQ(images.GetFilter(0)->entries.size(), 8u);
    EXPECT_EQ(images.GetFilter(3)->entries[0]->extensions, (std::vector<std::string>{"jpg", "jpeg"}));
    for (int outside : {-1, 10, 11, 1000}) EXPECT_EQ(images.GetFilter(outside), nullptr) << outside;

    CFileTypeList list;
    list.AddTextType();
    list.AddType(FourCC("GIFf"), "Pictures", 0, 1);
    list.AddType(FourCC("zzzz"), nullptr, 0, -7);
    list.AddAllFiles(3);
    names.clear();
    for (int i = 0; i < list.GetCount(); ++i) names.push_back(list.GetFilter(i)->name);
    EXPECT_EQ(names, (std::vector<std::string>{"", "Text", "Pictures", "All Files", "All Files"}));
    EXPECT_TRUE(list.GetFilter(3)->MatchesType(FourCC("abcd")));
    EXPECT_FALSE(list.GetFilter(3)->MatchesExtension("png"));
}

TEST_F(FileDialogTest, OpenDialogShowsWhatTheChosenFormatMatches)
{
    Touch("a.bmp");
    Touch("PICTURE.JPG");
    Touch("typed.dat", FourCC("JPEG"));
    Touch("notes.txt");
    Touch("README");
    ASSERT_TRUE(CPath(dir_.file("Sub/")).CreateDirectory());
    CFileTypeList images;
    images.AddImageTypes();
    CFileFilter settings;
    settings.typeList = &images;
    const struct {
        int popup;
        std::vector<std::string> shown;
    } cases[] = {
        {platform::kNavNoPopupChoice, {"PICTURE.JPG", "Sub", "a.bmp", "typed.dat"}},
        {3, {"PICTURE.JPG", "Sub", "typed.dat"}},
        {9, {"PICTURE.JPG", "README", "Sub", "a.bmp", "notes.txt", "typed.dat"}},
        {platform::kNavStandardPopupItem, {"Sub"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.popup);
        COpenFileDialog dialog;
        CFileDialogResult result;
        user_.ChooseFiles(dir_.path(), {"Sub"}, c.popup);
        EXPECT_TRUE(dialog.DoModal(result, nullptr, &settings));
        EXPECT_EQ(platform::NavLog().back().shown, c.shown);
        EXPECT_EQ(platform::NavLog().back().popup.size(), 10u);
        EXPECT_EQ(result.filterIndex, c.popup == platform::kNavNoPopupChoice ? 0 : std::max(c.popup, -1));
    }
}

TEST_F(FileDialogTest, OpenReturnsEveryChosenFileInOrder)
{
    for (const char* name : {"c.png", "a.png", "b.png"}) Touch(name);
    CFileFilter settings;
    settings.allowMultiple = 1;
    COpenFileDialog dialog;
    CFileDialogResult result;
    user_.ChooseFiles(dir_.path(), {"c.png", "a.png", "b.png"});
    ASSERT_TRUE(dialog.DoModal(result, nullptr, &settings));
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.count, 3);
    EXPECT_EQ(result.path.GetFullPath(), dir_.file("c.png"));
    ASSERT_EQ(result.morePaths.size(), 2u);
    EXPECT_EQ(result.morePaths[0].GetFullPath(), dir_.file("a.png"));
    EXPECT_EQ(result.morePaths[1].GetFullPath(), dir_.file("b.png"));

    user_.CancelFileDialog(dir_.path());
    EXPECT_FALSE(dialog.DoModal(result, nullptr, nullptr));
    EXPECT_FALSE(result.success);
    EXPECT_EQ(result.count, 0);
    EXPECT_TRUE(result.path.IsEmpty());
    EXPECT_TRUE(result.morePaths.empty());
}

TEST_F(FileDialogTest, SaveAppendsTheNameAndTheStandardItemSetsTheExtension)
{
    CFileTypeList list;
    list.AddTextType();
    CFileFilter settings;
    settings.typeList = &list;
    settings.defaultFileName = "Untitled.tvr";
    settings.defaultExtension = "swf";
    const struct {
        std::vector<std::string> typed;
        int popup;
        const char* saved;
    } cases[] = {
        {{"Show.html"}, platform::kNavNoPopupChoice, "Show.html"},
        {{}, platform::kNavStandardPopupItem, "Untitled.swf"},
        {{}, 1, "Untitled.tvr"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved);
        CSaveFileDialog dialog;
        CFileDialogResult result;
        user_.ChooseFiles(dir_.path(), c.typed, c.popup);
        ASSERT_TRUE(dialog.DoModal(result, nullptr, &settings));
        EXPECT_EQ(result.count, 1);
        EXPECT_EQ(result.path.GetFullPath(), dir_.file(c.saved));
    }

    CChooseFolderDialog folder;
    CFileDialogResult result;
    user_.ChooseFiles(dir_.path());
    ASSERT_TRUE(folder.DoModal(result, nullptr, nullptr));
    EXPECT_EQ(result.path.GetFullPath(), dir_.path());
}

TEST_F(FileDialogTest, SaveNameNeverLeavesTheChosenFolder)
{
    const std::string inner = dir_.file("inner");
    std::filesystem::create_directory(inner);
    CFileFilter settings;
    settings.defaultFileName = "Show.swf";
    const struct {
        std::vector<std::string> refused;  // typed first, each refused
        const char* saved;  // then typed and taken; null: cancelled
    } cases[] = {
        {{"../escape.swf"}, "fine.swf"},
        {{"a/b.swf", "..", "."}, "b.swf"},
        {{"/etc/passwd"}, nullptr},
        {{}, "..swf"},  // dots inside a name are fine
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved ? c.saved : "cancelled");
        platform::ClearNavLog();
        for (const std::string& name : c.refused) user_.ChooseFiles(inner, {name});
        if (c.saved)
            user_.ChooseFiles(inner, {c.saved});
        else
            user_.CancelFileDialog(inner);
        CSaveFileDialog dialog;
        CFileDialogResult result;
        EXPECT_EQ(dialog.DoModal(result, nullptr, &settings), c.saved != nullptr);
        if (c.saved) {
            EXPECT_EQ(result.path.GetFullPath(), inner + "/" + c.saved);
        }
        ASSERT_EQ(platform::NavLog().size(), 1u);
        ASSERT_EQ(platform::NavLog()[0].refusals.size(), c.refused.size());
        for (size_t i = 0; i < c.refused.size(); ++i)
            EXPECT_NE(platform::NavLog()[0].refusals[i].find("\"" + c.refused[i] + "\""), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.file("escape.swf")));
}

}  // namespace
}  // namespace tavrel_test
