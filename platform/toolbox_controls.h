#pragma once
// Stand-in for the Control Manager's standard controls beyond the push
// button and user pane: their creation, data tags, keyboard focus, mouse
// tracking, the colour picker and a text object for text boxes.
//
// Data tags kept with a meaning: 'text' (bytes) and 'cfst' (a CFStringRef,
// stored as 'text' in Mac Roman) of edit and static texts, 'sele' {start,
// end} of an edit field, 'fltr' its key filter, 'mhan' a pop-up's menu,
// 'omrf' a bevel button's owned menu, 'cont' a button's content, 'draw' and
// 'hitt' a user pane's procedures. Every other tag is kept as bytes.
//
// A key typed into a focused edit field goes through its 'fltr' procedure
// and then replaces the selection; Tab moves the focus to the next field;
// Return or Enter that the field lets through presses the default button.
//
// Scroll bars have a fixed geometry: 16-pixel arrows at both ends (parts 20
// and 21), a 16-pixel thumb (129) travelling over the length less 48, page
// parts (22, 23) either side of it.
#include <string>

#include "platform/quickdraw.h"
#include "platform/toolbox_windows.h"

using ControlPartCode = SInt16;
using EventModifiers = UInt16;
constexpr ControlPartCode kControlNoPart = 0;
constexpr ControlPartCode kControlMenuPart = 2;
constexpr ControlPartCode kControlButtonPart = 10;
constexpr ControlPartCode kControlCheckBoxPart = 11;
constexpr ControlPartCode kControlUpButtonPart = 20;
constexpr ControlPartCode kControlDownButtonPart = 21;
constexpr ControlPartCode kControlPageUpPart = 22;
constexpr ControlPartCode kControlPageDownPart = 23;
constexpr ControlPartCode kControlIndicatorPart = 129;
constexpr SInt16 kControlEditTextPart = 5;
constexpr SInt16 kControlButtonContentTag = 6;  // part of a bevel button's content

constexpr ControlKind kControlKindBevelButton = FourCC("bevl");
constexpr ControlKind kControlKindPopupButton = FourCC("popb");
constexpr ControlKind kControlKindGroupBox = FourCC("grpb");
constexpr ControlKind kControlKindProgressBar = FourCC("prgb");
constexpr ControlKind kControlKindRadioButton = FourCC("rdio");
constexpr ControlKind kControlKindScrollBar = FourCC("sbar");
constexpr ControlKind kControlKindSlider = FourCC("sldr");
constexpr ControlKind kControlKindTabs = FourCC("tabs");
constexpr ControlKind kControlKindDataBrowser = FourCC("datb");
constexpr ControlKind kControlKindImageWell = FourCC("well");

// Data tags.
constexpr OSType kControlEditTextTextTag = FourCC("text");
constexpr OSType kControlStaticTextTextTag = FourCC("text");
constexpr OSType kControlEditTextCFStringTag = FourCC("cfst");
constexpr OSType kControlStaticTextCFStringTag = FourCC("cfst");
constexpr OSType kControlEditTextSelectionTag = FourCC("sele");
constexpr OSType kControlKeyFilterTag = FourCC("fltr");
constexpr OSType kControlPopupButtonMenuHandleTag = FourCC("mhan");
constexpr OSType kControlBevelButtonOwnedMenuRefTag = FourCC("omrf");
constexpr OSType kControlBevelButtonContentTag = FourCC("cont");
constexpr OSType kControlUserPaneDrawProcTag = FourCC("draw");
constexpr OSType kControlUserPaneHitTestProcTag = FourCC("hitt");
constexpr EventParamName kEventParamControlPart = FourCC("cprt");
constexpr EventParamName kEventParamControlCurrentOwningWindow = FourCC("cown");
constexpr EventParamName kEventParamControlMenuID = FourCC("lmnu");  // menu id of a bevel button's choice
constexpr EventParamType typeControlPartCode = FourCC("cprt");
constexpr EventParamType typeSInt16 = FourCC("shor");
constexpr UInt32 kEventControlDraw = 4;
constexpr UInt32 kEventMouseDragged = 6;

struct ControlEditTextSelectionRec {
    SInt16 selStart = 0;
    SInt16 selEnd = 0;
};

using ControlKeyFilterResult = SInt16;
constexpr ControlKeyFilterResult kControlKeyFilterBlockKey = 0;
constexpr ControlKeyFilterResult kControlKeyFilterPassKey = 1;
using ControlKeyFilterProcPtr = ControlKeyFilterResult (*)(ControlRef control, SInt16* keyCode, SInt16* charCode,
                                                           EventModifiers* modifiers);
using ControlKeyFilterUPP = ControlKeyFilterProcPtr;
ControlKeyFilterUPP NewControlKeyFilterUPP(ControlKeyFilterProcPtr proc);
void DisposeControlKeyFilterUPP(ControlKeyFilterUPP upp);

using ControlActionProcPtr = void (*)(ControlRef control, ControlPartCode part);
using ControlActionUPP = ControlActionProcPtr;
ControlActionUPP NewControlActionUPP(ControlActionProcPtr proc);
void DisposeControlActionUPP(ControlActionUPP upp);

using ControlUserPaneDrawProcPtr = void (*)(ControlRef control, SInt16 part);
using ControlUserPaneHitTestProcPtr = ControlPartCode (*)(ControlRef control, Point where);
using ControlUserPaneDrawUPP = ControlUserPaneDrawProcPtr;
using ControlUserPaneHitTestUPP = ControlUserPaneHitTestProcPtr;
ControlUserPaneDrawUPP NewControlUserPaneDrawUPP(ControlUserPaneDrawProcPtr proc);
ControlUserPaneHitTestUPP NewControlUserPaneHitTestUPP(ControlUserPaneHitTestProcPtr proc);
void DisposeControlUserPaneDrawUPP(ControlUserPaneDrawUPP upp);
void DisposeControlUserPaneHitTestUPP(ControlUserPaneHitTestUPP upp);

