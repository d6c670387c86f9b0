#pragma once
// The tiny movie, picture and sound files the movie fuzz targets start from,
// made by the ffmpeg program: 32 × 24 pictures at a few frames a second,
// sounds of 0.6 s at 8 kHz.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz_files {

struct MovieSource {
    const char* name;  // the file's name, its extension telling the kind
    const char* arguments;
};

#define TAVREL_FUZZ_VIDEO "-f lavfi -i testsrc2=s=32x24:r=5:d=0.6 "
#define TAVREL_FUZZ_TONE "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=0.6 "
inline constexpr MovieSource kMovieSources[] = {
    {"h264.mp4", TAVREL_FUZZ_VIDEO TAVREL_FUZZ_TONE
     "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 2 -bf 1 -c:a aac -ac 1 -b:a 16k -f mp4"},
    {"mjpeg.mov", TAVREL_FUZZ_VIDEO TAVREL_FUZZ_TONE "-c:v mjpeg -q:v 5 -pix_fmt yuvj420p -c:a pcm_s16be -f mov"},
    {"mpeg4.avi", TAVREL_FUZZ_VIDEO TAVREL_FUZZ_TONE "-c:v mpeg4 -q:v 5 -g 2 -bf 1 -c:a pcm_u8 -f avi"},
    // MPEG-1 takes only the standard rates.
    {"mpeg1.mpg", "-f lavfi -i testsrc2=s=32x24:r=24:d=0.25 " TAVREL_FUZZ_TONE
                  "-c:v mpeg1video -q:v 5 -g 3 -c:a mp2 -b:a 32k -ar 32000 -f mpeg"},
    {"picture.jpg", "-f lavfi -i testsrc2=s=32x24 -frames:v 1 -c:v mjpeg -f image2"},
    {"picture.png", "-f lavfi -i testsrc2=s=32x24 -frames:v 1 -c:v png -f image2"},
    {"aac.m4a", TAVREL_FUZZ_TONE "-c:a aac -b:a 16k -f ipod"},
    {"pcm.wav", TAVREL_FUZZ_TONE "-c:a pcm_s16le -f wav"},
    {"tone.mp3", TAVREL_FUZZ_TONE "-c:a libmp3lame -b:a 16k -f mp3"},
    {"tone.flac", TAVREL_FUZZ_TONE "-c:a flac -f flac"},
    {"vorbis.ogg", TAVREL_FUZZ_TONE "-c:a libvorbis -q:a 0 -f ogg"},
};
#undef TAVREL_FUZZ_VIDEO
#undef TAVREL_FUZZ_TONE
inline constexpr size_t kMovieSourceCount = sizeof kMovieSources / sizeof kMovieSources[0];

// Runs ffmpeg with the arguments, writing path; false when it fails. The
// files come out the same each time (no random Ogg serial numbers, no
// version strings), so a finding replays in a new process.
inline bool RunFfmpeg(const std::string& arguments, const std::string& path)
{
    std::string quoted = "'";
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments +
                                " -fflags +bitexact -flags +bitexact " + quoted + "'";
    return std::system(command.c_str()) == 0;
}

inline bool ReadBytes(const std::string& path, std::string& out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    size_t n;
    out.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
    return !out.empty();
}

}  // namespace fuzz_files
