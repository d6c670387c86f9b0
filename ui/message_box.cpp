#include "ui/message_box.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/cfstring.h"
#include "foundation/str.h"
#include "platform/gestalt.h"
#include "platform/toolbox_events.h"
#include "platform/toolbox_services.h"

namespace {

constexpr UInt32 kButtonBits = 0x7F;

// The whole formatted text, however long.
std::string FormatV(const char* format, va_list args)
{
    if (!format) return std::string();
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

AlertType TypeFromFlags(UInt32 flags)
{
    if (flags & kMBStop) return kAlertStopAlert;
    if (flags & kMBCaution) return kAlertCautionAlert;
    if (flags & kMBNote) return kAlertNoteAlert;
    return kAlertPlainAlert;
}

// A localized label, owned until the alert is gone.
struct Labels {
    CCFString strings[3];
    CFStringRef Literal(int slot, const char* text)
    {
        strings[slot].SetCString(text);
        return strings[slot];
    }
    CFStringRef Localized(int slot, int number)
    {
        strings[slot].SetLocalized(number);
        return strings[slot];
    }
};

void SetButtons(AlertStdCFStringAlertParamRec& params, CFStringRef defaultText, CFStringRef cancelText,
                CFStringRef otherText)
{
    params.defaultText = defaultText;
    params.cancelText = cancelText;
    params.otherText = otherText;
    params.defaultButton = kAlertStdAlertOKButton;
    params.cancelButton = cancelText ? kAlertStdAlertCancelButton : 0;
}

std::string Localized(int number, const char* fallback)
{
    CStr text;
    if (!GetLocalizedString(text, number)) return fallback;
    return text.c_str();
}

OSStatus ShowWithPath(WindowRef parent, UInt32 flags, const char* title, const std::string& message)
{
    int32_t version = 0;
    if (platform::Gestalt(platform::gestaltSystemVersion, &version) == 0 && version > 0x0FFF) {
        if (parent) return RunSheetAlert(parent, flags, title, message.c_str());
        return RunAlert(flags, title, message.c_str());
    }
    return RunStandardAlert(parent, flags, title, message.c_str());
}

OSStatus SheetHitHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* answer = static_cast<OSType*>(userData);
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    UInt32 command = 0;
    GetControlCommandID(control, &command);
    *answer = (command == kAnswerOk || command == kAnswerCancel || command == kAnswerOther) ? command : 0;
    return noErr;
}

}  // namespace

OSType MessageBoxF(WindowRef parent, UInt32 flags, const char* title, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string message = FormatV(format, args);
    va_end(args);
    return ShowWithPath(parent, flags, title, message);
}

OSType MessageBox(WindowRef parent, int titleId, int messageId, ...)
{
    std::string title = Localized(titleId, "Error");
    CStr format;
    std::string message = "Error";
    if (GetLocalizedString(format, messageId)) {
        va_list args;
        va_start(args, messageId);
        message = FormatV(format.c_str(), args);
        va_end(args);
    }
    return MessageBoxF(parent, kMBStop | kMBOk, title.c_str(), "%s", message.c_str());
}

namespace {

OSType ShowFormatted(WindowRef parent, UInt32 flags, const char* title, const char* format, va_list args)
{
    std::string message = FormatV(format, args);
    return MessageBoxF(parent, flags, title, "%s", message.c_str());
}

// A failed lookup leaves the text empty.
OSType ShowLocalized(WindowRef parent, UInt32 flags, int titleId, int messageId, va_list args)
{
    std::string title = Localized(titleId, "");
    std::string format = Localized(messageId, "");
    return ShowFormatted(parent, flags, title.c_str(), format.c_str(), args);
}

}  // namespace

OSType MessageBoxT(WindowRef parent, const char* title, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    OSType answer = ShowFormatted(parent, kMBStop | kMBOk, title, format, args);
    va_end(args);
    return answer;
}

OSType MessageBoxLocalized(WindowRef parent, UInt32 flags, int titleId, int messageId, ...)
{
    va_list args;
    va_start(args, messageId);
    OSType answer = ShowLocalized(parent, flags, titleId, messageId, args);
    va_end(args);
    return answer;
}