// Button content.
using ControlContentType = SInt16;
constexpr ControlContentType kControlContentTextOnly = 0;
constexpr ControlContentType kControlContentPictHandle = 131;
constexpr ControlContentType kControlContentIconRef = 132;
struct ControlButtonContentInfo {
    ControlContentType contentType = kControlContentTextOnly;
    union {
        IconRef iconRef;
        PicHandle picture;
    } u{nullptr};
};

// ---- Creation
OSStatus CreateBevelButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt16 thickness,
                                  UInt16 behavior, const ControlButtonContentInfo* content, SInt16 menuId,
                                  UInt16 menuBehavior, UInt16 menuPlacement, ControlRef* out);
OSStatus CreateCheckBoxControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt32 value, bool autoToggle,
                               ControlRef* out);
OSStatus CreateRadioButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt32 value,
                                  bool autoToggle, ControlRef* out);
OSStatus CreatePopupButtonControl(WindowRef window, const Rect* bounds, CFStringRef title, SInt16 menuId,
                                  bool variableWidth, SInt16 titleWidth, SInt16 titleJustification, UInt8 titleStyle,
                                  ControlRef* out);
OSStatus CreateEditTextControl(WindowRef window, const Rect* bounds, CFStringRef text, bool isPassword,
                               bool useInlineInput, const ControlFontStyleRec* style, ControlRef* out);
OSStatus CreateStaticTextControl(WindowRef window, const Rect* bounds, CFStringRef text,
                                 const ControlFontStyleRec* style, ControlRef* out);
OSStatus CreateGroupBoxControl(WindowRef window, const Rect* bounds, CFStringRef title, bool primary, ControlRef* out);
OSStatus CreateProgressBarControl(WindowRef window, const Rect* bounds, SInt32 value, SInt32 minimum, SInt32 maximum,
                                  bool indeterminate, ControlRef* out);
OSStatus CreateScrollBarControl(WindowRef window, const Rect* bounds, SInt32 value, SInt32 minimum, SInt32 maximum,
                                SInt32 viewSize, bool liveTracking, ControlActionUPP action, ControlRef* out);
OSStatus CreateSliderControl(WindowRef window, const Rect* bounds, SInt32 value, SInt32 minimum, SInt32 maximum,
                             UInt16 orientation, UInt16 numTickMarks, bool liveTracking, ControlActionUPP action,
                             ControlRef* out);
OSStatus CreateImageWellControl(WindowRef window, const Rect* bounds, const ControlButtonContentInfo* content,
                                ControlRef* out);

bool IsValidControlHandle(ControlRef control);
OSErr SetControlVisibility(ControlRef control, bool visible, bool draw);
SInt32 GetControlViewSize(ControlRef control);
void SetControlViewSize(ControlRef control, SInt32 size);
OSErr SetBevelButtonContentInfo(ControlRef control, const ControlButtonContentInfo* content);
OSErr GetBevelButtonMenuValue(ControlRef control, MenuItemIndex* item);
OSErr SetImageWellContentInfo(ControlRef control, const ControlButtonContentInfo* content);
OSErr GetImageWellContentInfo(ControlRef control, ControlButtonContentInfo* content);

// ---- Focus and default button
OSErr SetKeyboardFocus(WindowRef window, ControlRef control, SInt16 part);
OSErr GetKeyboardFocus(WindowRef window, ControlRef* out);
OSErr ClearKeyboardFocus(WindowRef window);
OSStatus SetWindowDefaultButton(WindowRef window, ControlRef control);
OSStatus GetWindowDefaultButton(WindowRef window, ControlRef* out);

// ---- Mouse tracking
using MouseTrackingResult = UInt16;
constexpr MouseTrackingResult kMouseTrackingMouseDown = 1;
constexpr MouseTrackingResult kMouseTrackingMouseUp = 2;
constexpr MouseTrackingResult kMouseTrackingMouseDragged = 5;
constexpr MouseTrackingResult kMouseTrackingMouseMoved = 9;
// The part of the control under a point local to the window, with the
// control in *out (null and part 0 when none).
ControlPartCode FindControl(Point where, WindowRef window, ControlRef* out);
ControlPartCode TestControl(ControlRef control, Point where);
// Follows the press at start until the button is released, calling action
// with the part while the mouse is over the part pressed; the part when
// released over it, 0 otherwise.
ControlPartCode TrackControl(ControlRef control, Point start, ControlActionUPP action);
// The mouse, local to the current port's window.
void GetMouse(Point* where);
bool StillDown();
bool Button();
// Takes the next queued mouse event (other events are dispatched meanwhile);
// a loop that ends or has nothing left reads as a release where the mouse is.
OSStatus TrackMouseLocation(CGrafPtr port, Point* where, MouseTrackingResult* result);

// ---- The colour picker, answered by script
bool GetColor(Point where, const unsigned char* prompt, const RGBColor* in, RGBColor* out);

// ---- Text objects of text boxes
struct OpaqueTXNObject;
using TXNObject = OpaqueTXNObject*;
TXNObject TXNNewTextObject(const std::string& text);
void TXNDeleteObject(TXNObject object);
void TXNDraw(TXNObject object, GWorldPtr port);

namespace platform {

int TextObjectDrawCount(TXNObject object);
// A control's text ('text' tag) as UTF-8.
std::string ControlText(ControlRef control);
// Moves the mouse with the button held (a drag step) or not.
Point MouseLocation();

}  // namespace platform
