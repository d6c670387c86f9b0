#pragma once
// Our words for what the media libraries find in a file: every reader says
// the same fault the same way, and no library's own sentence reaches a
// user. Kept in this header because the movie module links nothing of ours
// and words its findings here too.
#include <cstdio>
#include <string>

namespace platform {

// What a caller asked a file to be.
enum class MediaWanted { kAny, kPicture, kSound };

// Why a file is of no kind any reader here knows, named by what was asked
// for: a junk picture is not called a bad sound.
inline std::string UnknownKindWords(MediaWanted wanted)
{
    switch (wanted) {
        case MediaWanted::kPicture:
            return "not a picture or movie file this program reads";
        case MediaWanted::kSound:
            return "not a movie or sound file this program reads";
        case MediaWanted::kAny:
            break;
    }
    return "not a picture, movie or sound file this program reads";
}

// A file asked for its sound that has none (a picture, a silent movie).
inline constexpr char kNoSoundWords[] = "it holds no sound";

// A stretch a decoder could not decode, or hid: "damaged AAC data".
inline std::string DamagedDataWords(const std::string& codec)
{
    return "damaged " + codec + " data";
}

// Sound packets the container dropped before a decoder saw them.
inline constexpr char kPacketsLostWords[] = "packets there are lost";
// Frames a decoder lost its way over, and one whose header is wrong.
inline constexpr char kFramesLostWords[] = "frames there are lost";
inline constexpr char kFrameHeaderWords[] = "a frame header is damaged";
// A frame whose checksum fails: the decoder hands it out as silence.
inline constexpr char kFrameDamagedWords[] = "a frame is damaged";

// A video frame the decoder made whole by hiding what it could not decode
// (own), or one decoded from such a frame; seconds from the video's start,
// negative for its first frame.
inline std::string FrameDamageWords(double seconds, bool own)
{
    char at[48];
    if (seconds < 0)
        std::snprintf(at, sizeof at, "its first frame");
    else
        std::snprintf(at, sizeof at, "its frame at %.1f s", seconds);
    return std::string(at) + (own ? " is damaged" : " follows damaged video data") + ": the decoder hid the damage";
}

}  // namespace platform
