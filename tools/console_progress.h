#pragma once
// The export's progress sink on a terminal: no window, a one-line bar on
// standard error (slide i of n, percent, time left), redrawn at most ten
// times a second, and a cancel taken from a flag a signal handler sets.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "media/progress.h"

class CConsoleProgress : public CProgressDialog {
public:
    using Clock = std::chrono::steady_clock;

    // draw: whether a bar is shown at all; cancelFlag: nonzero asks to stop.
    CConsoleProgress(std::FILE* out, bool draw, const volatile std::sig_atomic_t* cancelFlag);

    void SetMessage(const char* text) override;
    void SetPosition(int value) override;
    void SetRange(int minimum, int maximum) override;
    bool IsCancelled() const override;

    // Clears the bar's line so that later messages start on a clean one.
    void End();

    // The bar's text for done of total after elapsed; public for tests.
    static std::string FormatBar(int done, int total, Clock::duration elapsed);

protected:
    bool CreateWindow() override { return true; }  // a terminal needs none

private:
    void Draw(bool force);

    std::FILE* out_;
    bool draw_;
    const volatile std::sig_atomic_t* cancelFlag_;
    bool started_ = false;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};
