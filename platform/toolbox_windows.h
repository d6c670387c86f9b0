#pragma once
// Stand-in for the Window and Control Managers, the nib reader and the Drag
// Manager. A window's port is a 32-bit GWorld of its content size; controls
// keep their ControlID, command, values and data tags. The nib "main" is
// our own XML file "main.nib.xml" among the bundle's resources:
//   <nib>
//     <window name="IDD_X" class="document|movablemodal|modal|sheet|floating|utility"
//             left= top= width= height= title= closebox="true" resizable="true">
//       <control kind="push|chbx|upan|stxt|..." signature="ok  " id="0" command="ok  "
//                left= top= width= height= title= value= min= max= visible= enabled=>
//         (embedded controls)
//       </control>
//     </window>
//     <menubar name="IDR_MENU"><menu id="1000" title="File">
//       <item title="Quit" command="quit" key="Q" modifiers="0"/> <item separator="true"/>
//     </menu></menubar>
//     <menu name="..." id= title=> items </menu>
//   </nib>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/gworld.h"
#include "platform/toolbox_types.h"

// ---- Nib
OSStatus CreateNibReference(CFStringRef name, IBNibRef* out);
void DisposeNibReference(IBNibRef nib);
OSStatus CreateWindowFromNib(IBNibRef nib, CFStringRef name, WindowRef* out);

// ---- Windows
using WindowRegionCode = UInt16;
constexpr WindowRegionCode kWindowStructureRgn = 32;
constexpr WindowRegionCode kWindowContentRgn = 33;
constexpr UInt32 kWindowCenterOnMainScreen = 1;

OSStatus CreateNewWindow(WindowClass windowClass, WindowAttributes attributes, const Rect* bounds, WindowRef* out);
void DisposeWindow(WindowRef window);
void ShowWindow(WindowRef window);
void HideWindow(WindowRef window);
bool IsWindowVisible(WindowRef window);
OSStatus ActivateWindow(WindowRef window, bool activate);
void BringToFront(WindowRef window);
OSStatus GetWindowBounds(WindowRef window, WindowRegionCode region, Rect* bounds);
OSStatus SetWindowBounds(WindowRef window, WindowRegionCode region, const Rect* bounds);
void MoveWindow(WindowRef window, SInt16 h, SInt16 v, bool front);
void SizeWindow(WindowRef window, SInt16 width, SInt16 height, bool update);
OSStatus RepositionWindow(WindowRef window, WindowRef parent, UInt32 method);
OSStatus GetWindowClass(WindowRef window, WindowClass* out);
OSStatus GetWindowAttributes(WindowRef window, WindowAttributes* out);
OSStatus SetWindowTitleWithCFString(WindowRef window, CFStringRef title);
OSStatus CopyWindowTitleAsCFString(WindowRef window, CFStringRef* out);
CGrafPtr GetWindowPort(WindowRef window);
void SetPortWindowPort(WindowRef window);
OSStatus ShowSheetWindow(WindowRef sheet, WindowRef parent);
OSStatus HideSheetWindow(WindowRef sheet);
OSStatus SetThemeWindowBackground(WindowRef window, SInt16 brush, bool update);
WindowRef FrontWindow();
OSStatus HIWindowChangeClass(WindowRef window, WindowClass windowClass);
void BeginUpdate(WindowRef window);
// Zoom and collapse states, kept per window; each change is announced to
// the window as kEventWindowZoomed (with its part), Collapsed or Expanded.
using WindowPartCode = SInt16;
constexpr WindowPartCode inZoomIn = 7;
constexpr WindowPartCode inZoomOut = 8;
constexpr UInt32 kEventWindowCollapsed = 67;
constexpr UInt32 kEventWindowExpanded = 70;
constexpr UInt32 kEventWindowZoomed = 76;
constexpr EventParamName kEventParamWindowPartCode = FourCC("wpar");
constexpr EventParamType typeWindowPartCode = FourCC("wpar");
void ZoomWindow(WindowRef window, WindowPartCode part, bool front);
OSStatus CollapseWindow(WindowRef window, bool collapse);
bool IsWindowInStandardState(WindowRef window, Point* idealSize, Rect* idealStandardState);
bool IsWindowCollapsed(WindowRef window);
void EndUpdate(WindowRef window);

// ---- Controls
using SRefCon = intptr_t;
using ControlKind = OSType;
constexpr ControlKind kControlKindPushButton = FourCC("push");
constexpr ControlKind kControlKindCheckBox = FourCC("cbox");
constexpr ControlKind kControlKindUserPane = FourCC("upan");
constexpr ControlKind kControlKindStaticText = FourCC("stxt");
constexpr ControlKind kControlKindEditText = FourCC("etxt");
constexpr SInt16 kControlEntireControl = 0;

