#pragma once
// Stand-in for Navigation Services: the put-file, get-file, choose-file and
// choose-folder dialogs, answered by script (PromptKind::FileDialog). The
// answer names a real folder and, with item 1, confirms: the chosen items
// are entries of that folder (or, for the put dialog, the name typed). A
// scripted popup choice reaches the event callback first. The object filter
// runs over the folder's real entries; what it shows is logged.
#include <string>
#include <vector>

#include "platform/cfstring.h"
#include "platform/toolbox_services.h"
#include "platform/toolbox_types.h"

// ---- A mutable array of strings (the format popup's item names)
struct CFArrayObject;
using CFMutableArrayRef = CFArrayObject*;
using CFArrayRef = const CFArrayObject*;
CFMutableArrayRef CFArrayCreateMutable();
// Retains the string.
void CFArrayAppendValue(CFMutableArrayRef array, CFStringRef value);
CFIndex CFArrayGetCount(CFArrayRef array);
CFStringRef CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);
// Releases the array and its strings.
void CFRelease(CFArrayRef array);

// ---- Dialogs
struct OpaqueNavDialog;
using NavDialogRef = OpaqueNavDialog*;
using NavUserAction = UInt32;
using NavEventCallbackMessage = SInt32;
using NavFilterModes = SInt16;
constexpr UInt32 kNavAllowMultipleFiles = 0x80;
constexpr NavEventCallbackMessage kNavCBPopupMenuSelect = 8;
constexpr OSType kNavStandardCreator = FourCC("nav ");
constexpr OSErr userCanceledErr = -128;

struct NavDialogCreationOptions {
    UInt16 version = 0;
    UInt32 optionFlags = 0;
    CFStringRef clientName = nullptr;
    CFStringRef windowTitle = nullptr;
    CFStringRef actionButtonLabel = nullptr;
    CFStringRef cancelButtonLabel = nullptr;
    CFStringRef saveFileName = nullptr;
    CFStringRef message = nullptr;
    CFArrayRef popupExtension = nullptr;
    WindowRef parentWindow = nullptr;
};

struct NavMenuItemSpec {
    OSType menuCreator = 0;
    OSType menuType = 0;  // for our own popup items: the item's index
};

struct NavCBRec {
    NavDialogRef context = nullptr;
    WindowRef window = nullptr;
    NavMenuItemSpec* menuItem = nullptr;  // the popup item for kNavCBPopupMenuSelect
};

// What the object filter sees of an item besides its FSRef.
struct NavFileOrFolderInfo {
    bool isFolder = false;
    OSType fileType = 0;  // the Finder type, 0 when none
};

// An item handed to the object filter: descriptorType typeFSRef with
// dataHandle pointing at a platform::FSRef.
using NavEventProcPtr = void (*)(NavEventCallbackMessage message, NavCBRec* params, void* userData);
using NavObjectFilterProcPtr = bool (*)(AEDesc* item, void* info, void* userData, NavFilterModes mode);
using NavPreviewProcPtr = bool (*)(NavCBRec* params, void* userData);
using NavEventUPP = NavEventProcPtr;
using NavObjectFilterUPP = NavObjectFilterProcPtr;
using NavPreviewUPP = NavPreviewProcPtr;
inline NavEventUPP NewNavEventUPP(NavEventProcPtr proc)
{
    return proc;
}
inline NavObjectFilterUPP NewNavObjectFilterUPP(NavObjectFilterProcPtr proc)
{
    return proc;
}
inline void DisposeNavEventUPP(NavEventUPP) {}
inline void DisposeNavObjectFilterUPP(NavObjectFilterUPP) {}

struct NavReplyRecord {
    bool validRecord = false;
    AEDescList selection;
    CFStringRef saveFileName = nullptr;
};

OSStatus NavGetDefaultDialogCreationOptions(NavDialogCreationOptions* options);
OSStatus NavCreatePutFileDialog(const NavDialogCreationOptions* options, OSType fileType, OSType fileCreator,
                                NavEventUPP event, void* userData, NavDialogRef* out);
OSStatus NavCreateGetFileDialog(const NavDialogCreationOptions* options, void* typeList, NavEventUPP event,
                                NavPreviewUPP preview, NavObjectFilterUPP filter, void* userData, NavDialogRef* out);
OSStatus NavCreateChooseFileDialog(const NavDialogCreationOptions* options, void* typeList, NavEventUPP event,
                                   NavPreviewUPP preview, NavObjectFilterUPP filter, void* userData, NavDialogRef* out);
OSStatus NavCreateChooseFolderDialog(const NavDialogCreationOptions* options, NavEventUPP event,
                                     NavObjectFilterUPP filter, void* userData, NavDialogRef* out);
// Runs the dialog modally; noErr when it ends with a choice or a cancel.
OSStatus NavDialogRun(NavDialogRef dialog);
NavUserAction NavDialogGetUserAction(NavDialogRef dialog);
constexpr NavUserAction kNavUserActionCancel = 1;
constexpr NavUserAction kNavUserActionChoose = 4;
// paramErr unless the run ended with a choice.
OSStatus NavDialogGetReply(NavDialogRef dialog, NavReplyRecord* reply);
OSStatus NavDisposeReply(NavReplyRecord* reply);
void NavDialogDispose(NavDialogRef dialog);

// The name field of a put dialog, as length-prefixed text (Str255).
using NavCustomControlMessage = SInt32;
constexpr NavCustomControlMessage kNavCtlGetEditFileName = 20;
constexpr NavCustomControlMessage kNavCtlSetEditFileName = 21;
OSErr NavCustomControl(NavDialogRef dialog, NavCustomControlMessage selector, void* parms);

// The resource-file chain: only the current file's number is kept.
SInt16 CurResFile();
void UseResFile(SInt16 refNum);

namespace platform {

// A file dialog as it was shown.
struct NavShown {
    int mode = 0;  // 0 put, 1 get, 2 choose file, 3 choose folder
    std::string title;
    std::string message;
    std::string saveName;  // the name field at the end of the run
    // What the put dialog said of names it would not take, in order; it
    // stayed open for the next answer after each.
    std::vector<std::string> refusals;
    std::vector<std::string> popup;
    std::vector<std::string> shown;  // names the last filter pass showed, in the folder's order (sorted)
    bool multiple = false;
    WindowRef parent = nullptr;
};

// The scripted answer: folder, then the chosen names.
constexpr int kNavNoPopupChoice = -1;
constexpr int kNavStandardPopupItem = -2;

}  // namespace platform
