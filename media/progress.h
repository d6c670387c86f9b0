#pragma once
// Progress of long operations (export, MP3 encoding, sound export). The
// dialog is the sink those operations report to and poll for a cancel; this
// class holds its state, and the window that shows it derives from it.
#include <cstdint>
#include <string>

#include "platform/gestalt.h"

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

class CProgressDialog {
public:
    static constexpr int kWindowWidth = 289;
    static constexpr int kWindowHeight = 149;

    CProgressDialog() = default;
    virtual ~CProgressDialog() = default;
    CProgressDialog(const CProgressDialog&) = delete;
    CProgressDialog& operator=(const CProgressDialog&) = delete;

    // Starts a run: clears the info's flags, remembers both records, and
    // resets bar and texts. 0, or -1 when no window could be made.
    virtual int Open(int ignored, ProgressParams* params, CProgressInfo* info);

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
    uint32_t GetResult() const { return result_; }
    const ProgressParams* GetParams() const { return params_; }

protected:
    // Lets cooperative work and one pending event run (a window's redraw and
    // its Cancel button); nothing to do without a window.
    virtual void Pump() {}
    // Creates the window on first use; true when there is one to show.
    virtual bool CreateWindow() { return true; }
    virtual void SetInitialTexts();

private:
    void SetBar(int value);

    ProgressParams* params_ = nullptr;
    CProgressInfo* info_ = nullptr;
    uint32_t result_ = kResultOk;
    std::string message_;
    std::string detail_;
    int position_ = 0;
    int minimum_ = 0;
    int maximum_ = 100;
    bool windowMade_ = false;
};
