#pragma once
// The movie module's sound: decoded in order, converted to interleaved
// 16-bit samples at the stream's own rate, its channels mixed down to
// those asked for (av/channel_mix.h).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "av/ffmpeg_demuxer.h"
#include "av/ogg_links.h"
#include "av/sound_media.h"

namespace platform::ffmpeg_layer {

// One link of a chained file: its bytes, its sound's stream there, and
// why it gives no sound where it does not.
struct SoundLink {
    int64_t begin = 0, end = 0;
    int stream = -1;
    int rate = 0;
    int64_t frames = 0;  // at its own rate
    bool cutShort = false;  // its last page is cut short, its sound lost
    std::string fault;
};

// One stretch of a sound as a QuickTime or MPEG-4 track's edit list plays
// it, in frames at the stream's rate: so many frames of its media from
// start on, or of silence where start is -1. A length of -1 runs to the
// media's end.
struct SoundEdit {
    int64_t start = -1;
    int64_t length = 0;
};

// A track's edit list as stretches at rate; empty where it has none, or
// none that plays its media (FFmpeg's reading of the file then stands).
std::vector<SoundEdit> SoundEdits(const TrackBoxes& track, int rate);

// What a file tells of its sound's time beside the timestamps, in frames at
// the stream's rate.
struct SoundTime {
    // Where the sound ends by the container's own account (a QuickTime
    // file's edit list, which cuts the codec's padding off); 0: at the end
    // of what decodes.
    int64_t end = 0;
    // A raw AAC stream's: its frames are read by their headers' chain
    // (AdtsWalker) and placed by it, at its first frame's rate; 0 for others.
    int adtsRate = 0;
    // A chained Ogg file's links, each read as a file of its own, one after
    // another; empty for a file of one.
    std::vector<SoundLink> links;
    // A track's edit list: its media read whole from its first sample, and
    // played as these stretches say, one after another (end is then unused).
    std::vector<SoundEdit> edits;
};

// The frames of a stream's sound at rate, by its own duration or the file's;
// 0 when neither is known.
int64_t StreamFrames(const AVFormatContext* format, const AVStream* st, int rate);

// A link of a chained file as the walk found it, ending at end: the first
// sound there that can be decoded, its rate and length (as the walk counted
// it, else as FFmpeg gives it), or why there is none. What held holds of the
// file is not read again.
SoundLink ProbeLink(const std::string& path, const OggLink& found, int64_t end, const FileWindow* held = nullptr);

// An Ogg file's links as the walk found them, and, for a chain of more than
// one, each probed: found once a run for as long as the file stands as it
// was (fd is the file at path, of size bytes).
struct OggChain {
    std::vector<OggLink> found;
    std::vector<SoundLink> links;  // empty for a file of one link
};
OggChain OggChainOf(int fd, const std::string& path, int64_t size);

// The sound of the stream of path, as info and time describe it, read
// through a demuxer and decoder of its own.
std::unique_ptr<SampleSource> NewSoundReader(std::string path, int stream, SoundInfo info, SoundTime time);

}  // namespace platform::ffmpeg_layer
