#pragma once
// Time-based media opened from a file, told by its content. A still picture
// (JPEG, PNG, GIF, TIFF, BMP) opens as a movie of one video frame; a plain
// sound file (what libsndfile reads) through the platform's sound layer; a
// movie file (QuickTime, MPEG-4, M4A, AVI, MPEG, Matroska, ...) through the
// platform's movie layer over FFmpeg. Frames draw into offscreen worlds and
// copy out as RGB, RGBA or alpha bytes; sound exports to an AIFF file for
// the MP3 encoder or hands out raw pieces. Other pictures (PICT, PSD, TGA)
// do not open.
#include <cstddef>
#include <cstdint>
#include <string>

#include "av/joined_sound.h"
#include "av/media_words.h"
#include "av/movie_media.h"
#include "av/sound_media.h"
#include "foundation/path.h"
#include "media/picture_file.h"
#include "platform/fixed_math.h"
#include "platform/gworld.h"
#include "platform/movie_toolbox.h"

class CImage;
struct CPictureScratch;
namespace platform {
class FileLook;
}
class CProgressDialog;


// The sample format of a sound track, laid out as QuickTime's record.
struct SoundDescription {
    int32_t descSize = 36;
    OSType dataFormat = 0;  // 'twos': 16-bit big-endian signed PCM
    int32_t resvd1 = 0;
    int16_t resvd2 = 0;
    int16_t dataRefIndex = 0;
    int16_t version = 0;
    int16_t revlevel = 0;
    int32_t vendor = 0;
    int16_t numChannels = 0;
    int16_t sampleSize = 0;  // bits
    int16_t compressionID = 0;
    int16_t packetSize = 0;
    // 16.16 fixed point, which holds rates up to 65535 Hz; the whole rate
    // is CQTMovie::GetSoundRate.
    uint32_t sampleRate = 0;
};
static_assert(sizeof(SoundDescription) == 36);
static_assert(offsetof(SoundDescription, numChannels) == 24 && offsetof(SoundDescription, sampleSize) == 26 &&
              offsetof(SoundDescription, sampleRate) == 32);