OSType MessageBoxLocalizedT(WindowRef parent, int titleId, int messageId, ...)
{
    va_list args;
    va_start(args, messageId);
    OSType answer = ShowLocalized(parent, kMBNote | kMBOk, titleId, messageId, args);
    va_end(args);
    return answer;
}

OSType MessageBoxInfoT(WindowRef parent, const char* title, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    OSType answer = ShowFormatted(parent, kMBNote | kMBOk, title, format, args);
    va_end(args);
    return answer;
}

OSType ShowErrorCode(WindowRef parent, int code)
{
    char title[32];
    std::snprintf(title, sizeof title, "Err: %d", code);
    return MessageBoxF(parent, kMBStop | kMBOk, title, "Type: %d", code);
}

OSType RunAlert(UInt32 flags, const char* title, const char* message)
{
    AlertStdCFStringAlertParamRec params;
    if (GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne) != noErr) return kAnswerCancel;
    params.movable = true;
    params.helpButton = false;
    params.position = kWindowDefaultPosition;
    params.flags = 4;
    Labels labels;
    if (flags & kMBOk)
        SetButtons(params, kAlertDefaultOKText, nullptr, nullptr);
    else if (flags & kMBOkCancel)
        SetButtons(params, labels.Localized(0, 11100), labels.Localized(1, 11101), nullptr);
    else if (flags & kMBRetryCancel)
        SetButtons(params, labels.Literal(0, "Retry"), labels.Localized(1, 11101), nullptr);
    else if (flags & kMBYesNo)
        SetButtons(params, labels.Localized(0, 11102), labels.Localized(1, 11103), nullptr);
    else if (flags & kMBYesNoCancel)
        SetButtons(params, labels.Localized(0, 11102), labels.Localized(1, 11101), labels.Localized(2, 11103));
    else if (flags & kMBSaveDontSave)
        SetButtons(params, labels.Literal(0, "Save"), labels.Literal(1, "Cancel"), labels.Literal(2, "Don't Save"));
    else if (flags & kMBAbortRetryIgnore)
        SetButtons(params, labels.Literal(0, "Retry"), labels.Literal(1, "Ignore"), labels.Literal(2, "Abort"));
    else
        SetButtons(params, kAlertDefaultOKText, nullptr, nullptr);
    CCFString cfTitle(title ? title : ""), cfMessage(message ? message : "");
    DialogRef alert = nullptr;
    DialogItemIndex hit = 0;
    if (CreateStandardAlert(TypeFromFlags(flags), cfTitle, cfMessage, &params, &alert) != noErr ||
        RunStandardAlert(alert, nullptr, &hit) != noErr)
        return kAnswerCancel;
    if (flags & kMBOk) return kAnswerOk;
    if ((flags & (kMBOkCancel | kMBRetryCancel)) || !(flags & kButtonBits)) return hit == 1 ? kAnswerOk : kAnswerCancel;
    if (flags & kMBYesNo) return hit == 1 ? kAnswerOk : hit == 2 ? kAnswerNo : kAnswerCancel;
    return hit == 1 ? kAnswerOk : hit == 3 ? kAnswerNo : kAnswerCancel;
}

