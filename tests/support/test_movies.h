#pragma once
// Small movie files made by Debian's ffmpeg program, each once per test
// program when first asked for, in a private folder that lasts as long as
// the program. Each video shows
// one flat colour in its first second and another in its second, at 64 × 48
// and 25 frames a second; each sound is a 440 Hz tone.
#include <cstdint>
#include <string>
#include <vector>

namespace tavrel_test {

struct TestMovie {
    std::string name;  // "mpg", "m1v", "mp4", "mov", "avi", "m4a"
    std::string path;
    double seconds = 0;
    // Video: 0 × 0 without.
    int width = 0, height = 0;
    double fps = 0;
    long first = 0, second = 0;  // 0xRRGGBB of the two halves
    uint32_t videoCodec = 0;     // the four-character code expected; 0 for MPEG
    bool mpeg = false;           // an MPEG-1 program or elementary stream
    // Sound: rate 0 without.
    int rate = 0, channels = 0;
    uint32_t soundCodec = 0;
    std::string codecName;  // a word the sound's codec name holds
};

// Why the movies cannot be made here ("" when they can): ffmpeg is missing.
std::string FfmpegUnavailable();
// Every movie; empty when they cannot all be made.
const std::vector<TestMovie>& TestMovies();
// One movie, made alone; an empty path when it cannot be made.
const TestMovie& TestMovieNamed(const std::string& name);
// Runs ffmpeg with the arguments (quiet, no questions) writing output;
// false when it fails.
bool RunFfmpeg(const std::string& arguments, const std::string& output);
// A QuickTime file (its movie box after its data) whose first track's data
// reference names location, another file, instead of the file itself; ""
// when the file is not laid out so.
std::string WithOutsideReference(std::string movie, const std::string& location);
// A damaged sound file at path, made by ffmpeg and a byte edit: "bad.m4a"
// (AAC data overwritten after its first 64 bytes), "cut.mp4" (index first,
// cut at a tenth), "cut.m4a" (index last, cut at half), "big.flac" (1 s claiming 2^36 - 1 samples), "bad.ogg"
// (58 bytes of damaged Vorbis headers); of a 10 s tone at 44100 Hz:
// "bad.mp3" (its packets 150 to 229 random after their headers), "cut.mp3"
// (its first 600 bytes), "cut.wav" and "cut.aif" (half their bytes),
// "mid.flac" (3,000 bytes from the middle on XORed with 0x5A);
// "holed.mp4" (10 s of AAC at 48000 Hz, index first, packets 172 to 258
// random), "holed.aac" (ADTS, packets 172 to 258 random after their
// headers), "random.aac", "random.ogg" and "random.ts" (ADTS, Ogg Vorbis
// and AAC in MPEG-TS with 3,000 random bytes at 45 %), "cut.flac" (2 s at
// 11025 Hz, three quarters of its bytes),
// "zeros.mp3" (320 kbit/s, 100,000 bytes zeroed from 40 %),
// "layer1.mp3" (796 bytes of MPEG Layer I whose second frame does not
// decode), "head.flac" and "late.flac" (0.6 s at 22050 Hz zeroed at its
// first frame or midway), "open.flac" and "open.wav" (1 s whose header
// leaves the length open: valid), "rate0.aif", "bits0.aif", "rate.wav"
// and "channels.wav" (0.5 s whose header gives a rate of 0 or 2^31 - 1,
// 0 bits or 255 channels), "many.mka" (0.5 s in 20 channels: valid); of
// a 2 s click track in 128 kbit/s MP3: "byte.mp3" (the frame at the middle
// without its first header byte), "noise.mp3" (1,000 random bytes from
// there); "gap.mp3" (1.2 s at 22050 Hz and 32 kbit/s, bytes 2,000 to 2,999
// zeroed); "bitrate.mp3", "layer.mp3" and "rate.mp3" (the frame at the
// middle of 2 s of 128 kbit/s clicks given another bit rate, layer or
// sample rate; "tagged.mp3" the bit rate, with an Info tag), "noise.wav" (the
// same as MP3 inside WAVE, 1,500 bytes of 0x55 at its middle); and valid,
// 1.5 s of VBR without a Xing header: "quiet.mp3" (0.3 s of silence, then
// noise) and "loud.mp3" (noise, then silence); "info0.mp3" (2 s of clicks
// whose Info tag counts no frames), "padded.mp3" (1.2 s of clicks, zeros
// to 5 MB), "one.mp3" and "one.mp2" (one 417-byte frame); "onelast.mp3"
// (that frame, then one of 32 kbit/s whose side information no frame
// holds, ending the file); of 10 s of
// 128 kbit/s clicks: "flipped.mp3" (a bit rate bit flipped in the headers
// of frames 100, 200 and 300), "dropped.mp3" (frame 192 taken out, its
// Info tag counting it), "junk5.mp3", "junk33.mp3", "junk100.mp3" and
// "junk300.mp3" (so many random bytes after every 20th frame); 3 s of
// clicks by the lame program cut where its 61st audio frame starts, then
// 4 s of clicks whole: "cutlame.mp3" (by lame, as the first),
// "cutlame_vbr.mp3" (lame -V2), "cutlame_mp2.mp3" (MP2),
// "cutlame_untagged.mp3" (lame without its Info frame),
// "cutlame_reservoir.mp3" (that from its frame 40 on, whose main data
// begins in the frames before it); "zeros417.mp3" (2 s of 128 kbit/s
// stereo clicks by lame, 417 zeros before every frame after the first);
// valid: "tone_v6.mp3" (a 1 s tone by lame -V 6, a zero byte before frames
// 1, 2, 4, 10, 16 and 22, seven before frame 26); 3 minutes of stereo
// clicks by lame: "long_cbr.mp3" (128 kbit/s), "long_vbr.mp3" (-V 2),
// "long_stray10.mp3" (a zero byte before every 10th frame),
// "long_stray5.mp3" (five bytes before every frame);
// "cutvorbis_02.ogg"
// and "cutvorbis_03.ogg" (0.5 s of Vorbis cut halfway into its last page,
// then a whole Opus link of 0.2 or 0.3 s, a click at 0.1 s); and valid:
// "joined2000.flac" (2,000 streams of 50 ms joined), "segments.flac" (30 s
// at 48000 Hz cut by FFmpeg's segment muxer a frame a file, joined again),
// "segments.opus" (the same in Opus links of a tenth of a second),
// "long_links.opus" (100 s of stereo noise at 510 kbit/s in Opus links of
// 1.2 s, 5.6 MB), "plain.flac", "plain.ogg" and "plain.opus" (a minute of
// stereo noise);
// MPEG audio of other writers with bytes put in: "novbr_lame_at40.mp3",
// "novbr_ffmpeg_at40.mp3", "novbr_twolame_at40.mp2" and their "_every"
// kin (3 s of varying bit rate without an Info frame, silent for its first
// second, a zero byte before frame 40 or before every frame);
// "tagword.mp3" (4 s at 64 kbit/s, "TAG" before its last frame); of 4 s of
// clicks by lame: "apeword.mp3", "id3mid.mp3" and "id3over.mp3" (the word
// APETAGEX, a 15-byte ID3v2 tag, or one whose size runs 4 bytes into the
// next frame, before its middle frame); valid, "apejoin.mp3" and
// "lyricsjoin.mp3" (two of them joined, the first ending with an APEv2 tag,
// or with Lyrics3v2 and ID3v1); "infostray_22k.mp3", "infostray_64k.mp3"
// and "infostray_mp2.mp3" (joined by 4 s more at 22.05 kHz, of varying
// bit rate or at 64 kbit/s, or of MP2, its first frame's header again
// right after its Info frame, or first frame); "freecut1.mp3",
// "freecut4.mp3" and "freecut8.mp3" (free format at 22.05 kHz, its first
// frame cut short by so many bytes); "mp2seven.mp2", "mp2seven_every.mp2",
// "mp2seven.wav" and "mp2seven_every.wav" (4 s of FFmpeg's MP2, bare or in
// WAVE, a frame's first 7 bytes again before the middle one or every one);
// "crc150.mp3" (5 s by lame -p, a byte of frame 150's side information
// changed).
// path, or "" when it cannot be made.
std::string DamagedSound(const std::string& path, const std::string& kind);
// ffmpeg's input for a click track of seconds at rate: a quiet 300 Hz tone
// with 20 ms of 1000 Hz at 0.8 of full scale every quarter second, all
// silent before `from` seconds.
std::string ClickTrack(int rate, double seconds, double from = 0);
// The seconds at which clicks start in mono samples: where the level passes
// 0.3 of full scale after a tenth of a second (or the start) below it.
std::vector<double> ClickTimes(const std::vector<int16_t>& samples, int rate);

}  // namespace tavrel_test
