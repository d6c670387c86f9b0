#include "platform/toolbox_observer.h"

namespace platform {

namespace {
ToolboxObserver* g_observer = nullptr;
}  // namespace

void SetToolboxObserver(ToolboxObserver* observer)
{
    g_observer = observer;
}

int LogPrompt(const ShownPrompt& prompt)
{
    return g_observer ? g_observer->PromptShown(prompt) : -1;
}

void SetPromptAnswer(int index, int item)
{
    if (g_observer) g_observer->PromptAnswered(index, item);
}

void LogFileDialog(const NavShown& shown)
{
    if (g_observer) g_observer->FileDialogShown(shown);
}

bool BrowserChangeRefused(ControlRef browser)
{
    return g_observer && g_observer->RefuseBrowserChange(browser);
}

}  // namespace platform
