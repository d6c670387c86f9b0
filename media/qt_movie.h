#pragma once
// Time-based media opened from a file. This is the sound side: a sound file
// opens through the platform's sound layer, tells its duration and sample
// format, and exports its samples to an AIFF file for the MP3 encoder.
// Pictures and video are not opened here.
#include <cstdint>

#include "foundation/path.h"
#include "platform/sound_media.h"

class CProgressDialog;

using TimeValue = int32_t;
using OSType = uint32_t;

// The sample format of a sound track.
struct SoundDescription {
    int32_t descSize = 36;
    OSType dataFormat = 0;  // 'twos': 16-bit big-endian signed PCM
    int16_t numChannels = 0;
    int16_t sampleSize = 0;   // bits
    uint32_t sampleRate = 0;  // 16.16 fixed point; wraps from 65536 Hz on
    // The whole rate: callers that need the rate read this field, since the
    // fixed-point field cannot hold 65536 Hz and more.
    uint32_t rateHz = 0;
};

// What OpenSoundExporter makes of the sound; a zero field keeps the
// source's value.
struct SoundExportFormat {
    double sampleRate = 0;
    int32_t sampleSize = 0;  // 8 or 16 bits
    int32_t channels = 0;
    OSType dataFormat = 0;  // 'twos' (0) big-endian signed, or 'sowt' little-endian
};

class CQTMovie {
public:
    CQTMovie() = default;
    ~CQTMovie() { Close(); }
    CQTMovie(const CQTMovie&) = delete;
    CQTMovie& operator=(const CQTMovie&) = delete;

    bool Close();
    // Opens a sound file, closing what was open before; false when the file
    // holds no sound that can be read.
    bool OpenFile(const CPath& path);
    bool IsOpen() const { return sound_.IsOpen(); }

    // Units of time per second: the sound's sample rate; 0 with nothing open.
    TimeValue GetTimeScale() const;
    // Duration in time-scale units (sample frames), capped to 32 bits.
    TimeValue GetDuration() const;
    // The duration as "00:mm:ss.hh" into a buffer of at least 32 bytes.
    void FormatTime(char* out) const;

    bool HasSoundTrack() const { return IsOpen(); }
    bool HasVideoTrack() const { return false; }
    bool GetSoundDescription(SoundDescription* out) const;
    // The encoding's name into a buffer of at least 64 bytes; "N/A" and
    // false with nothing open.
    bool GetCodecName(char* out) const;

    // Writes the sound, or its first limitMs milliseconds, as 16-bit AIFF at
    // its own rate and channels. Reports "Reading Audio...%d%%" to the sink
    // and stops when it is cancelled; on failure no file is left at path.
    bool ExportSoundToFile(const CPath& path, OSType fileType, uint32_t limitMs, CProgressDialog* sink);

    // Prepares ExportSoundToHandle to deliver the sound in format (resampled
    // and with its channels made to the format's); false with nothing open or
    // for a data format other than 'twos' and 'sowt' or a size other than 8
    // or 16 bits.
    bool OpenSoundExporter(const SoundExportFormat& format);
    // One piece of the sound as raw sample bytes (delete[] by the caller):
    // length time-scale units from start (0 = to the end, cut at the end).
    // *outNext is where the next piece starts. Null with no exporter, past
    // the end or when the sound cannot be read.
    uint8_t* ExportSoundToHandle(TimeValue start, TimeValue length, uint32_t* outSize, TimeValue* outNext);

private:
    platform::SoundSource sound_;
    bool exporterOpen_ = false;
    SoundDescription exportDesc_;
    TimeValue exportPosition_ = 0;
};

// Media access is part of this system; the checks stay for the start-up.
bool IsQuickTimePresent();
int GetQuickTimeVersion();
