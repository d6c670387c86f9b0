#pragma once
// The format filters that open and save dialogs offer, the dialogs
// themselves (save, open, choose file, choose folder) and the question
// asked before a file is replaced.
#include <memory>
#include <string>
#include <vector>

#include "foundation/path.h"
#include "platform/toolbox_nav.h"

// The type code that matches every file.
constexpr OSType kAnyFileType = FourCC("XxXx");
// Appends, when passed as a position.
constexpr int kAppendFilter = 65535;

class CFileTypeEntry {
public:
    std::vector<std::string> extensions;  // without dots
    OSType type = 0;
};

class CFileTypeFilter {
public:
    bool MatchesType(OSType type) const;
    bool MatchesExtension(const char* extension) const;

    std::string name;
    std::vector<std::unique_ptr<CFileTypeEntry>> entries;
};

class CFileTypeList {
public:
    CFileTypeList() = default;
    CFileTypeList(const CFileTypeList&) = delete;
    CFileTypeList& operator=(const CFileTypeList&) = delete;

    // A position not below the count appends, a negative one inserts at the
    // front, any other inserts before that filter. A null name takes the
    // type's display name.
    bool AddType(OSType type, const char* name, int reserved, int position);
    bool AddGroup(const char* name, int count, const OSType* types, int position);
    bool AddAllFiles(int position);
    bool AddImageTypes();
    bool AddSoundTypes();
    bool AddTextType();

    int GetCount() const { return static_cast<int>(filters_.size()); }
    // Null for any index outside the list.
    CFileTypeFilter* GetFilter(int index) const;
    // The names in list order.
    void CopyNames(CFMutableArrayRef names) const;

private:
    void Insert(std::unique_ptr<CFileTypeFilter> filter, int position);

    std::vector<std::unique_ptr<CFileTypeFilter>> filters_;
};

// The settings of one dialog run.
struct CFileFilter {
    const char* defaultExtension = nullptr;  // for the save name when the standard format is chosen
    CFileTypeList* typeList = nullptr;
    UInt32 reserved[2] = {0, 0};
    OSType creator = FourCC("****");
    OSType type = FourCC("****");
    const char* defaultFileName = nullptr;
    const char* windowTitle = nullptr;
    const char* actionButton = nullptr;
    const char* cancelButton = nullptr;
    const char* message = nullptr;
    int allowMultiple = 0;
};

struct CFileDialogResult {
    int filterIndex = -1;
    int count = 0;
    CPath path;
    std::vector<CPath> morePaths;
    bool success = false;
};

class CFileDialog {
public:
    enum Mode { kSave = 0, kOpen = 1, kChooseFile = 2, kChooseFolder = 3 };

    explicit CFileDialog(int mode) : mode_(mode) {}
    virtual ~CFileDialog() = default;
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // True when the user confirmed and every chosen item became a path.
    bool DoModal(CFileDialogResult& result, WindowRef parent, const CFileFilter* settings);

    int GetFilterIndex() const { return filterIndex_; }

private:
    static void EventProc(NavEventCallbackMessage message, NavCBRec* params, void* userData);
    static bool FilterProc(AEDesc* item, void* info, void* userData, NavFilterModes mode);
    bool Shows(AEDesc* item, const NavFileOrFolderInfo* info) const;

    int filterIndex_ = -1;
    NavDialogRef dialog_ = nullptr;
    int mode_;
    CFileFilter settings_;
};

class CSaveFileDialog : public CFileDialog {
public:
    CSaveFileDialog() : CFileDialog(kSave) {}
};

class COpenFileDialog : public CFileDialog {
public:
    COpenFileDialog() : CFileDialog(kOpen) {}
};

class CChooseFolderDialog : public CFileDialog {
public:
    CChooseFolderDialog() : CFileDialog(kChooseFolder) {}
};

// -1 when nothing exists at path; otherwise the answer of the replace
// dialog (mode option) as a sheet on parent, or movable modal without one.
int AskReplaceFile(const CPath& path, WindowRef parent, int option);