// The sample description of a video track, or of a picture's one frame,
// laid out as QuickTime's record (two-byte packing puts depth at 82).
#pragma pack(push, 2)
struct ImageDescription {
    int32_t idSize = 86;
    OSType cType = 0;  // the codec: 'avc1', 'mp4v', 'jpeg', ...; a picture's 'jpeg', 'png ', 'gif ', 'tiff' or 'WRLE' (BMP)
    int32_t resvd1 = 0;
    int16_t resvd2 = 0;
    int16_t dataRefIndex = 0;
    int16_t version = 0;
    int16_t revisionLevel = 0;
    OSType vendor = 0;
    uint32_t temporalQuality = 0;
    uint32_t spatialQuality = 0;
    int16_t width = 0;
    int16_t height = 0;
    uint32_t hRes = 72u << 16;  // 16.16 dots per inch
    uint32_t vRes = 72u << 16;
    uint32_t dataSize = 0;
    int16_t frameCount = 1;
    char name[32] = {};  // a length byte, then the characters
    int16_t depth = 24;  // 32 when the picture has transparency
    int16_t clutID = -1;
};
#pragma pack(pop)
static_assert(sizeof(ImageDescription) == 86);
static_assert(offsetof(ImageDescription, width) == 32 && offsetof(ImageDescription, height) == 34 &&
              offsetof(ImageDescription, name) == 50 && offsetof(ImageDescription, depth) == 82 &&
              offsetof(ImageDescription, clutID) == 84);

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
    // Opens a picture, a sound or a movie file, closing what was open
    // before; false, with the reason in GetLastError(), when the file holds
    // none in a form that can be read. A picture or a plain sound file takes
    // the road it always took: FFmpeg sees neither, but for the rest of a
    // sound libsndfile gives up on midway. A file of no kind read here is
    // said by what the caller wants of it.
    bool OpenFile(const CPath& path, platform::MediaWanted wanted = platform::MediaWanted::kAny);
    // The same with one look at the file already taken (its head and an
    // open descriptor): every reader that tells what the file is judges by
    // that head, and a movie's reader reads through that open file, so a
    // movie file is opened once.
    bool OpenFile(const CPath& path, const platform::FileLook& look,
                  platform::MediaWanted wanted = platform::MediaWanted::kAny);
    bool IsOpen() const { return sound_.IsOpen() || picture_.IsOpen() || movie_.IsOpen(); }
    // Whether what is open is a picture file (not a movie or a sound).
    bool IsPicture() const { return picture_.IsOpen(); }
    // Why the last open or frame failed, for the user.
    const std::string& GetLastError() const { return error_; }

    // Units of time per second: a sound's sample rate, 600 for a picture
    // or a movie with video; 0 with nothing open.
    TimeValue GetTimeScale() const;
    // Duration in time-scale units (sample frames for a sound), capped to
    // 32 bits. A picture lasts no time.
    TimeValue GetDuration() const;
    // The movie's current time: where frames are drawn without a time of
    // their own, and where a playing movie has got to.
    TimeValue GetTime() const;
    void SetTime(TimeValue time);

    // The movie box: where and how large the frame is drawn. A picture opens
    // at its own size at the origin, a movie at its video's size on screen;
    // a sound has an empty box.
    void GetSize(int* width, int* height) const;
    // Keeps the box's top-left corner.
    void SetSize(int width, int height);
    // Frames per second of the video: the rate an MPEG-1/2 stream declares,
    // else frame count × time scale / duration of the video; 0 for a still
    // picture or without video.
    double GetFrameRate() const;
    // The duration as "00:mm:ss.hh" into a buffer of at least 32 bytes.
    void FormatTime(char* out) const;

    bool HasSoundTrack() const;
    // True for a picture and for a movie with video (an MPEG stream's too).
    bool HasVideoTrack() const;
    bool GetSoundDescription(SoundDescription* out) const;
    // The sound's rate in Hz, whole: the description's 16.16 field cannot
    // hold 65536 Hz and more. 0 without sound.
    uint32_t GetSoundRate() const;
    // A movie's first video, or "MPEG" with the box's size when an MPEG-1/2
    // program or elementary stream's track comes first.
    bool GetVideoDescription(ImageDescription* out) const;
    // The encoding's name into a buffer of at least 64 bytes; "N/A" and
    // false without sound.
    bool GetCodecName(char* out) const;

    // Frames. A picture has one frame, shown at every time; a movie shows
    // the frame of its video at the time asked for (decoded from the key
    // frame before it). Scaling uses the same triangle filter as
    // CImage::Resize, so a picture and its alpha scale alike. Every call
    // fails (0 or false) without a frame to show, and for an area or source
    // reaching outside the movie box. The calls with a time make it the
    // movie's current time.
    //
    // Draws the frame over target at the movie box, or at box when given
    // (the movie box is kept), blending by the picture's transparency.
    // target must be 32-bit.
    bool DrawToPort(GWorldPtr target, const Rect* box);
    // As DrawToPort; then mask (8-bit) gets 0 where a target pixel is
    // 0xFFFFFFFF and 255 elsewhere, over the part both worlds cover.
    bool DrawToGWorld(GWorldPtr target, const Rect* box, GWorldPtr mask);
    // The frame at the box's size, or src of it (box coordinates from the
    // origin) scaled to dst's size, as R, G, B (24 bits) or R, G, B, A
    // (32); src counts only with dst. Returns the byte count; with out null
    // nothing is drawn. 0 for any other depth.
    uint32_t RenderFrame(TimeValue time, uint8_t* out, const Rect* dst, const Rect* src, int bitsPerPixel);
    // Whether the frame at time 0 draws. A picture is read at one pixel,
    // decoded at its coarsest scale, still through all of its data, so
    // what the decoder says of a damaged file is said; a movie's frame is
    // decoded and nothing converted.
    bool DrawsFirstFrame();
    // Hands an open movie file (not a picture or a sound file) to the run's
    // store without its decoder or any frame, and leaves this wrapper
    // closed: the next OpenFile of the same file, as it stands now and under
    // the same pixel limit, takes it from there instead of looking at the
    // file again. Movies kept open are bounded (a quarter of the files the
    // process may open, 64 MB of buffers and indexes by their estimates);
    // past that a movie is kept closed, holding what it told of itself
    // (streams, length, size, rate), and its file opens again only when a
    // frame is wanted. False when it is not kept open (closed all the same).
    bool KeepOpen();
    // Whether the store holds a movie of the file at path as it stands.
    static bool HoldsKept(const CPath& path);
    // Closes every movie the store holds.
    static void ReleaseKept();
    // The same with one alpha byte per pixel (255 where opaque).
    uint32_t RenderFrameAt(TimeValue time, uint8_t* out, const Rect* dst, const Rect* src);
    // The top-left area-sized part of the frame (the whole frame without
    // area) as R, G, B, A, unscaled.
    uint32_t GetFrameRGBA(TimeValue time, uint8_t* out, const Rect* area);
    // Moves the movie box to the origin and hands image the frame, or area
    // of it, at 24 or 32 bits.
    bool GetFrameAtTime(TimeValue time, CImage& image, const Rect* area, int bitsPerPixel);
    // Frames are decoded and scaled through scratch's blocks (which must
    // outlive the movie's drawing), so that picture after picture reuses
    // their memory; null: blocks of the movie's own.
    void KeepBuffersIn(CPictureScratch* scratch);

    // Writes the sound, or its first limitMs milliseconds, as 16-bit AIFF at
    // its own rate and channels, or mixed down to channels where it has more
    // (av/channel_mix.h: the one rule of every road). Reports
    // "Reading Audio...%d%%" to the sink through ExportProgressProc and
    // stops when it is cancelled; on failure
    // no file is left at path, and GetLastError() says why. A sound of which
    // nothing decodes fails; one that decodes only in part is written as far
    // as it decodes, and GetSoundDamage() says what is wrong with it.
    bool ExportSoundToFile(const CPath& path, OSType fileType, uint32_t limitMs, CProgressDialog* sink,
                           int channels = 0);
    // What the last sound export found damaged; empty when all decoded.
    const std::string& GetSoundDamage() const { return soundDamage_; }
    // Sample frames the last ExportSoundToFile wrote.
    int64_t GetExportedFrames() const { return exportedFrames_; }
    // Why the last ExportSoundToFile could not write its file (an errno
    // value): the machine's failure, not the sound's. 0 when none.
    int GetExportWriteError() const { return exportWriteError_; }
    // The export's progress procedure; refcon is the wrapper. -128 (user
    // cancelled) once the sink is cancelled, else 0; message 1 carries the
    // fraction done in 16.16.
    static OSErr ExportProgressProc(Movie movie, short message, short operation, Fixed percentDone, long refcon);

    // Prepares ExportSoundToHandle to deliver the sound in format (resampled
    // and with its channels made to the format's); false with nothing open or
    // for a data format other than 'twos' and 'sowt' or a size other than 8
    // or 16 bits.
    bool OpenSoundExporter(const SoundExportFormat& format);
    // One piece of the sound as raw sample bytes (delete[] by the caller):
    // length time-scale units from start (0 = to the end, cut at the end).
    // *outNext is where the next piece starts; pieces walked that way join
    // into exactly the bytes of the whole sound. Null with no exporter, at
    // or past the end, and when nothing of the sound decodes.
    uint8_t* ExportSoundToHandle(TimeValue start, TimeValue length, uint32_t* outSize, TimeValue* outNext);

    // The toolbox movie that plays this one (platform/movie_toolbox.h): its
    // frames are this wrapper's, drawn at the toolbox movie's time into its
    // world. Made on first use, owned here; null with nothing open.
    Movie GetMovie();

