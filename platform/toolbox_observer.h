#pragma once
// What the headless toolbox tells an observer: the prompts it shows and how
// they were answered, the file dialogs it ran, and whether a list browser
// should refuse its next change as a starved system would. The program
// installs no observer; the tests install a log.
#include "platform/toolbox_nav.h"
#include "platform/toolbox_script.h"

namespace platform {

class ToolboxObserver {
public:
    virtual ~ToolboxObserver() = default;
    // The prompt's number for PromptAnswered, -1 when none is kept.
    virtual int PromptShown(const ShownPrompt&) { return -1; }
    virtual void PromptAnswered(int, int) {}
    virtual void FileDialogShown(const NavShown&) {}
    virtual bool RefuseBrowserChange(ControlRef) { return false; }
};

// Null removes the observer.
void SetToolboxObserver(ToolboxObserver* observer);

// The toolbox's own reports, passed on to the observer when there is one.
int LogPrompt(const ShownPrompt& prompt);
void SetPromptAnswer(int index, int item);
void LogFileDialog(const NavShown& shown);
bool BrowserChangeRefused(ControlRef browser);

}  // namespace platform
