#include "ui/app_shell.h"

#include <cstdlib>

#include "foundation/path.h"
#include "ui/dialog_window.h"

namespace {

AppInitCallback g_init = nullptr;
AppRunCallback g_run = nullptr;
AppExitCallback g_exit = nullptr;
CApplicationShell* g_shell = nullptr;

const EventTypeSpec kAppEventTypes[] = {
    {kEventClassCommand, kEventCommandProcess},
    {kEventClassApplication, kEventAppQuit},
    {kEventClassKeyboard, kEventHotKeyPressed},
};

OSErr OpenDocumentsHandler(const AppleEvent* event, AppleEvent*, long)
{
    AEDescList list;
    OSErr status = AEGetParamDesc(event, keyDirectObject, typeAEList, &list);
    if (status != noErr) return status;
    long count = 0;
    status = AECountItems(&list, &count);
    if (status == noErr && count >= 1) {
        // Only the first document is opened.
        DescType type = 0;
        long size = 0;
        status = AESizeOfNthItem(&list, 1, &type, &size);
        if (status == noErr) {
            platform::FSRef file;
            status = AEGetNthFSRef(&list, 1, &file);
            if (status == noErr && g_shell) g_shell->OpenDocument(&file);
        }
    }
    AEDisposeDesc(&list);
    return status;
}

}  // namespace

void SetInitCallback(AppInitCallback callback)
{
    g_init = callback;
}
void SetRunCallback(AppRunCallback callback)
{
    g_run = callback;
}
void SetExitCallback(AppExitCallback callback)
{
    g_exit = callback;
}

// ---- CAppEventHandler

CAppEventHandler::~CAppEventHandler()
{
    CAppEventHandler::Remove();
}

bool CAppEventHandler::Install()
{
    handlerUPP_ = NewEventHandlerUPP(HandlerProc);
    if (!handlerUPP_) return false;
    if (InstallEventHandler(GetApplicationEventTarget(), handlerUPP_, 3, kAppEventTypes, this, &handlerRef_) != noErr) {
        handlerRef_ = nullptr;
        return false;
    }
    openDocumentsUPP_ = NewAEEventHandlerUPP(OpenDocumentsHandler);
    AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, openDocumentsUPP_, 0, false);
    return true;
}

bool CAppEventHandler::Remove()
{
    RemoveInstalledHandler(&handlerUPP_, &handlerRef_);
    return true;
}

bool CAppEventHandler::HandleCommand(EventRef* event)
{
    HICommand command;
    GetEventParameter(*event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    if (!target_) return false;
    return target_->OnCommand(command.commandID, event);
}

bool CAppEventHandler::HandleAppEvent()
{
    return false;
}

OSStatus CAppEventHandler::HandlerProc(EventHandlerCallRef call, EventRef event, void* userData)
{
    auto* self = static_cast<CAppEventHandler*>(userData);
    UInt32 cls = GetEventClass(event);
    if (self && cls == kEventClassCommand) {
        if (self->HandleCommand(&event)) return noErr;
    } else if (self && cls == kEventClassApplication) {
        if (self->HandleAppEvent()) return noErr;
    } else if (self && cls == kEventClassKeyboard && GetEventKind(event) == kEventHotKeyPressed) {
        EventHotKeyID id;
        if (GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof id, nullptr, &id) ==
                noErr &&
            self->target_)
            self->target_->OnHotKey(&id);
    }
    return CallNextEventHandler(call, event);
}

// ---- CApplicationShell

bool CApplicationShell::Init()
{
    MoreMasterPointers(100);
    RegisterAppearanceClient();
    InitCursor();
    const unsigned seed = StartupSeed();
    SetQDGlobalsRandomSeed(static_cast<long>(seed));
    std::srand(seed);
    if (!installed_) {
        // Start-up goes on without the handler when it cannot be installed.
        handler_.Install();
        installed_ = &handler_;
    }
    return true;
}

bool CApplicationShell::Shutdown()
{
    UnregisterAppearanceClient();
    return true;
}

void CApplicationShell::SetTarget(CDialogWindow* target)
{
    if (installed_) installed_->SetTarget(target);
}

void CApplicationShell::OpenDocument(const platform::FSRef* file)
{
    if (!installed_ || !installed_->GetTarget() || !file) return;
    CPath path(*file);
    installed_->GetTarget()->OnOpenDocument(path);
}

CApplicationShell* GetApplicationShell()
{
    if (!g_shell) g_shell = new CApplicationShell;
    return g_shell;
}

int ShellMain()
{
    CApplicationShell* shell = GetApplicationShell();
    if (shell->Init() && g_init && g_init(nullptr) && g_run) g_run(nullptr);
    if (shell->Shutdown() && g_exit) g_exit();
    delete shell;
    // The Open Documents handler stays installed and must find no shell.
    g_shell = nullptr;
    return 0;
}
