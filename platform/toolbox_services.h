#pragma once
// Stand-ins for the smaller toolbox services the user interface calls:
// standard alerts and sheets (answered by script), Apple events, Apple Help,
// Icon Services, the Appearance Manager, cursors and memory set-up. Each
// records what it was asked so that tests can see it.
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/toolbox_types.h"

// ---- Standard alerts
using AlertType = SInt16;
constexpr AlertType kAlertStopAlert = 0;
constexpr AlertType kAlertNoteAlert = 1;
constexpr AlertType kAlertCautionAlert = 2;
constexpr AlertType kAlertPlainAlert = 3;
using DialogRef = WindowRef;
using DialogItemIndex = SInt16;
constexpr UInt32 kStdCFStringAlertVersionOne = 1;
constexpr UInt16 kWindowDefaultPosition = 0;
constexpr SInt16 kAlertStdAlertOKButton = 1;
constexpr SInt16 kAlertStdAlertCancelButton = 2;
constexpr SInt16 kAlertStdAlertOtherButton = 3;
// The system's own OK text, in place of a string.
inline const CFStringRef kAlertDefaultOKText = reinterpret_cast<CFStringRef>(-1);
inline const unsigned char* const kAlertDefaultOKTextPascal = reinterpret_cast<const unsigned char*>(-1);

struct AlertStdCFStringAlertParamRec {
    UInt32 version = 0;
    bool movable = false;
    bool helpButton = false;
    CFStringRef defaultText = nullptr;
    CFStringRef cancelText = nullptr;
    CFStringRef otherText = nullptr;
    SInt16 defaultButton = 0;
    SInt16 cancelButton = 0;
    UInt16 position = 0;
    UInt32 flags = 0;
};

struct AlertStdAlertParamRec {
    bool movable = false;
    bool helpButton = false;
    void* filterProc = nullptr;
    const unsigned char* defaultText = nullptr;  // length-prefixed
    const unsigned char* cancelText = nullptr;
    const unsigned char* otherText = nullptr;
    SInt16 defaultButton = 0;
    SInt16 cancelButton = 0;
    UInt16 position = 0;
};

OSStatus GetStandardAlertDefaultParams(AlertStdCFStringAlertParamRec* params, UInt32 version);
OSStatus CreateStandardAlert(AlertType type, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* params, DialogRef* out);
// Runs the alert modally, answered from the script, and disposes of it.
OSStatus RunStandardAlert(DialogRef alert, void* filter, DialogItemIndex* itemHit);
// A sheet window whose buttons carry the commands 'ok  ', 'not!' and 'othr'.
// Shown with ShowSheetWindow, it logs itself and its scripted button is hit
// after the answer's delay.
OSStatus CreateStandardSheet(AlertType type, CFStringRef error, CFStringRef explanation,
                             const AlertStdCFStringAlertParamRec* params, EventTargetRef notifyTarget, DialogRef* out);
WindowRef GetDialogWindow(DialogRef dialog);
// The alert of systems before Mac OS X.
OSErr StandardAlert(AlertType type, const unsigned char* error, const unsigned char* explanation,
                    const AlertStdAlertParamRec* params, SInt16* itemHit);

// ---- Apple events
using AEEventClass = OSType;
using AEEventID = OSType;
struct AEDesc {
    DescType descriptorType = 0;
    void* dataHandle = nullptr;
};
using AppleEvent = AEDesc;
using AEDescList = AEDesc;
using AEEventHandlerProcPtr = OSErr (*)(const AppleEvent* event, AppleEvent* reply, long refCon);
using AEEventHandlerUPP = AEEventHandlerProcPtr;
constexpr AEEventClass kCoreEventClass = FourCC("aevt");
constexpr AEEventID kAEOpenDocuments = FourCC("odoc");

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr proc);
OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID id, AEEventHandlerUPP handler, long refCon,
                            bool isSystemHandler);
OSErr AERemoveEventHandler(AEEventClass eventClass, AEEventID id, AEEventHandlerUPP handler, bool isSystemHandler);
OSErr AEGetParamDesc(const AppleEvent* event, AEKeyword key, DescType desiredType, AEDesc* out);
OSErr AECountItems(const AEDescList* list, long* count);
OSErr AESizeOfNthItem(const AEDescList* list, long index, DescType* typeCode, long* size);
// Item index of the list as an FSRef (typed: our FSRef holds a path);
// errAECoercionFail for an item of another type.
OSErr AEGetNthFSRef(const AEDescList* list, long index, platform::FSRef* out);
OSErr AEDisposeDesc(AEDesc* desc);

