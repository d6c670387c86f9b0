#pragma once
// Progress of long operations (export, MP3 encoding, sound export). The
// dialog is the sink those operations report to and poll for a cancel, and
// the small modeless window that shows it with a Cancel button.
#include <cstdint>
#include <string>

#include "platform/gestalt.h"
#include "ui/buttons.h"
#include "ui/dialog_window.h"
#include "ui/simple_controls.h"

// The dialog's result codes.
inline constexpr uint32_t kResultOk = platform::FourCharCode("ok  ");
inline constexpr uint32_t kResultCancel = platform::FourCharCode("not!");

// Filled by the caller and kept alive while the dialog is open.
struct ProgressParams {
    int32_t minimum;
    int32_t maximum;
    const char* title;  // null leaves the window untitled
    int32_t reserved1;
    int32_t reserved2;
    int32_t utility;  // nonzero: utility window, else document window
};

void InitProgressParams(ProgressParams* params);

// How a run ended; owned by the caller, the dialog only points at it.
class CProgressInfo {
public:
    CProgressInfo() { Reset(); }
    virtual void Reset();

    int32_t minimum;
    int32_t maximum;
    int32_t cancelled;
    int32_t finished;
};

class CProgressDialog : public CDialogWindow {
public:
    static constexpr int kWindowWidth = 289;
    static constexpr int kWindowHeight = 149;

    CProgressDialog() = default;
    ~CProgressDialog() override;
    CProgressDialog(const CProgressDialog&) = delete;
    CProgressDialog& operator=(const CProgressDialog&) = delete;

    bool OnInitDialog() override;
    // A close request is taken and ignored: it never hides the window nor
    // ends a run.
    bool OnClose() override { return true; }
    bool OnCommand(UInt32 command, EventRef* event) override;

    // Starts a run: clears the info's flags, remembers both records, makes
    // the window on first use (reused afterwards), resets bar and texts and
    // shows it centred. 0, or -1 when no window could be made.
    virtual int Open(int ignored, ProgressParams* params, CProgressInfo* info);
    virtual bool DisposeControls();
    virtual void GetWindowRect(Rect* r);

    // The progress operations. Each gives other work a turn (Pump) around
    // its update, so a window stays alive while the caller is busy.
    virtual void SetMessage(const char* text);
    virtual void SetMessageById(int id);
    virtual void SetDetail(const char* text);
    virtual void SetDetailById(int id);
    virtual int GetPosition() const { return position_; }
    virtual void SetPosition(int value);
    virtual void Advance(int delta);
    virtual void SetToMinimum() { SetPosition(minimum_); }
    virtual void SetToMaximum() { SetPosition(maximum_); }
    virtual void SetRange(int minimum, int maximum);
    virtual void Finish();
    virtual void Cancel();
    virtual bool IsCancelled() const;
    virtual void Reset();
    virtual void SetAudioPercent(int percent);
    virtual int ReturnArgument(int value) { return value; }

    // What a window would show.
    const std::string& GetMessage() const { return message_; }
    const std::string& GetDetail() const { return detail_; }
    int GetMinimum() const { return minimum_; }
    int GetMaximum() const { return maximum_; }
    const ProgressParams* GetParams() const { return params_; }

protected:
    // Dispatches one pending event (a redraw, the Cancel button) so the
    // window stays alive while the caller is busy; nothing without a window.
    virtual void Pump();
    // Creates the window on first use; true when there is one to show.
    virtual bool CreateWindow();
    virtual bool CreateControls();
    virtual void SetInitialTexts();

    CProgressInfo* GetInfo() const { return info_; }

    CProgressBar bar_;
    CStaticText messageLine_;
    CStaticText detailLine_;
    CPushButton cancelButton_;

private:
    void SetBar(int value);

    ProgressParams* params_ = nullptr;
    CProgressInfo* info_ = nullptr;
    std::string message_;
    std::string detail_;
    int position_ = 0;
    int minimum_ = 0;
    int maximum_ = 100;
    bool windowMade_ = false;
};