OSStatus CreatePushButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, ControlRef* out);
OSStatus CreateUserPaneControl(WindowRef window, const Rect* bounds, UInt32 features, ControlRef* out);
OSStatus GetControlByID(WindowRef window, const ControlID* id, ControlRef* out);
OSStatus SetControlID(ControlRef control, const ControlID* id);
OSStatus GetControlID(ControlRef control, ControlID* out);
OSStatus SetControlCommandID(ControlRef control, UInt32 command);
OSStatus GetControlCommandID(ControlRef control, UInt32* out);
void SetControlReference(ControlRef control, SRefCon reference);
SRefCon GetControlReference(ControlRef control);
OSStatus GetRootControl(WindowRef window, ControlRef* out);
OSErr EmbedControl(ControlRef control, ControlRef parent);
OSErr GetSuperControl(ControlRef control, ControlRef* parent);
OSErr SetControlFontStyle(ControlRef control, const ControlFontStyleRec* style);
void Draw1Control(ControlRef control);
void DisposeControl(ControlRef control);
Rect* GetControlBounds(ControlRef control, Rect* bounds);
WindowRef GetControlOwner(ControlRef control);
void MoveControl(ControlRef control, SInt16 h, SInt16 v);
void SizeControl(ControlRef control, SInt16 width, SInt16 height);
OSErr ActivateControl(ControlRef control);
OSErr DeactivateControl(ControlRef control);
bool IsControlActive(ControlRef control);
void ShowControl(ControlRef control);
void HideControl(ControlRef control);
bool IsControlVisible(ControlRef control);
SInt32 GetControl32BitValue(ControlRef control);
void SetControl32BitValue(ControlRef control, SInt32 value);
SInt32 GetControl32BitMinimum(ControlRef control);
void SetControl32BitMinimum(ControlRef control, SInt32 value);
SInt32 GetControl32BitMaximum(ControlRef control);
void SetControl32BitMaximum(ControlRef control, SInt32 value);
OSStatus SetControlTitleWithCFString(ControlRef control, CFStringRef title);
OSStatus CopyControlTitleAsCFString(ControlRef control, CFStringRef* out);
OSErr SetControlData(ControlRef control, SInt16 part, OSType tag, long size, const void* data);
OSErr GetControlData(ControlRef control, SInt16 part, OSType tag, long bufferSize, void* buffer, long* actualSize);
OSErr GetControlDataSize(ControlRef control, SInt16 part, OSType tag, long* size);

// ---- Drag Manager
using DragItemRef = UInt32;
using FlavorType = OSType;
using DragTrackingMessage = SInt16;
constexpr DragTrackingMessage kDragTrackingEnterHandler = 1;
constexpr DragTrackingMessage kDragTrackingEnterWindow = 2;
constexpr DragTrackingMessage kDragTrackingInWindow = 3;
constexpr DragTrackingMessage kDragTrackingLeaveWindow = 4;
constexpr DragTrackingMessage kDragTrackingLeaveHandler = 5;
constexpr FlavorType kDragFlavorTypeHFS = FourCC("hfs ");
using DragTrackingHandlerUPP = OSErr (*)(DragTrackingMessage message, WindowRef window, void* refCon, DragRef drag);
using DragReceiveHandlerUPP = OSErr (*)(WindowRef window, void* refCon, DragRef drag);

struct HFSFlavor {
    OSType fileType = 0;
    OSType fileCreator = 0;
    UInt16 fdFlags = 0;
    platform::FSSpec fileSpec;
};

DragTrackingHandlerUPP NewDragTrackingHandlerUPP(DragTrackingHandlerUPP proc);
DragReceiveHandlerUPP NewDragReceiveHandlerUPP(DragReceiveHandlerUPP proc);
void DisposeDragTrackingHandlerUPP(DragTrackingHandlerUPP upp);
void DisposeDragReceiveHandlerUPP(DragReceiveHandlerUPP upp);
OSErr InstallTrackingHandler(DragTrackingHandlerUPP proc, WindowRef window, void* refCon);
OSErr InstallReceiveHandler(DragReceiveHandlerUPP proc, WindowRef window, void* refCon);
OSErr RemoveTrackingHandler(DragTrackingHandlerUPP proc, WindowRef window);
OSErr RemoveReceiveHandler(DragReceiveHandlerUPP proc, WindowRef window);
OSErr GetDragMouse(DragRef drag, Point* mouse, Point* globalPinnedMouse);
OSErr CountDragItems(DragRef drag, UInt16* count);
OSErr GetDragItemReferenceNumber(DragRef drag, UInt16 index, DragItemRef* item);
// The 'hfs ' flavor, typed: our FSSpec holds its names as strings.
OSErr GetFlavorData(DragRef drag, DragItemRef item, FlavorType flavor, HFSFlavor* out);
OSErr FSpMakeFSRef(const platform::FSSpec* spec, platform::FSRef* out);

namespace platform {

// Windows from the front backwards, visible or not.
std::vector<WindowRef> AllWindows();
// The frontmost window created from that nib name, or null.
WindowRef FindWindowByNibName(const std::string& name);
std::string GetWindowNibName(WindowRef window);
// The topmost visible control at a window-local point, or null.
ControlRef FindControlAt(WindowRef window, Point local);
int ControlDrawCount(ControlRef control);
std::vector<ControlRef> WindowControls(WindowRef window);

// One dragged item: a file (the 'hfs ' flavor) or, with isFile false, some
// other flavor the receiver cannot read as a file.
struct DragItemSpec {
    std::string path;
    bool isFile = true;
};
// Drags the items into the window and drops them at the global point: the
// window's tracking handler sees enter, in-window and leave, then its
// receive handler gets the drop. dragNotAcceptedErr when the window has no
// receive handler.
OSErr DropOnWindow(WindowRef window, Point where, const std::vector<DragItemSpec>& items);

}  // namespace platform