// ---- Apple Help, Icon Services, Appearance, cursors, memory
OSStatus AHRegisterHelpBook(const platform::FSRef* bundle);
OSStatus AHGotoPage(CFStringRef book, CFStringRef page, CFStringRef anchor);
OSErr RegisterIconRefFromResource(OSType creator, OSType iconType, const platform::FSSpec* file, SInt16 resourceId,
                                  IconRef* out);
OSErr ReleaseIconRef(IconRef icon);
OSErr UnregisterIconRef(OSType creator, OSType iconType);
OSStatus RegisterAppearanceClient();
OSStatus UnregisterAppearanceClient();
void InitCursor();
using ThemeCursor = SInt16;
constexpr ThemeCursor kThemeArrowCursor = 0;
constexpr ThemeCursor kThemeWatchCursor = 7;
OSStatus SetThemeCursor(ThemeCursor cursor);
void MoreMasterPointers(UInt32 count);
void SetQDGlobalsRandomSeed(long seed);
// A seed for the random generators at start-up that differs from one run to
// the next, also between runs started at the same moment. TickCount cannot
// serve: its clock starts at 0 in every run.
unsigned StartupSeed();

// ---- Font Panel
constexpr OSType kFontSelectionATSUIType = FourCC("astl");
// The font and size a window reports to the Font Panel: by name, or by
// family number and QuickDraw face when the number is not 0.
struct FontPanelStyle {
    std::string family;
    double size = 0;
    SInt16 familyNumber = 0;
    UInt16 face = 0;
};
// Parameters of a font selection event, each of type 'shor' (16-bit).
constexpr EventParamName kEventParamFMFontFamily = FourCC("fmfm");
constexpr EventParamName kEventParamFMFontStyle = FourCC("fmst");
constexpr EventParamName kEventParamFMFontSize = FourCC("fmsz");
constexpr EventParamType typeSInt16Param = FourCC("shor");
OSStatus FPShowHideFontPanel();
bool FPIsFontPanelVisible();
OSStatus SetFontInfoForSelection(OSType styleType, UInt32 numStyles, const FontPanelStyle* styles,
                                 EventTargetRef target);

namespace platform {

// One item of an Open Documents event: a file, or (isFile false) a text
// item that cannot stand for one.
struct DocumentItem {
    std::string path;
    bool isFile = true;
};
// Sends the Open Documents event with these items to the installed
// handler; its result, or errAEEventNotHandled without one.
OSErr SendOpenDocuments(const std::vector<DocumentItem>& items);
// An Apple-event list of these items (AECountItems, AEGetNthFSRef).
OSErr MakeItemList(const std::vector<DocumentItem>& items, AEDescList* out);

// What the services above were asked.
struct ServiceRecord {
    int appearanceClients = 0;  // registered minus unregistered
    int cursorResets = 0;
    std::vector<ThemeCursor> themeCursors;  // every SetThemeCursor, in order
    UInt32 masterPointers = 0;
    long randomSeed = 0;
    std::string helpBook;                // path registered with Apple Help
    std::vector<std::string> helpPages;  // "book|page|anchor" of each page shown
    struct Icon {
        OSType creator;
        OSType type;
        SInt16 resourceId;
    };
    std::vector<Icon> icons;  // registered and not yet unregistered
    bool fontPanelVisible = false;
    std::vector<FontPanelStyle> fontSelection;
    // Where the Font Panel sends what the user picks: the target named
    // with the last selection.
    EventTargetRef fontPanelTarget = nullptr;
};
const ServiceRecord& Services();
// What a user picks in the Font Panel: queues a font selection event with
// the parameters given (null: left out) for the panel's target. paramErr
// while the panel is hidden or has no target.
OSStatus PostFontPanelPick(const SInt16* family, const SInt16* style, const SInt16* size);
void ResetServices();

// A text value of the main bundle's Contents/Info.plist dictionary.
bool GetMainBundleInfoString(const std::string& key, std::string* out);

}  // namespace platform
