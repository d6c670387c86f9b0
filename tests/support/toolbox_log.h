#pragma once
// The tests' observer of the headless toolbox: every prompt shown with its
// answer, every file dialog run, and browsers made to refuse a change. It
// is installed before any test runs; FakeUser clears the prompts.
#include <vector>

#include "platform/toolbox_nav.h"
#include "platform/toolbox_script.h"

namespace platform {

const std::vector<ShownPrompt>& PromptLog();
const std::vector<NavShown>& NavLog();
void ClearNavLog();
void ClearPromptLog();
// The browser refuses the next call that changes columns or items.
void FailNextBrowserChange(ControlRef browser);

}  // namespace platform
