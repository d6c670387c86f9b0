#include "editor/app.h"

#include <memory>

#include "editor/about_window.h"
#include "editor/editor_prefs.h"
#include "foundation/system.h"
#include "ui/app_shell.h"

namespace {

EditorRecord g_record;
std::unique_ptr<CSlidesWindow> g_mainWindow;

// System 9.0, the oldest the application runs on.
constexpr int32_t kOldestSystem = 0x0900;

}  // namespace

bool CSlidesWindow::OnCommand(UInt32 commandID, EventRef*)
{
    g_record.commands.push_back(commandID);
    return false;  // no command is built yet: the standard handling runs (Quit quits)
}

bool CSlidesWindow::OnHotKey(const EventHotKeyID* id)
{
    if (id) g_record.hotKeys.push_back(id->id);
    return true;
}

bool CSlidesWindow::OnOpenDocument(const CPath& path)
{
    g_record.openedDocuments.push_back(path.c_str());
    GetEditorPrefs().RecentDocuments().Add(&path);
    return true;
}

bool AppInit(void*)
{
    g_record = EditorRecord{};
    // First, so that the exit that follows a failed start saves what was read.
    GetEditorPrefs().Load();
    if (System::GetVersion() < kOldestSystem) return false;
    g_record.initialized = true;
    return true;
}

bool AppRun(void*)
{
    g_record.ran = true;
    CNibRef* nib = GetMainNib();
    // The loop is not running yet: the splash draws itself at once. A
    // missing picture leaves it empty and start-up goes on.
    CAboutWindow::Settings splashSettings;
    splashSettings.versionMajor = 1;
    splashSettings.versionMinor = 122;
    splashSettings.textLeft = 10;
    splashSettings.textTop = 60;
    auto splash = std::make_unique<CAboutWindow>(splashSettings);
    if (nib && splash->CreateFromNibName(*nib, "IDD_SPLASH", nullptr, 0)) {
        splash->Show(true);
        splash->OnDraw();
    }
    g_record.splashShown = splash->GetWindow() != nullptr;
    g_record.splashPainted = splash->GetPicture() != nullptr;
    if (!LoadMenuBar()) return false;
    auto window = std::make_unique<CSlidesWindow>();
    if (!nib || !window->CreateFromNibName(*nib, "IDD_SLIDES", nullptr, 0)) {
        // CreateFromNibName reports what OnInitDialog returned; only a window counts.
        if (!window->GetWindow()) return false;
    }
    g_mainWindow = std::move(window);
    GetApplicationShell()->SetTarget(g_mainWindow.get());
    g_mainWindow->Show(true);
    splash->DestroyWindow();
    RunApplicationEventLoop();
    return true;
}

void AppExit()
{
    g_record.exited = true;
    g_mainWindow.reset();
    GetEditorPrefs().Save();
}

const EditorRecord& GetEditorRecord()
{
    return g_record;
}
CSlidesWindow* GetMainWindow()
{
    return g_mainWindow.get();
}

int EditorMain()
{
    SetInitCallback(AppInit);
    SetRunCallback(AppRun);
    SetExitCallback(AppExit);
    return ShellMain();
}
