#include "media/qt_movie.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/progress.h"
#include "platform/gestalt.h"

namespace {

// The time scale QuickTime gives a still picture.
constexpr TimeValue kPictureTimeScale = 600;

}  // namespace

bool CQTMovie::Close()
{
    exporterOpen_ = false;
    sound_.Close();
    picture_.Close();
    box_ = Rect{};
    time_ = 0;
    return true;
}

bool CQTMovie::OpenFile(const CPath& path)
{
    Close();
    const std::string full = path.GetFullPath();
    if (full.empty()) return false;
    // Pictures are told by their content; whatever is not one may be a sound.
    if (picture_.Open(path)) {
        box_ = Rect{0, 0, int16_t(std::min<uint32_t>(picture_.Height(), INT16_MAX)),
                    int16_t(std::min<uint32_t>(picture_.Width(), INT16_MAX))};
        if (picture_.Width() <= uint32_t(INT16_MAX) && picture_.Height() <= uint32_t(INT16_MAX)) return true;
        // QuickDraw boxes cannot hold the size.
        picture_.Close();
        box_ = Rect{};
        return false;
    }
    return sound_.Open(full);
}

TimeValue CQTMovie::GetTimeScale() const
{
    if (picture_.IsOpen()) return kPictureTimeScale;
    return HasSoundTrack() ? sound_.Info().sampleRate : 0;
}

TimeValue CQTMovie::GetDuration() const
{
    if (!HasSoundTrack()) return 0;
    return TimeValue(std::min<int64_t>(sound_.Info().frames, INT32_MAX));
}

void CQTMovie::GetSize(int* width, int* height) const
{
    if (width) *width = RectWidth(box_);
    if (height) *height = RectHeight(box_);
}

void CQTMovie::SetSize(int width, int height)
{
    box_.right = int16_t(std::clamp(int(box_.left) + std::max(width, 0), -32768, 32767));
    box_.bottom = int16_t(std::clamp(int(box_.top) + std::max(height, 0), -32768, 32767));
}

bool CQTMovie::GetVideoDescription(ImageDescription* out) const
{
    if (!picture_.IsOpen() || !out) return false;
    static const struct {
        PictureKind kind;
        OSType codec;
        const char* name;
    } kCodecs[] = {
        {PictureKind::kJpeg, FourCC("jpeg"), "Photo - JPEG"},
        {PictureKind::kPng, FourCC("png "), "PNG"},
        {PictureKind::kGif, FourCC("gif "), "GIF"},
        {PictureKind::kTiff, FourCC("tiff"), "TIFF"},
        {PictureKind::kBmp, FourCC("WRLE"), "BMP"},
    };
    *out = ImageDescription{};
    for (const auto& c : kCodecs) {
        if (c.kind != picture_.Kind()) continue;
        out->cType = c.codec;
        out->name[0] = char(std::strlen(c.name));
        std::memcpy(out->name + 1, c.name, std::strlen(c.name));
    }
    out->width = int16_t(picture_.Width());
    out->height = int16_t(picture_.Height());
    out->depth = int16_t(picture_.HasAlpha() ? 32 : 24);
    return true;
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
    if (!HasSoundTrack() || !out) return false;
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
    if (!HasSoundTrack()) {
        std::snprintf(out, 64, "N/A");
        return false;
    }
    std::snprintf(out, 64, "%s", sound_.Info().formatName.c_str());
    return true;
}

bool CQTMovie::ExportSoundToFile(const CPath& path, OSType fileType, uint32_t limitMs, CProgressDialog* sink)
{
    constexpr OSType kAiff = FourCC("AIFF");
    if (!HasSoundTrack() || fileType != kAiff) return false;
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

bool CQTMovie::OpenSoundExporter(const SoundExportFormat& format)
{
    constexpr OSType kTwos = FourCC("twos"), kSowt = FourCC("sowt");
    exporterOpen_ = false;
    SoundDescription source;
    if (!GetSoundDescription(&source)) return false;
    SoundDescription desc = source;
    desc.dataFormat = format.dataFormat ? format.dataFormat : kTwos;
    if (format.channels & 0xFFFF) desc.numChannels = int16_t(format.channels & 0xFFFF);
    desc.sampleSize = (format.sampleSize & 0xFFFF) ? int16_t(format.sampleSize & 0xFFFF) : int16_t(16);
    if (format.sampleRate != 0.0) {
        if (!(format.sampleRate >= 1.0 && format.sampleRate <= 1e6)) return false;
        desc.rateHz = uint32_t(format.sampleRate);
        desc.sampleRate = uint32_t(uint64_t(desc.rateHz) << 16);
    }
    if ((desc.dataFormat != kTwos && desc.dataFormat != kSowt) || (desc.sampleSize != 8 && desc.sampleSize != 16) ||
        desc.numChannels <= 0)
        return false;
    exportDesc_ = desc;
    exporterOpen_ = true;
    return true;
}

uint8_t* CQTMovie::ExportSoundToHandle(TimeValue start, TimeValue length, uint32_t* outSize, TimeValue* outNext)
{
    if (!exporterOpen_ || !HasSoundTrack()) return nullptr;
    const uint32_t duration = uint32_t(GetDuration());
    exportPosition_ = start;
    if (uint32_t(start) > duration) return nullptr;
    uint32_t span = uint32_t(length);
    if (span == 0 || uint64_t(uint32_t(start)) + span > duration) span = duration - uint32_t(start);
    std::vector<float> samples;
    const int channels = exportDesc_.numChannels;
    const bool ok = platform::ReadConverted(sound_, uint32_t(start), span, int(exportDesc_.rateHz), channels, &samples);
    uint8_t* block = nullptr;
    if (ok) {
        const size_t width = exportDesc_.sampleSize / 8;
        const bool little = exportDesc_.dataFormat == FourCC("sowt");
        block = new uint8_t[std::max<size_t>(samples.size() * width, 1)];
        for (size_t i = 0; i < samples.size(); ++i) {
            const float v = std::clamp(samples[i], -1.0f, 1.0f);
            if (width == 1) {
                block[i] = uint8_t(int8_t(std::clamp(std::lround(v * 128.0f), -128L, 127L)));
                continue;
            }
            const uint16_t word = uint16_t(int16_t(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L)));
            block[2 * i + (little ? 0 : 1)] = uint8_t(word);
            block[2 * i + (little ? 1 : 0)] = uint8_t(word >> 8);
        }
        if (outSize) *outSize = uint32_t(samples.size() * width);
        exportPosition_ = TimeValue(uint32_t(start) + span);
    }
    if (outNext) *outNext = exportPosition_;
    return block;
}

bool IsQuickTimePresent()
{
    return true;
}

int GetQuickTimeVersion()
{
    return 0x0700;
}
