#pragma once
// Scripted answers: whatever would wait for a person at a modal prompt (an
// alert, a sheet, a pop-up menu; later file dialogs and pickers) takes its
// answer from one queue and logs what it showed.
#include <string>
#include <vector>

#include "platform/toolbox_types.h"

namespace platform {

enum class PromptKind { Alert, Sheet, OldAlert, PopupMenu, ColorPicker, FileDialog };

struct ScriptedAnswer {
    PromptKind kind = PromptKind::Alert;
    int item = 1;                    // button 1 default, 2 cancel, 3 other; menu item from 1, 0 none
    double delaySeconds = 0;         // sheets answer after this much virtual time
    std::vector<std::string> texts;  // for prompts that answer with text or paths
    int subItem = 0;                 // item of the chosen item's submenu, 0 for the item itself
    RGBColor color;                  // a colour picker's choice when item is 1 (OK)
    int popupIndex = -1;             // a file dialog's format popup choice (see toolbox_nav.h)
};

struct ShownPrompt {
    PromptKind kind = PromptKind::Alert;
    int alertType = 0;                 // stop 0, note 1, caution 2, plain 3
    std::string title;                 // an alert's main text, a menu's title
    std::string message;               // an alert's explanation
    std::vector<std::string> buttons;  // default, cancel, other ("" when absent)
    bool movable = false;
    WindowRef parent = nullptr;
    int answered = 0;  // the item given back, 0 when none
};

void QueueAnswer(const ScriptedAnswer& answer);
// Takes the next answer when it is of that kind; otherwise reports a
// toolbox fault (the script and the program disagree) and returns false.
bool TakeAnswer(PromptKind kind, ScriptedAnswer* out);
size_t PendingAnswers();
void ClearScript();

}  // namespace platform
