#include "support/toolbox_log.h"

#include <algorithm>

#include "platform/toolbox_observer.h"

namespace platform {

namespace {

class ToolboxLog : public ToolboxObserver {
public:
    ToolboxLog() { SetToolboxObserver(this); }
    ~ToolboxLog() override { SetToolboxObserver(nullptr); }

    int PromptShown(const ShownPrompt& prompt) override
    {
        prompts.push_back(prompt);
        return static_cast<int>(prompts.size()) - 1;
    }
    void PromptAnswered(int index, int item) override
    {
        if (index >= 0 && static_cast<size_t>(index) < prompts.size()) prompts[index].answered = item;
    }
    void FileDialogShown(const NavShown& shown) override { dialogs.push_back(shown); }
    bool RefuseBrowserChange(ControlRef browser) override
    {
        auto it = std::find(failing.begin(), failing.end(), browser);
        if (it == failing.end()) return false;
        failing.erase(it);
        return true;
    }

    std::vector<ShownPrompt> prompts;
    std::vector<NavShown> dialogs;
    std::vector<ControlRef> failing;
};

ToolboxLog& Log()
{
    static ToolboxLog log;
    return log;
}

// Installed at start-up, before the first prompt of any test.
[[maybe_unused]] const bool g_installed = (Log(), true);

}  // namespace

const std::vector<ShownPrompt>& PromptLog()
{
    return Log().prompts;
}

const std::vector<NavShown>& NavLog()
{
    return Log().dialogs;
}

void ClearNavLog()
{
    Log().dialogs.clear();
}

void ClearPromptLog()
{
    Log().prompts.clear();
}

void FailNextBrowserChange(ControlRef browser)
{
    Log().failing.push_back(browser);
}

}  // namespace platform
