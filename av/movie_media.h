#pragma once
// Stand-in for QuickTime's movie import, over FFmpeg's libraries: a movie
// file (QuickTime and MPEG-4 files, M4A, AVI, MPEG program, transport and
// elementary streams, Matroska, FLV, ASF, Ogg) opens by its content, never
// by its name; it tells its streams, decodes the video frame shown at any
// time as packed RGB or RGBA, and hands out its sound as 16-bit samples.
// Pictures and plain sound files never come here (media/picture_file.h,
// av/sound_media.h), but for the rest of a sound file libsndfile
// gives up on midway (av/resumed_sound.h).
//
// The FFmpeg layer lives in a module of the application bundle, loaded on
// the first Open (av/movie_backend.h): a run that opens no movie
// loads none of FFmpeg's libraries. Without the module Open fails, saying
// so.
//
// FFmpeg prints nothing, and none of its words reach a reason: a failure
// or a damaged frame is worded by FFmpeg's error codes and by what was seen
// (av/media_words.h). Sizes come from files and are checked before
// anything is allocated for them: a video larger than the caller's pixel
// limit is refused, decoding stops after a bounded number of packets and
// frames, and sound is read in blocks.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "av/sound_media.h"

namespace platform {

class MovieBackend;

struct MovieStream {
    enum Kind { kVideo, kSound, kOther };
    Kind kind = kOther;
    // A track of an MPEG-1/2 program or elementary stream, which the Mac
    // opened as one muxed MPEG track.
    bool mpeg = false;
    uint32_t codecType = 0;  // four-character code, QuickTime's where it has one
    std::string codecName;
    int width = 0, height = 0;  // video: the coded size
    int depth = 0;              // video: 24, or 32 when the pixels carry alpha
    SoundInfo sound;            // sound: rate, channels (two at most), length and format
    int soundChannels = 0;      // sound: the file's own channels, mixed down to sound.channels
};

// One decoded picture, upright: rows top-down and packed, R, G, B (24
// bits) or R, G, B, A (32 bits).
struct MovieFrame {
    uint32_t width = 0, height = 0;
    int bitsPerPixel = 0;
    std::unique_ptr<uint8_t[]> pixels;
    // What is said of a frame the decoder hid damage in, or of one decoded
    // from such a frame; empty for a whole frame.
    std::string damage;
};

class MovieMedia {
public:
    MovieMedia();
    ~MovieMedia();
    MovieMedia(const MovieMedia&) = delete;
    MovieMedia& operator=(const MovieMedia&) = delete;
    // An open movie moves with what it has decoded.
    MovieMedia(MovieMedia&& other) noexcept;
    MovieMedia& operator=(MovieMedia&& other) noexcept;

    // Opens path when its content is a container FFmpeg reads here and one
    // of its streams is video or sound with a decoder. A video of more than
    // maxPixels pixels or with a side past 32767, coded or on screen, gives
    // no frames; media a QuickTime file's data reference places in another
    // file are refused. What was
    // open is closed first; false with the reason in LastError().
    bool Open(const std::string& path, uint64_t maxPixels);
    void Close();
    bool IsOpen() const { return backend_ != nullptr; }
    const std::string& LastError() const;
    // Whether the last Open failed on a file of no kind FFmpeg knows: the
    // caller names what it asked for (UnknownKindWords).
    bool KindUnknown() const { return kindUnknown_; }

    // The streams in the file's order; empty with nothing open.
    const std::vector<MovieStream>& Streams() const;
    // Seconds from the movie's start to its end.
    double Duration() const;
    // The stream frames come from (the first video that can be decoded)
    // and the one sound is read from; -1 for none.
    int VideoIndex() const;
    int SoundIndex() const;
    // The video's size on screen: the coded size stretched by the pixel
    // aspect ratio, and turned as the track asks (frames come turned too).
    // 0 × 0 without video.
    void DisplaySize(int* width, int* height) const;
    // Frames per second: the rate an MPEG-1/2 video declares; for other
    // video its frame count over its duration; 0 without video.
    double FrameRate() const;

    // The frame shown at seconds from the movie's start: the last whose
    // time is not after it, the first for earlier times and the last for
    // later ones. It is scaled and converted once, from the decoded pixels
    // straight to width × height on screen (the pixel aspect stretch and
    // the turn folded in), or kept at its decoded size (turned) for 0 × 0
    // and for a size the scaler cannot make; R, G, B at 24 bits per pixel,
    // R, G, B, A at 32, and for 0 as the video carries alpha or not. Null,
    // with the reason in LastError(), when none can be decoded. Valid until
    // the next call or Close.
    const MovieFrame* FrameAt(double seconds, int width = 0, int height = 0, int bitsPerPixel = 0);
    // Whether FrameAt(seconds) would give a picture, found by decoding the
    // frame alone: nothing is converted.
    bool HasFrameAt(double seconds);
    // Lets the decoder and every frame go: a movie kept for later holds no
    // pixels. With closeFile its file closes too, and opens again when a
    // frame is wanted; what the movie told of itself stays.
    void Release(bool closeFile);
    // The sound as a source of samples at its own rate, its channels mixed
    // down to at most channels (av/channel_mix.h), read through a
    // reader of its own; null without sound.
    SampleSource* Sound(int channels = 2);

private:
    std::unique_ptr<MovieBackend> backend_;
    std::string error_;
    bool kindUnknown_ = false;
};

// Whether a file's first bytes (head, n of them) are those of a movie
// container: an MPEG program, transport or video stream, a QuickTime or
// MPEG-4 file, AVI, Matroska, FLV or ASF. Those go to FFmpeg before any
// sound reader is asked: libsndfile's MPEG audio reader could take an MPEG
// stream for a sound, and none of them reads the others.
bool IsMovieContainer(const uint8_t* head, size_t n);

// How many files were handed to FFmpeg in this process; pictures and plain
// sounds libsndfile reads through never are. 0 while the movie module is
// not loaded.
int MovieMediaOpenCount();

}  // namespace platform
