#pragma once
// The application object: toolbox start-up, the application's event handler
// and the Open Documents handler, and the three callbacks the application
// supplies (init, run, exit). Commands, hot keys and opened documents go to
// one target window.
#include "platform/toolbox_events.h"
#include "platform/toolbox_services.h"

class CDialogWindow;

using AppInitCallback = bool (*)(void* argument);
using AppRunCallback = bool (*)(void* argument);
using AppExitCallback = void (*)();

// The slots start empty; the application fills them before ShellMain.
void SetInitCallback(AppInitCallback callback);
void SetRunCallback(AppRunCallback callback);
void SetExitCallback(AppExitCallback callback);

class CAppEventHandler {
public:
    CAppEventHandler() = default;
    virtual ~CAppEventHandler();
    CAppEventHandler(const CAppEventHandler&) = delete;
    CAppEventHandler& operator=(const CAppEventHandler&) = delete;

    virtual bool Install();
    virtual bool Remove();
    virtual bool HandleCommand(EventRef* event);
    virtual bool HandleAppEvent();

    void SetTarget(CDialogWindow* target) { target_ = target; }
    CDialogWindow* GetTarget() const { return target_; }

private:
    static OSStatus HandlerProc(EventHandlerCallRef call, EventRef event, void* userData);

    CDialogWindow* target_ = nullptr;
    EventHandlerUPP handlerUPP_ = nullptr;
    EventHandlerRef handlerRef_ = nullptr;
    AEEventHandlerUPP openDocumentsUPP_ = nullptr;
};

class CApplicationShell {
public:
    CApplicationShell() = default;
    CApplicationShell(const CApplicationShell&) = delete;
    CApplicationShell& operator=(const CApplicationShell&) = delete;

    bool Init();
    bool Shutdown();
    void SetTarget(CDialogWindow* target);
    void OpenDocument(const platform::FSRef* file);
    CAppEventHandler* GetInstalledHandler() const { return installed_; }

private:
    CAppEventHandler* installed_ = nullptr;
    CAppEventHandler handler_;
};

// The one shell, made on first need; null once ShellMain has ended.
CApplicationShell* GetApplicationShell();

// The program's main: init, then run (when init succeeded), then exit
// (always); the shell is gone afterwards. Returns 0.
int ShellMain();
