#include "media/qt_movie.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "media/progress.h"

bool CQTMovie::Close()
{
    sound_.Close();
    return true;
}

bool CQTMovie::OpenFile(const CPath& path)
{
    const std::string full = path.GetFullPath();
    if (full.empty()) {
        Close();
        return false;
    }
    return sound_.Open(full);
}

TimeValue CQTMovie::GetTimeScale() const { return IsOpen() ? sound_.Info().sampleRate : 0; }

TimeValue CQTMovie::GetDuration() const
{
    if (!IsOpen()) return 0;
    return TimeValue(std::min<int64_t>(sound_.Info().frames, INT32_MAX));
}

void CQTMovie::FormatTime(char* out) const
{
    const TimeValue scale = GetTimeScale();
    const double seconds = scale > 0 ? double(GetDuration()) / scale : 0.0;
    const uint32_t ms = uint32_t(seconds * 1000.0);
    // Rounded to hundredths as a whole, so 995 ms and more carry into the
    // seconds instead of printing a hundredths field of 100.
    const uint64_t total = (uint64_t(ms) + 5) / 10;
    const unsigned hundredths = unsigned(total % 100);
    const uint64_t wholeSeconds = total / 100;
    if (total == 0)
        std::snprintf(out, 32, "00:00:00.00");
    else if (wholeSeconds == 0)
        std::snprintf(out, 32, "00:00:00.%02u", hundredths);
    else if (wholeSeconds < 60)
        std::snprintf(out, 32, "00:00:%02u.%02u", unsigned(wholeSeconds), hundredths);
    else
        std::snprintf(out, 32, "00:%02u:%02u.%02u", unsigned(wholeSeconds / 60), unsigned(wholeSeconds % 60),
                      hundredths);
}

bool CQTMovie::GetSoundDescription(SoundDescription* out) const
{
    if (!IsOpen() || !out) return false;
    const platform::SoundInfo& info = sound_.Info();
    *out = SoundDescription{};
    out->dataFormat = info.dataFormat;
    out->numChannels = int16_t(std::min(info.channels, 0x7FFF));
    out->sampleSize = int16_t(info.bitsPerSample);
    out->rateHz = uint32_t(info.sampleRate);
    out->sampleRate = uint32_t(uint64_t(info.sampleRate) << 16);
    return true;
}

bool CQTMovie::GetCodecName(char* out) const
{
    if (!IsOpen()) {
        std::snprintf(out, 64, "N/A");
        return false;
    }
    std::snprintf(out, 64, "%s", sound_.Info().formatName.c_str());
    return true;
}

bool CQTMovie::ExportSoundToFile(const CPath& path, OSType fileType, uint32_t limitMs, CProgressDialog* sink)
{
    constexpr OSType kAiff = 0x41494646;  // 'AIFF'
    if (!IsOpen() || fileType != kAiff) return false;
    const std::string target = path.GetFullPath();
    if (target.empty()) return false;
    // 64-bit: limitMs times the rate passes 32 bits after 97 s at 44100 Hz.
    const int64_t maxFrames = limitMs ? int64_t(limitMs) * sound_.Info().sampleRate / 1000 : -1;
    if (sink && sink->IsCancelled()) return false;
    auto progress = [sink](int percent) {
        if (!sink) return true;
        if (sink->IsCancelled()) return false;
        sink->SetAudioPercent(percent);
        return !sink->IsCancelled();
    };
    return platform::ExportAiff16(sound_, target, maxFrames, progress, nullptr);
}

bool IsQuickTimePresent() { return true; }

int GetQuickTimeVersion() { return 0x0700; }