private:
    struct Frame;
    enum class Output { kRgb, kRgba, kAlpha };
    // Whether there is a frame to show; false with the reason in error_.
    bool HasFrames();
    bool ComposeFrame(const Rect& region, int outWidth, int outHeight, Frame* frame, uint8_t* into = nullptr,
                      int intoBytesPerPixel = 0);
    uint32_t RenderInto(uint8_t* out, const Rect* dst, const Rect* src, Output output);
    // The sound's samples: the sound file's or the movie's; null without.
    platform::SampleSource* Samples();
    const platform::MovieStream* MovieSound() const;

    platform::JoinedSoundSource sound_;
    PictureFile picture_;
    CPictureScratch* scratch_ = nullptr;
    platform::MovieMedia movie_;
    Rect box_;
    // The movie file's path and how it stood when opened (file, size, time,
    // pixel limit), for the store of kept movies.
    static std::string MovieFileStamp(const std::string& path);
    // Takes the kept movie of path when its file stands as it did.
    bool AdoptKept(const std::string& path);
    std::string moviePath_, movieStamp_;
    TimeValue time_ = 0;
    std::string error_;
    Movie toolboxMovie_ = nullptr;
    CProgressDialog* sink_ = nullptr;  // only inside ExportSoundToFile
    bool exporterOpen_ = false;
    SoundDescription exportDesc_;
    uint32_t exportRate_ = 0;  // Hz, whole
    TimeValue exportPosition_ = 0;
    platform::ConvertedReader exportReader_;
    std::string soundDamage_;
    int64_t exportedFrames_ = 0;
    int exportWriteError_ = 0;
};

// Media access is part of this system; the checks stay for the start-up.
bool IsQuickTimePresent();
int GetQuickTimeVersion();
