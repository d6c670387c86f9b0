#pragma once
// Message boxes: flags in the manner of Win32 message boxes, printf-style
// messages, and the answer as a four-character code.
#include <cstdarg>

#include "platform/toolbox_windows.h"

// Icons (the first present wins; none gives a plain alert).
constexpr UInt32 kMBStop = 0x100;
constexpr UInt32 kMBCaution = 0x200;
constexpr UInt32 kMBNote = 0x400;
// Buttons.
constexpr UInt32 kMBOk = 0x1;
constexpr UInt32 kMBOkCancel = 0x2;
constexpr UInt32 kMBRetryCancel = 0x4;
constexpr UInt32 kMBYesNo = 0x8;
constexpr UInt32 kMBYesNoCancel = 0x10;
constexpr UInt32 kMBSaveDontSave = 0x20;
constexpr UInt32 kMBAbortRetryIgnore = 0x40;

// Answers.
constexpr OSType kAnswerOk = FourCC("ok  ");
constexpr OSType kAnswerCancel = FourCC("not!");
constexpr OSType kAnswerNo = FourCC("No!!");
constexpr OSType kAnswerOther = FourCC("othr");

OSType MessageBoxF(WindowRef parent, UInt32 flags, const char* title, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
OSType MessageBox(WindowRef parent, int titleId, int messageId, ...);
OSType MessageBoxT(WindowRef parent, const char* title, const char* format, ...) __attribute__((format(printf, 3, 4)));
OSType MessageBoxLocalized(WindowRef parent, UInt32 flags, int titleId, int messageId, ...);
OSType MessageBoxLocalizedT(WindowRef parent, int titleId, int messageId, ...);
OSType MessageBoxInfoT(WindowRef parent, const char* title, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
OSType ShowErrorCode(WindowRef parent, int code);

// The three presentations; the message is already formatted.
OSType RunSheetAlert(WindowRef parent, UInt32 flags, const char* title, const char* message);
OSType RunStandardAlert(WindowRef parent, UInt32 flags, const char* title, const char* message);
OSType RunAlert(UInt32 flags, const char* title, const char* message);
