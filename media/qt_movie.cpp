#include "media/qt_movie.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "media/image.h"
#include "media/progress.h"
#include "platform/file_look.h"
#include "platform/gestalt.h"
#include "platform/regular_file.h"

namespace {

// The time scale QuickTime gives a still picture, and a new movie.
constexpr TimeValue kPictureTimeScale = 600;
constexpr TimeValue kMovieTimeScale = 600;
// The largest piece ExportSoundToHandle hands out in one block.
constexpr uint64_t kMaxPieceBytes = uint64_t(1) << 30;

// 16.16 from a fraction.
Fixed FractionToFixed(double fraction)
{
    return Fixed(std::lround(std::clamp(fraction, 0.0, 1.0) * 65536.0));
}

// Samples as signed bytes, or as 16-bit words in the byte order given.
void PackSamples(const std::vector<float>& samples, size_t width, bool little, uint8_t* block)
{
    if (width == 1) {
        for (size_t i = 0; i < samples.size(); ++i)
            block[i] = uint8_t(int8_t(std::clamp(std::lround(std::clamp(samples[i], -1.0f, 1.0f) * 128.0f), -128L, 127L)));
        return;
    }
    for (size_t i = 0; i < samples.size(); ++i) {
        const float v = std::clamp(samples[i], -1.0f, 1.0f);
        const uint16_t word = uint16_t(int16_t(std::clamp(std::lround(v * 32768.0f), -32768L, 32767L)));
        block[2 * i + (little ? 0 : 1)] = uint8_t(word);
        block[2 * i + (little ? 1 : 0)] = uint8_t(word >> 8);
    }
}

}  // namespace

bool CQTMovie::Close()
{
    if (toolboxMovie_) DisposeMovie(toolboxMovie_);
    toolboxMovie_ = nullptr;
    exporterOpen_ = false;
    exportReader_.Reset();
    sound_.Close();
    picture_.Close();
    movie_.Close();
    moviePath_.clear();
    movieStamp_.clear();
    box_ = Rect{};
    time_ = 0;
    return true;
}

bool CQTMovie::OpenFile(const CPath& path, platform::MediaWanted wanted)
{
    const std::string full = path.GetFullPath();
    // A movie kept from an earlier step of the run is not looked at again.
    if (!full.empty() && AdoptKept(full)) return true;
    const platform::FileLook look(full);
    return OpenFile(path, look, wanted);
}

