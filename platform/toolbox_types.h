#pragma once
// The toolbox's reference types, status codes and event constants, as the
// windows, controls, menus and event handlers of the user interface use them.
// References are opaque numbers looked up in live tables on every call: a
// stale or foreign reference is refused with an error, never followed.
#include <cstdint>

#include "platform/cfstring.h"
#include "platform/files.h"
#include "platform/gestalt.h"
#include "platform/qd_types.h"

using OSStatus = platform::OSStatus;
using OSErr = int16_t;
using OSType = uint32_t;
using UInt32 = uint32_t;
using SInt32 = int32_t;
using UInt16 = uint16_t;
using SInt16 = int16_t;
using UInt8 = uint8_t;
using Boolean = bool;
using EventParamName = OSType;
using EventParamType = OSType;
using DescType = OSType;
using AEKeyword = OSType;
using MenuCommand = UInt32;
using MenuItemIndex = UInt16;
using MenuID = SInt16;
using WindowClass = UInt32;
using WindowAttributes = UInt32;
using EventTimeout = double;  // seconds
using EventTimerInterval = double;
using EventTime = double;

struct OpaqueWindowPtr;
struct OpaqueControlRef;
struct OpaqueMenuRef;
struct OpaqueEventRef;
struct OpaqueEventTargetRef;
struct OpaqueEventHandlerRef;
struct OpaqueEventHandlerCallRef;
struct OpaqueEventLoopTimerRef;
struct OpaqueIBNibRef;
struct OpaqueIconRef;
struct OpaqueDragRef;
using WindowRef = OpaqueWindowPtr*;
using ControlRef = OpaqueControlRef*;
using MenuRef = OpaqueMenuRef*;
using EventRef = OpaqueEventRef*;
using EventTargetRef = OpaqueEventTargetRef*;
using EventHandlerRef = OpaqueEventHandlerRef*;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
using EventLoopTimerRef = OpaqueEventLoopTimerRef*;
using IBNibRef = OpaqueIBNibRef*;
using IconRef = OpaqueIconRef*;
using DragRef = OpaqueDragRef*;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef call, EventRef event, void* userData);
using EventHandlerUPP = EventHandlerProcPtr;
using EventLoopTimerProcPtr = void (*)(EventLoopTimerRef timer, void* userData);
using EventLoopTimerUPP = EventLoopTimerProcPtr;

constexpr OSType FourCC(const char (&code)[5])
{
    return platform::FourCharCode(code);
}

// Status codes.
using platform::fnfErr;
using platform::memFullErr;
using platform::noErr;
using platform::paramErr;
constexpr OSStatus resNotFound = -192;
constexpr OSStatus errAECoercionFail = -1700;
constexpr OSStatus errAEDescNotFound = -1701;
constexpr OSStatus errAEWrongDataType = -1703;
constexpr OSStatus errAEEventNotHandled = -1708;
constexpr OSStatus errAEIllegalIndex = -1719;
constexpr OSStatus errInvalidWindowRef = -5600;
constexpr OSStatus errWindowNotFound = -5615;
constexpr OSStatus errUnknownControl = -30584;
constexpr OSStatus errControlNotFound = -30599;  // GetControlByID finds no such control
constexpr OSStatus errDataNotSupported = -30583;
constexpr OSStatus errMenuItemNotFound = -5620;
constexpr OSStatus errInvalidMenu = -5623;
constexpr OSStatus eventAlreadyPostedErr = -9860;
constexpr OSStatus eventTargetBusyErr = -9861;
constexpr OSStatus eventClassInvalidErr = -9862;
constexpr OSStatus eventHandlerAlreadyInstalledErr = -9864;
constexpr OSStatus eventInternalErr = -9868;
constexpr OSStatus eventParameterNotFoundErr = -9870;
constexpr OSStatus eventNotHandledErr = -9874;
constexpr OSStatus eventLoopTimedOutErr = -9875;
constexpr OSStatus eventLoopQuitErr = -9876;
constexpr OSStatus errNibNotFound = -10000;  // no nib file, or no such object in it
constexpr OSStatus dragNotAcceptedErr = -1857;
constexpr OSStatus badDragFlavorErr = -1852;
constexpr OSStatus badDragItemErr = -1851;
constexpr OSStatus badDragRefErr = -1850;
constexpr OSStatus afpItemNotFound = -5018;

