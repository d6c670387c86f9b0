#pragma once
// The tiny movie, picture and sound files the movie fuzz targets start from,
// made by the ffmpeg program: 32 × 24 pictures at a few frames a second,
// sounds of 0.6 s at 8 kHz.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "picture_sources.h"

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
    // A JPEG libjpeg does not decode, which players do not show either.
    {"lossless.jpg", "-f lavfi -i testsrc2=s=32x24 -frames:v 1 -c:v ljpeg -pix_fmt bgr24 -f image2"},
    {"aac.m4a", TAVREL_FUZZ_TONE "-c:a aac -b:a 16k -f ipod"},
    {"pcm.wav", TAVREL_FUZZ_TONE "-c:a pcm_s16le -f wav"},
    {"tone.mp3", TAVREL_FUZZ_TONE "-c:a libmp3lame -b:a 16k -f mp3"},
    {"tone.flac", TAVREL_FUZZ_TONE "-c:a flac -f flac"},
    {"vorbis.ogg", TAVREL_FUZZ_TONE "-c:a libvorbis -q:a 0 -f ogg"},
    {"tone.aiff", TAVREL_FUZZ_TONE "-c:a pcm_s16be -f aiff"},
    {"alaw.aifc", TAVREL_FUZZ_TONE "-c:a pcm_alaw -f aiff"},
    {"u8.wav", TAVREL_FUZZ_TONE "-c:a pcm_u8 -f wav"},
    {"s24.wav", TAVREL_FUZZ_TONE "-c:a pcm_s24le -f wav"},
    // Variable bit rate with a Xing header and an ID3 tag that names it; without the header.
    {"vbr-id3.mp3", TAVREL_FUZZ_TONE "-c:a libmp3lame -q:a 5 -metadata title=Tone -f mp3"},
    {"vbr-no-xing.mp3", TAVREL_FUZZ_TONE "-c:a libmp3lame -q:a 5 -write_xing 0 -f mp3"},
    {"opus.opus", TAVREL_FUZZ_TONE "-c:a libopus -b:a 16k -f ogg"},
    {"adts.aac", TAVREL_FUZZ_TONE "-c:a aac -b:a 16k -f adts"},
};
#undef TAVREL_FUZZ_VIDEO
#undef TAVREL_FUZZ_TONE
inline constexpr size_t kMovieSourceCount = sizeof kMovieSources / sizeof kMovieSources[0];
// The ffmpeg program's sources, then the pictures made here (picture_sources.h).
inline constexpr size_t kBuiltInSourceCount = kMovieSourceCount + kPictureSourceCount;

// Files of the user's own the export target takes as sources after the ones
// above, named in TAVREL_EXPORT_SOURCES (a folder): its regular files of up
// to 4 MB in name order, as many as one choice byte reaches. The seeds
// program and the target list them alike, so a seed's choices name the
// same files in both.
inline constexpr uintmax_t kMostOutsideSourceBytes = 4u << 20;
inline std::vector<std::string> OutsideSources(const char* folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    if (!folder || !*folder) return files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec) && entry.file_size(ec) > 0 && entry.file_size(ec) <= kMostOutsideSourceBytes)
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    files.resize(std::min(files.size(), 256 - kBuiltInSourceCount));
    return files;
}

// The name an outside source goes by in a show: its number and its
// extension (which tells some readers the kind), nothing XML would quote.
inline std::string OutsideSourceName(size_t number, const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    extension.erase(std::remove_if(extension.begin(), extension.end(),
                                   [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '.'; }),
                    extension.end());
    return "outside" + std::to_string(number) + extension;
}

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

}  // namespace fuzz_files