bool CQTMovie::OpenFile(const CPath& path, const platform::FileLook& look, platform::MediaWanted wanted)
{
    Close();
    error_.clear();
    const std::string full = path.GetFullPath();
    if (full.empty()) {
        error_ = "no file named";
        return false;
    }
    // A folder, FIFO or device is said as such once, not as what each
    // reader below makes of it (each refuses it on its own descriptor).
    struct stat st;
    if (::stat(full.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error_ = platform::NotRegularFileReason(st.st_mode);
        return false;
    }
    if (AdoptKept(full)) return true;
    if (!look.IsOpen()) {
        error_ = "cannot be opened: " + look.Why();
        return false;
    }
    // Pictures are told by their content; whatever is not one may be a sound
    // or a movie. One asked for its sound is not decoded to say it has none.
    const bool picture = SniffPictureKind(look.Head(), look.HeadSize()) != PictureKind::kNone;
    if (picture && wanted == platform::MediaWanted::kSound) {
        error_ = platform::kNoSoundWords;
        return false;
    }
    // The size rule every picture reader keeps holds the box's 16-bit sides.
    if (picture_.Open(path, &look)) {
        box_ = Rect{0, 0, int16_t(picture_.Height()), int16_t(picture_.Width())};
        return true;
    }
    // A picture that does not decode stays a bad picture.
    if (picture) {
        error_ = picture_.LastError();
        return false;
    }
    // Plain sounds stay with libsndfile; movie containers, among them MPEG
    // streams its MPEG audio reader could take for a sound, and whatever it
    // does not read go to the movie layer.
    if (!platform::IsMovieContainer(look.Head(), look.HeadSize()) && sound_.Open(full)) return true;
    // FFmpeg would make a sound of such a header all the same.
    if (sound_.HeaderRefused()) {
        error_ = sound_.LastError();
        return false;
    }
    // Taken before FFmpeg reads the file: a change while it does shows.
    std::string stamp = MovieFileStamp(full);
    if (!movie_.Open(full, GetMaxImagePixels())) {
        error_ = movie_.KindUnknown() ? platform::UnknownKindWords(wanted) : movie_.LastError();
        return false;
    }
    moviePath_ = full;
    movieStamp_ = std::move(stamp);
    int width = 0, height = 0;
    movie_.DisplaySize(&width, &height);
    box_ = Rect{0, 0, int16_t(height), int16_t(width)};
    return true;
}

TimeValue CQTMovie::GetTimeScale() const
{
    if (picture_.IsOpen()) return kPictureTimeScale;
    if (sound_.IsOpen()) return sound_.Info().sampleRate;
    if (!movie_.IsOpen()) return 0;
    if (HasVideoTrack()) return kMovieTimeScale;
    // A sound-only movie counts in samples, as a sound file does.
    const platform::MovieStream* sound = MovieSound();
    return sound ? sound->sound.sampleRate : kMovieTimeScale;
}

TimeValue CQTMovie::GetDuration() const
{
    if (sound_.IsOpen()) return TimeValue(std::min<int64_t>(sound_.Info().frames, INT32_MAX));
    if (!movie_.IsOpen()) return 0;
    const platform::MovieStream* sound = MovieSound();
    if (!HasVideoTrack() && sound && sound->sound.frames > 0)
        return TimeValue(std::min<int64_t>(sound->sound.frames, INT32_MAX));
    const double units = movie_.Duration() * GetTimeScale();
    return TimeValue(std::clamp(std::llround(units), 0LL, (long long)INT32_MAX));
}

TimeValue CQTMovie::GetTime() const
{
    return toolboxMovie_ ? GetMovieTime(toolboxMovie_, nullptr) : time_;
}

void CQTMovie::SetTime(TimeValue time)
{
    time_ = time;
    if (toolboxMovie_) SetMovieTimeValue(toolboxMovie_, time);
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

double CQTMovie::GetFrameRate() const
{
    return movie_.FrameRate();
}

bool CQTMovie::HasSoundTrack() const
{
    return sound_.IsOpen() || movie_.SoundIndex() >= 0;
}

bool CQTMovie::HasVideoTrack() const
{
    if (picture_.IsOpen()) return true;
    for (const platform::MovieStream& s : movie_.Streams())
        if (s.kind == platform::MovieStream::kVideo) return true;
    return false;
}

const platform::MovieStream* CQTMovie::MovieSound() const
{
    const int index = movie_.SoundIndex();
    return index >= 0 ? &movie_.Streams()[size_t(index)] : nullptr;
}

platform::SampleSource* CQTMovie::Samples()
{
    if (sound_.IsOpen()) return &sound_;
    return movie_.Sound();
}

namespace {

void SetName(ImageDescription* out, const std::string& name)
{
    const size_t length = std::min<size_t>(name.size(), sizeof out->name - 1);
    out->name[0] = char(length);
    std::memcpy(out->name + 1, name.data(), length);
}

}  // namespace

bool CQTMovie::GetVideoDescription(ImageDescription* out) const
{
    if (!out) return false;
    if (movie_.IsOpen()) {
        for (const platform::MovieStream& s : movie_.Streams()) {
            if (s.mpeg && HasVideoTrack()) {
                // The muxed MPEG track: nothing but the box's size and a name.
                std::memset(static_cast<void*>(out), 0, sizeof *out);
                out->width = int16_t(RectWidth(box_));
                out->height = int16_t(RectHeight(box_));
                SetName(out, "MPEG");
                return true;
            }
            if (s.kind != platform::MovieStream::kVideo) continue;
            *out = ImageDescription{};
            out->cType = s.codecType;
            out->width = int16_t(std::clamp(s.width, 0, 32767));
            out->height = int16_t(std::clamp(s.height, 0, 32767));
            out->depth = int16_t(s.depth);
            SetName(out, s.codecName);
            return true;
        }
        return false;
    }
    if (!picture_.IsOpen()) return false;
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
        SetName(out, c.name);
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
    // A duration past 32 bits of milliseconds (a low rate, or a length a
    // header claims) is held at the most the field shows.
    const double msReal = seconds * 1000.0;
    const uint32_t ms = msReal < 4294967295.0 ? uint32_t(msReal) : 0xFFFFFFFFu;
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
    const platform::SoundInfo& info = sound_.IsOpen() ? sound_.Info() : MovieSound()->sound;
    *out = SoundDescription{};
    out->dataFormat = info.dataFormat;
    out->numChannels = int16_t(std::min(info.channels, 0x7FFF));
    out->sampleSize = int16_t(info.bitsPerSample);
    out->sampleRate = uint32_t(uint64_t(info.sampleRate) << 16);
    return true;
}

uint32_t CQTMovie::GetSoundRate() const
{
    if (!HasSoundTrack()) return 0;
    const platform::SoundInfo& info = sound_.IsOpen() ? sound_.Info() : MovieSound()->sound;
    return uint32_t(std::max(info.sampleRate, 0));
}

bool CQTMovie::GetCodecName(char* out) const
{
    if (!HasSoundTrack()) {
        std::snprintf(out, 64, "N/A");
        return false;
    }
    const platform::SoundInfo& info = sound_.IsOpen() ? sound_.Info() : MovieSound()->sound;
    std::snprintf(out, 64, "%s", info.formatName.c_str());
    return true;
}

bool CQTMovie::ExportSoundToFile(const CPath& path, OSType fileType, uint32_t limitMs, CProgressDialog* sink,
                                 int channels)
{
    constexpr OSType kAiff = FourCC("AIFF");
    soundDamage_.clear();
    exportedFrames_ = 0;
    exportWriteError_ = 0;
    // A movie's decode mixes its channels itself, by the same rule; the
    // pieces' reader starts again on the reader that gives them.
    platform::SampleSource* samples = sound_.IsOpen() || channels <= 0 ? Samples() : movie_.Sound(channels);
    exportReader_.Reset();
    if (!samples || fileType != kAiff) {
        error_ = samples ? "only AIFF files are written" : platform::kNoSoundWords;
        return false;
    }
    const std::string target = path.GetFullPath();
    if (target.empty()) return false;
    // 64-bit: limitMs times the rate passes 32 bits after 97 s at 44100 Hz.
    const int64_t maxFrames = limitMs ? int64_t(limitMs) * samples->Info().sampleRate / 1000 : -1;
    if (sink && sink->IsCancelled()) return false;
    sink_ = sink;
    const long refcon = long(reinterpret_cast<intptr_t>(this));
    auto progress = [&](double fraction) {
        if (!sink_) return true;
        return ExportProgressProc(toolboxMovie_, 1, 0, FractionToFixed(fraction), refcon) == 0;
    };
    platform::SoundExportResult result;
    std::string why;
    const bool done = platform::ExportAiff16(*samples, target, maxFrames, progress, &why, &result, channels);
    sink_ = nullptr;
    if (!done) error_ = why;
    soundDamage_ = result.damage;
    exportedFrames_ = result.frames;
    exportWriteError_ = result.writeError;
    return done;
}

OSErr CQTMovie::ExportProgressProc(Movie, short message, short, Fixed percentDone, long refcon)
{
    constexpr OSErr kUserCanceled = -128;
    const auto* wrapper = reinterpret_cast<const CQTMovie*>(intptr_t(refcon));
    CProgressDialog* sink = wrapper ? wrapper->sink_ : nullptr;
    if (sink && sink->IsCancelled()) return kUserCanceled;
    // Pending clicks and keys are left to the progress window, which takes
    // one event at each update: taking them away here would lose a click on
    // its Cancel button.
    if (message == 1 && sink) sink->SetAudioPercent(int(Fix2Long(FixMul(percentDone, Long2Fix(100)))));
    return sink && sink->IsCancelled() ? kUserCanceled : 0;
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
    uint32_t rate = GetSoundRate();
    if (format.sampleRate != 0.0) {
        if (!(format.sampleRate >= 1.0 && format.sampleRate <= 1e6)) return false;
        rate = uint32_t(format.sampleRate);
        desc.sampleRate = uint32_t(uint64_t(rate) << 16);
    }
    if ((desc.dataFormat != kTwos && desc.dataFormat != kSowt) || (desc.sampleSize != 8 && desc.sampleSize != 16) ||
        desc.numChannels <= 0)
        return false;
    exportDesc_ = desc;
    exportRate_ = rate;
    exportReader_.Reset();
    exporterOpen_ = true;
    return true;
}

uint8_t* CQTMovie::ExportSoundToHandle(TimeValue start, TimeValue length, uint32_t* outSize, TimeValue* outNext)
{
    platform::SampleSource* source = Samples();
    if (!exporterOpen_ || !source) return nullptr;
    const uint32_t duration = uint32_t(GetDuration());
    exportPosition_ = start;
    if (uint32_t(start) >= duration) return nullptr;
    uint32_t span = uint32_t(length);
    if (span == 0 || uint64_t(uint32_t(start)) + span > duration) span = duration - uint32_t(start);
    // Both ends of the piece in output frames from the time values, so that
    // the pieces of a walk meet with nothing lost or doubled between them.
    const int64_t scale = std::max<TimeValue>(GetTimeScale(), 1), rate = exportRate_;
    const int64_t first = int64_t(uint32_t(start)) * rate / scale;
    const int64_t end = (int64_t(uint32_t(start)) + span) * rate / scale;
    const int channels = exportDesc_.numChannels;
    const size_t width = size_t(exportDesc_.sampleSize / 8);
    // Held to what decodes, not to the length the file claims: a piece
    // larger than one block may be is refused once that much has come.
    const int64_t most = int64_t(kMaxPieceBytes / (uint64_t(channels) * width));
    std::vector<float> samples;
    if (!exportReader_.Read(*source, int(rate), channels, first, std::min(end - first, most + 1), &samples) ||
        int64_t(samples.size() / size_t(channels)) > most) {
        if (outNext) *outNext = start;
        return nullptr;
    }
    // A first piece of nothing, or of nothing but silence among decoder
    // complaints (when the rest holds nothing more either, as the export
    // would find it), is a sound of which nothing decodes.
    if (samples.empty() && end > first) return nullptr;
    if (first == 0 && !samples.empty() && platform::NothingDecodes(*source, int64_t(samples.size()), exportReader_.AllSilent())) {
        if (platform::NothingOfItDecodes(*source)) return nullptr;
        // The source was read to its end: the next piece starts afresh.
        exportReader_.Reset();
    }
    const bool little = exportDesc_.dataFormat == FourCC("sowt");
    auto* block = new uint8_t[std::max<size_t>(samples.size() * width, 1)];
    PackSamples(samples, width, little, block);
    if (outSize) *outSize = uint32_t(samples.size() * width);
    exportPosition_ = TimeValue(uint32_t(start) + span);
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
