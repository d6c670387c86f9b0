#pragma once
// Finding files that moved (remembered folders and a choose-file dialog),
// the question asked before an item is replaced, the names and extensions
// of Finder file types, and a text output file created with a type and
// creator.
#include <ext/stdio_filebuf.h>

#include <cstdio>
#include <memory>
#include <ostream>

#include "foundation/file_services.h"
#include "foundation/path.h"
#include "platform/toolbox_nav.h"
#include "ui/buttons.h"
#include "ui/dialog_window.h"
#include "ui/simple_controls.h"

// ---- Relocation folders: where moved files were found before.
void ClearRelocationFolders();
// Remembers file's folder at the end of the list.
void AddRelocationFolder(const CPath& file);
// The first remembered folder holding a file of missing's name.
bool FindInRelocationFolders(const CPath& missing, CPath* found);

struct CRelocationEntry {
    NavDialogRef dialog = nullptr;
    CPath missing;
};

// Asks the user to find missing with a choose-file dialog that shows
// folders and the files of the same name (case ignored). chosen is set
// only on success.
bool RelocateFile(CRelocationEntry* entry, WindowRef parent, const CPath& missing, CPath* chosen);

// Results of CRelocateDialog::Run besides 'ok  ' (relocate) and 'not!'.
constexpr int kRelocateDontRelocate = 1001;
constexpr int kRelocateReplace = 1002;

class CRelocateDialog : public CDialogWindow {
public:
    // texts[0] the window title, texts[1] the message.
    explicit CRelocateDialog(const char* const* texts) : texts_(texts) {}
    int Run(WindowRef parent);
    bool OnInitDialog() override;
    bool OnCommand(UInt32 command, EventRef* event) override;

private:
    CStaticText message_;
    CPushButton relocate_, cancel_, dontRelocate_, replace_;
    const char* const* texts_;
};

// Results of CReplaceDialog::Run.
constexpr int kReplaceOne = 1000;
constexpr int kReplaceAll = 1001;
constexpr int kReplaceSkip = 1002;
constexpr int kReplaceSkipAll = 1003;
constexpr int kReplaceStop = 1004;

class CReplaceDialog : public CDialogWindow {
public:
    // Mode 1: one of several items (adds Apply To All and Stop).
    CReplaceDialog(const CPath* item, int mode) : item_(item ? *item : CPath()), mode_(mode) {}
    // A sheet on parent; without a parent, a movable modal dialog.
    int Run(WindowRef parent);
    bool OnInitDialog() override;
    bool OnCommand(UInt32 command, EventRef* event) override;

private:
    CPath item_;
    CStaticText message_;
    CPushButton replace_, dontReplace_, stop_;
    CCheckBox applyToAll_;
    int mode_;
};

// ---- Finder file types: out receives the ";"-separated extensions or the
// display name; false, out untouched, when the table has none.
bool GetTypeExtensions(OSType type, char* out);
bool GetTypeName(OSType type, char* out);

// A text file written through a standard stream, created with a Finder
// type and creator ('TEXT' and 'ttex' without info). It replaces what stood
// at its path only once closed with everything stored, keeping that file's
// mode, owner and group (CTypedOutputFile).
class CTextFileStream : public std::ostream {
public:
    CTextFileStream() : std::ostream(nullptr) {}
    ~CTextFileStream() override { Close(); }
    CTextFileStream(const CTextFileStream&) = delete;
    CTextFileStream& operator=(const CTextFileStream&) = delete;
    bool Open(const CPath& path, const CFileInfo* info, bool replace);
    bool is_open() const { return file_.GetStream() != nullptr; }
    // Puts the file in place; false, with the old file as it was, when
    // anything written could not be stored.
    bool Close();
    CTextFileStream& WriteString(const char* text);
    CTextFileStream& WriteInt(long value);

private:
    CTypedOutputFile file_;
    std::unique_ptr<__gnu_cxx::stdio_filebuf<char>> buffer_;
};
