#pragma once
// The application's start-up, main window and shut-down, as far as the
// shell needs them.
#include <string>
#include <vector>

#include "ui/dialog_window.h"

// The main window "IDD_SLIDES": the application target. Records what it is
// sent until its commands are built.
class CSlidesWindow : public CDialogWindow {
public:
    bool OnCommand(UInt32 commandID, EventRef* event) override;
    bool OnHotKey(const EventHotKeyID* id) override;
    bool OnOpenDocument(const CPath& path) override;
};

bool AppInit(void* argument);
bool AppRun(void* argument);
void AppExit();

// What one run of the application did, in order.
struct EditorRecord {
    bool initialized = false;
    bool ran = false;
    bool exited = false;
    bool splashShown = false;    // the splash window was made
    bool splashPainted = false;  // and holds its picture
    std::vector<UInt32> commands;
    std::vector<UInt32> hotKeys;
    std::vector<std::string> openedDocuments;
};
const EditorRecord& GetEditorRecord();
// The main window while the application runs, else null.
CSlidesWindow* GetMainWindow();

// The program entry: fills the shell's callbacks and runs it.
int EditorMain();
