#include "tools/console_progress.h"

#include <algorithm>

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

}  // namespace

CConsoleProgress::CConsoleProgress(std::FILE* out, bool draw, const volatile std::sig_atomic_t* cancelFlag)
    : out_(out), draw_(draw), cancelFlag_(cancelFlag)
{
}

std::string CConsoleProgress::FormatBar(int done, int total, Clock::duration elapsed)
{
    total = std::max(total, 0);
    done = std::clamp(done, 0, total);
    const int percent = total ? int(int64_t(done) * 100 / total) : 0;
    const int filled = total ? int(int64_t(done) * kBarWidth / total) : 0;
    std::string bar = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
    char text[160];
    int n = std::snprintf(text, sizeof text, "slide %d of %d %s %3d%%", std::min(done + 1, total), total,
                          bar.c_str(), percent);
    std::string line(text, size_t(std::max(n, 0)));
    // Time left from the pace so far; nothing to say before the first slide.
    if (done > 0 && done < total) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
        const int64_t left = (ms * (total - done) / done + 999) / 1000;
        std::snprintf(text, sizeof text, "  %lld:%02lld left", static_cast<long long>(left / 60),
                      static_cast<long long>(left % 60));
        line += text;
    }
    return line;
}

void CConsoleProgress::SetMessage(const char* text)
{
    CProgressDialog::SetMessage(text);
    if (!started_) {
        started_ = true;
        start_ = Clock::now();
    }
    Draw(false);
}

void CConsoleProgress::SetPosition(int value)
{
    CProgressDialog::SetPosition(value);
    Draw(value >= GetMaximum());
}

void CConsoleProgress::SetRange(int minimum, int maximum)
{
    CProgressDialog::SetRange(minimum, maximum);
    Draw(false);
}

bool CConsoleProgress::IsCancelled() const
{
    return (cancelFlag_ && *cancelFlag_) || CProgressDialog::IsCancelled();
}

void CConsoleProgress::Draw(bool force)
{
    if (!draw_ || !started_) return;
    const auto now = Clock::now();
    if (drawn_ && !force && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    drawn_ = true;
    const std::string line = FormatBar(GetPosition() - GetMinimum(), GetMaximum() - GetMinimum(), now - start_);
    // Carriage return and erase-to-end-of-line: the bar stays on one line.
    std::fprintf(out_, "\r%s\033[K", line.c_str());
    std::fflush(out_);
}

void CConsoleProgress::End()
{
    if (!drawn_) return;
    std::fputs("\r\033[K", out_);
    std::fflush(out_);
    drawn_ = false;
}