OSType RunSheetAlert(WindowRef parent, UInt32 flags, const char* title, const char* message)
{
    AlertStdCFStringAlertParamRec params;
    if (GetStandardAlertDefaultParams(&params, kStdCFStringAlertVersionOne) != noErr) return kAnswerCancel;
    Labels labels;
    bool custom = (flags & (kMBYesNo | kMBYesNoCancel | kMBSaveDontSave)) != 0;
    if (custom) {
        params.movable = true;
        params.position = kWindowDefaultPosition;
        params.flags = 4;
    }
    if (flags & kMBYesNo)
        SetButtons(params, labels.Localized(0, 11102), labels.Localized(1, 11103), nullptr);
    else if (flags & kMBYesNoCancel)
        SetButtons(params, labels.Localized(0, 11102), labels.Localized(1, 11101), labels.Localized(2, 11103));
    else if (flags & kMBSaveDontSave)
        SetButtons(params, labels.Literal(0, "Save"), labels.Literal(1, "Cancel"), labels.Literal(2, "Don't Save"));
    AlertType type = TypeFromFlags(flags);
    CCFString cfTitle(title ? title : ""), cfMessage(message ? message : "");
    DialogRef sheet = nullptr;
    if (CreateStandardSheet(type, cfTitle, cfMessage, &params, GetWindowEventTarget(parent), &sheet) != noErr)
        return kAnswerCancel;
    WindowRef sheetWindow = GetDialogWindow(sheet);
    OSType answer = 0;
    EventHandlerUPP upp = NewEventHandlerUPP(SheetHitHandler);
    const EventTypeSpec hit = {kEventClassControl, kEventControlHit};
    InstallEventHandler(GetWindowEventTarget(sheetWindow), upp, 1, &hit, &answer, nullptr);
    if (ShowSheetWindow(sheetWindow, parent) == noErr) {
        // Other windows keep working while this waits for a button.
        while (answer == 0) {
            EventRef event = nullptr;
            OSStatus status = ReceiveNextEvent(0, nullptr, kEventDurationForever, true, &event);
            if (status == eventLoopQuitErr) break;
            if (status != noErr || !event) continue;
            SendEventToEventTarget(event, GetEventDispatcherTarget());
            ReleaseEvent(event);
        }
    } else {
        DialogRef alert = nullptr;
        DialogItemIndex item = 0;
        if (CreateStandardAlert(type, cfTitle, cfMessage, &params, &alert) == noErr &&
            RunStandardAlert(alert, nullptr, &item) == noErr)
            answer = item == 1 ? kAnswerOk : item == 2 ? kAnswerCancel : kAnswerOther;
    }
    HideSheetWindow(sheetWindow);
    DisposeWindow(sheetWindow);
    DisposeEventHandlerUPP(upp);
    if (flags & kMBYesNo) return answer == kAnswerOk ? kAnswerOk : kAnswerNo;
    if (flags & (kMBYesNoCancel | kMBSaveDontSave))
        return answer == kAnswerOk ? kAnswerOk : answer == kAnswerOther ? kAnswerNo : kAnswerCancel;
    return answer == kAnswerOk ? kAnswerOk : kAnswerCancel;
}

OSType RunStandardAlert(WindowRef, UInt32 flags, const char* title, const char* message)
{
    // Length-prefixed texts hold at most 255 bytes: the old alert's limit.
    auto toPascal = [](const char* text, Str255 out) {
        CCFString s(text ? text : "");
        if (!s.GetStr255(out)) {
            std::string roman = s.ToStdString();
            size_t n = std::min<size_t>(roman.size(), 255);
            out[0] = static_cast<unsigned char>(n);
            std::memcpy(out + 1, roman.data(), n);
        }
    };
    Str255 pTitle, pMessage;
    toPascal(title, pTitle);
    toPascal(message, pMessage);
    auto literal = [](const char* text, Str255 out) {
        out[0] = static_cast<unsigned char>(std::strlen(text));
        std::memcpy(out + 1, text, out[0]);
        return out;
    };
    Str255 yes, no, cancel, save, dontSave;
    AlertStdAlertParamRec params;
    params.movable = false;
    params.defaultText = kAlertDefaultOKTextPascal;
    params.defaultButton = kAlertStdAlertOKButton;
    if (flags & kMBYesNo) {
        params.defaultText = literal("Yes", yes);
        params.cancelText = literal("No", no);
    } else if (flags & kMBYesNoCancel) {
        params.defaultText = literal("Yes", yes);
        params.cancelText = literal("Cancel", cancel);
        params.otherText = literal("No", no);
    } else if (flags & kMBSaveDontSave) {
        params.defaultText = literal("Save", save);
        params.cancelText = literal("Cancel", cancel);
        params.otherText = literal("Don't Save", dontSave);
    }
    params.cancelButton = params.cancelText ? kAlertStdAlertCancelButton : 0;
    SInt16 hit = 0;
    if (StandardAlert(TypeFromFlags(flags), pTitle, pMessage, &params, &hit) != noErr) return kAnswerCancel;
    if (flags & kMBYesNo) return hit == 2 ? kAnswerNo : kAnswerOk;
    if (flags & (kMBYesNoCancel | kMBSaveDontSave))
        return hit == 1 ? kAnswerOk : hit == 2 ? kAnswerCancel : hit == 3 ? kAnswerNo : kAnswerCancel;
    return hit == 1 ? kAnswerOk : kAnswerCancel;
}