// Event classes and kinds.
constexpr UInt32 kEventClassCommand = FourCC("cmds");
constexpr UInt32 kEventClassApplication = FourCC("appl");
constexpr UInt32 kEventClassKeyboard = FourCC("keyb");
constexpr UInt32 kEventClassControl = FourCC("cntl");
constexpr UInt32 kEventClassWindow = FourCC("wind");
constexpr UInt32 kEventClassMouse = FourCC("mous");
constexpr UInt32 kEventClassTextInput = FourCC("text");
constexpr UInt32 kEventClassFont = FourCC("font");
constexpr UInt32 kEventCommandProcess = 1;
constexpr UInt32 kEventAppQuit = 3;
constexpr UInt32 kEventRawKeyDown = 1;
constexpr UInt32 kEventRawKeyRepeat = 2;
constexpr UInt32 kEventRawKeyUp = 3;
constexpr UInt32 kEventHotKeyPressed = 5;
constexpr UInt32 kEventControlHit = 1;
constexpr UInt32 kEventWindowUpdate = 1;
constexpr UInt32 kEventWindowDrawContent = 2;
constexpr UInt32 kEventWindowActivated = 5;
constexpr UInt32 kEventWindowBoundsChanging = 26;
constexpr UInt32 kEventWindowBoundsChanged = 27;
constexpr UInt32 kEventWindowClose = 72;
constexpr UInt32 kEventWindowInit = 1004;
constexpr UInt32 kEventMouseDown = 1;
constexpr UInt32 kEventMouseUp = 2;
constexpr UInt32 kEventMouseMoved = 5;
constexpr UInt32 kEventTextInputUnicodeForKeyEvent = 2;
constexpr UInt32 kEventFontPanelClosed = 1;
constexpr UInt32 kEventFontSelection = 2;

// Parameter names and types.
constexpr EventParamName kEventParamDirectObject = FourCC("----");
constexpr EventParamName kEventParamMouseLocation = FourCC("mloc");
constexpr EventParamName kEventParamKeyModifiers = FourCC("kmod");
constexpr EventParamName kEventParamMouseButton = FourCC("mbtn");
constexpr EventParamName kEventParamCurrentBounds = FourCC("crct");
constexpr EventParamName kEventParamOriginalBounds = FourCC("orct");
constexpr EventParamName kEventParamPreviousBounds = FourCC("prct");
constexpr EventParamName kEventParamKeyCode = FourCC("kcod");
constexpr EventParamName kEventParamKeyMacCharCodes = FourCC("kchr");
constexpr EventParamType typeHICommand = FourCC("hcmd");
constexpr EventParamType typeControlRef = FourCC("ctrl");
constexpr EventParamType typeWindowRef = FourCC("wind");
constexpr EventParamType typeQDPoint = FourCC("QDpt");
constexpr EventParamType typeQDRectangle = FourCC("qdrt");
constexpr EventParamType typeUInt32 = FourCC("magn");
constexpr EventParamType typeMouseButton = FourCC("mbtn");
constexpr EventParamType typeEventHotKeyID = FourCC("hkid");
constexpr EventParamType typeChar = FourCC("TEXT");
constexpr DescType typeFSRef = FourCC("fsrf");
constexpr DescType typeAEList = FourCC("list");
constexpr DescType typeWildCard = FourCC("****");
constexpr AEKeyword keyDirectObject = FourCC("----");

constexpr UInt16 kEventMouseButtonPrimary = 1;
constexpr UInt16 kEventMouseButtonSecondary = 2;
constexpr UInt16 kEventMouseButtonTertiary = 3;
constexpr UInt32 controlKey = 0x1000;
constexpr UInt32 shiftKey = 0x0200;
constexpr UInt32 cmdKey = 0x0100;
constexpr UInt32 optionKey = 0x0800;

constexpr EventTimeout kEventDurationForever = -1.0;
constexpr EventTimeout kEventDurationNoWait = 0.0;

// Window classes and attributes.
constexpr WindowClass kAlertWindowClass = 1;
constexpr WindowClass kMovableAlertWindowClass = 2;
constexpr WindowClass kModalWindowClass = 3;
constexpr WindowClass kMovableModalWindowClass = 4;
constexpr WindowClass kFloatingWindowClass = 5;
constexpr WindowClass kDocumentWindowClass = 6;
constexpr WindowClass kUtilityWindowClass = 8;
constexpr WindowClass kSheetWindowClass = 11;
constexpr WindowAttributes kWindowCloseBoxAttribute = 1;
constexpr WindowAttributes kWindowCollapseBoxAttribute = 8;
constexpr WindowAttributes kWindowResizableAttribute = 0x10;
constexpr WindowAttributes kWindowStandardHandlerAttribute = 0x2000000;

struct EventTypeSpec {
    UInt32 eventClass = 0;
    UInt32 eventKind = 0;
};

struct EventHotKeyID {
    OSType signature = 0;
    UInt32 id = 0;
};

struct HICommand {
    UInt32 attributes = 0;
    UInt32 commandID = 0;
    struct {
        MenuRef menuRef = nullptr;
        MenuItemIndex menuItemIndex = 0;
    } menu;
};
constexpr UInt32 kHICommandFromMenu = 1;
constexpr UInt32 kHICommandFromControl = 2;

struct ControlID {
    OSType signature = 0;
    SInt32 id = 0;
};

struct ControlFontStyleRec {
    SInt16 flags = 0;
    SInt16 font = 0;
    SInt16 size = 0;
    SInt16 style = 0;
    SInt16 mode = 0;
    SInt16 just = 0;
    RGBColor foreColor;
    RGBColor backColor;
};
