#pragma once
// The small sound files sound_readers_fuzz starts from, each written as the
// program users have writes it (ffmpeg, lame, flac) by a shell command run
// in a scratch folder, into "$OUT". Tones of a tenth to a third of a
// second, a few frames each, since every input is decoded whole several
// times over (one WAVE of 2.5 s at 8 kHz passes the 16,384-frame blocks
// the readers decode in): every MPEG audio kind the MP3 walk meets
// (constant rate with and without an Info tag, variable with Xing and LAME
// tags, MPEG-2 and 2.5, Layer II, one frame, parts of other formats
// joined, tags at both ends, inside WAVE), ADTS, AAC in MP4, FLAC with and
// without its length, of 32 bits and joined, chained Ogg, and the PCM
// containers; and a few damaged as users met them.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz_files {

struct SoundSource {
    const char* name;     // the file's name
    const char* needs;    // the programs it is made with, space-separated
    const char* command;  // shell text writing "$OUT"
};

// A tone written by ffmpeg with these output options, then the output's
// name: rate, seconds, channels.
#define TAVREL_FFMPEG(rate, seconds, channels, options)                                              \
    "ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "                                    \
    "aevalsrc='0.5*sin(2*PI*440*t)|0.5*sin(2*PI*660*t)':s=" rate ":d=" seconds " -ac " channels " " \
    options " -fflags +bitexact -flags +bitexact "
// The same as WAVE on standard output, for lame.
#define TAVREL_TONE(rate, seconds, channels) TAVREL_FFMPEG(rate, seconds, channels, "-c:a pcm_s16le -f wav") "- "
#define TAVREL_LAME "lame --quiet --noreplaygain "
// The offset of the nth frame header in "$OUT" whose second byte is given.
#define TAVREL_NTH_HEADER(second, nth) \
    "LC_ALL=C grep -obUaP '\\xff" second "' \"$OUT\" | sed -n " nth "p | cut -d: -f1"
inline constexpr SoundSource kSoundSources[] = {
    // MPEG audio, constant rate: lame writes an Info tag unless told -t.
    {"cbr-info.mp3", "ffmpeg lame", TAVREL_TONE("44100", "0.15", "2") "| " TAVREL_LAME "-b 128 - \"$OUT\""},
    {"cbr-no-tag.mp3", "ffmpeg lame", TAVREL_TONE("44100", "0.15", "2") "| " TAVREL_LAME "-b 128 -t - \"$OUT\""},
    {"vbr-xing.mp3", "ffmpeg", TAVREL_FFMPEG("44100", "0.15", "2", "-c:a libmp3lame -q:a 6 -f mp3") "\"$OUT\""},
    {"lame-vbr.mp3", "ffmpeg lame", TAVREL_TONE("32000", "0.15", "1") "| " TAVREL_LAME "-V 5 - \"$OUT\""},
    {"lame-abr.mp3", "ffmpeg lame", TAVREL_TONE("44100", "0.15", "2") "| " TAVREL_LAME "--abr 56 - \"$OUT\""},
    {"mpeg2-mono.mp3", "ffmpeg lame", TAVREL_TONE("22050", "0.15", "1") "| " TAVREL_LAME "-b 32 -m m - \"$OUT\""},
    {"mpeg2-joint.mp3", "ffmpeg lame", TAVREL_TONE("22050", "0.15", "2") "| " TAVREL_LAME "-b 48 -m j - \"$OUT\""},
    {"mpeg25-8k.mp3", "ffmpeg lame", TAVREL_TONE("8000", "0.3", "1") "| " TAVREL_LAME "-b 16 - \"$OUT\""},
    {"layer2.mp2", "ffmpeg", TAVREL_FFMPEG("32000", "0.15", "2", "-c:a mp2 -b:a 64k -f mp2") "\"$OUT\""},
    {"id3-both.mp3", "ffmpeg lame",
     TAVREL_TONE("24000", "0.15", "1") "| " TAVREL_LAME "-b 40 --add-id3v2 --tt Tone --ta Tavrel --tl Seeds - \"$OUT\""},
    {"free-format.mp3", "ffmpeg lame", TAVREL_TONE("32000", "0.15", "1") "| " TAVREL_LAME "--freeformat -b 200 - \"$OUT\""},
    // One frame (417 bytes at 128 kbit/s and 44,100 Hz; 192 of Layer II at 64 and 48,000).
    {"one-frame.mp3", "ffmpeg lame",
     TAVREL_TONE("44100", "0.2", "2") "| " TAVREL_LAME "-b 128 -t - t.mp3 && head -c 417 t.mp3 > \"$OUT\""},
    {"one-frame.mp2", "ffmpeg", TAVREL_FFMPEG("48000", "0.2", "2", "-c:a mp2 -b:a 64k -f mp2") "t.mp2 && head -c 192 t.mp2 > \"$OUT\""},
    // Recordings of other rates and channels joined end to end.
    {"joined-rates.mp3", "ffmpeg lame",
     "{ " TAVREL_TONE("44100", "0.1", "2") "| " TAVREL_LAME "-b 96 -t - -; " TAVREL_TONE("24000", "0.1", "1") "| " TAVREL_LAME
     "-b 32 -t - -; " TAVREL_TONE("44100", "0.1", "1") "| " TAVREL_LAME "-b 64 - -; } > \"$OUT\""},
    {"mp3-in-wave.wav", "ffmpeg", TAVREL_FFMPEG("22050", "0.15", "1", "-c:a libmp3lame -b:a 32k -f wav") "\"$OUT\""},
    // ADTS AAC, alone and two of other rates joined.
    {"plain.aac", "ffmpeg", TAVREL_FFMPEG("22050", "0.15", "1", "-c:a aac -b:a 24k -f adts") "\"$OUT\""},
    {"joined.aac", "ffmpeg",
     "{ " TAVREL_FFMPEG("16000", "0.12", "1", "-c:a aac -b:a 16k -f adts") "-; " TAVREL_FFMPEG(
         "32000", "0.12", "2", "-c:a aac -b:a 32k -f adts") "-; } > \"$OUT\""},
    // FLAC streams of other rates and channels joined end to end, and Ogg
    // links of two codecs chained: Vorbis links of 0.3 and 0.1 s, the one
    // ended short by FFmpeg's decoder (silence makes up the rest), the
    // other run past (cut off).
    {"joined.flac", "ffmpeg",
     "{ " TAVREL_FFMPEG("16000", "0.1", "1", "-c:a flac -f flac") "-; " TAVREL_FFMPEG(
         "8000", "0.1", "2", "-c:a flac -f flac") "-; } > \"$OUT\""},
    {"chained.ogg", "ffmpeg",
     "{ " TAVREL_FFMPEG("22050", "0.3", "1", "-c:a libvorbis -f ogg") "-; " TAVREL_FFMPEG(
         "48000", "0.1", "2", "-c:a libopus -b:a 24k -f ogg") "-; " TAVREL_FFMPEG(
         "11025", "0.1", "1", "-c:a libvorbis -f ogg") "-; } > \"$OUT\""},
    // FLAC that states its length, one written through a pipe (a total of
    // 0), one with tags and a picture block's worth of padding.
    {"stated.flac", "ffmpeg flac",
     TAVREL_FFMPEG("16000", "0.15", "1", "-c:a pcm_s16le -f wav") "t.wav && flac --silent -f -o \"$OUT\" t.wav"},
    {"piped.flac", "ffmpeg", TAVREL_FFMPEG("16000", "0.15", "2", "-c:a flac -f flac") "- > \"$OUT\""},
    {"tagged.flac", "ffmpeg flac",
     TAVREL_FFMPEG("11025", "0.3", "2", "-c:a pcm_s16le -f wav") "t.wav && flac --silent -f -T TITLE=Tone -T ARTIST=Tavrel --padding=512 "
                                      "-b 1152 -o \"$OUT\" t.wav"},
    // AAC in MP4 as ffmpeg writes an M4A: the index after the sound, and
    // before it (-movflags +faststart).
    {"aac.m4a", "ffmpeg", TAVREL_FFMPEG("22050", "0.15", "1", "-c:a aac -b:a 24k -f ipod") "\"$OUT\""},
    {"aac-faststart.m4a", "ffmpeg",
     TAVREL_FFMPEG("16000", "0.15", "2", "-c:a aac -b:a 32k -movflags +faststart -f ipod") "\"$OUT\""},
    // FLAC of 32 bits a sample, as flac 1.4 writes it.
    {"s32.flac", "ffmpeg flac",
     TAVREL_FFMPEG("8000", "0.15", "2", "-c:a pcm_s32le -f wav") "t.wav && flac --silent -f -o \"$OUT\" t.wav"},
    // PCM containers.
    {"u8.wav", "ffmpeg", TAVREL_FFMPEG("8000", "2.5", "1", "-c:a pcm_u8 -f wav") "\"$OUT\""},
    {"s16.wav", "ffmpeg", TAVREL_FFMPEG("11025", "0.1", "2", "-c:a pcm_s16le -f wav") "\"$OUT\""},
    {"s24.wav", "ffmpeg", TAVREL_FFMPEG("8000", "0.1", "2", "-c:a pcm_s24le -f wav") "\"$OUT\""},
    {"s32.wav", "ffmpeg", TAVREL_FFMPEG("8000", "0.1", "1", "-c:a pcm_s32le -f wav") "\"$OUT\""},
    {"float.wav", "ffmpeg", TAVREL_FFMPEG("8000", "0.1", "2", "-c:a pcm_f32le -f wav") "\"$OUT\""},
    {"surround-5.1.wav", "ffmpeg", TAVREL_FFMPEG("8000", "0.1", "6", "-c:a pcm_s16le -f wav") "\"$OUT\""},
    {"s16.aiff", "ffmpeg", TAVREL_FFMPEG("11025", "0.1", "1", "-c:a pcm_s16be -f aiff") "\"$OUT\""},
    {"float.aifc", "ffmpeg", TAVREL_FFMPEG("8000", "0.1", "2", "-c:a pcm_f32be -f aiff") "\"$OUT\""},
    {"alaw.aifc", "ffmpeg", TAVREL_FFMPEG("8000", "0.1", "1", "-c:a pcm_alaw -f aiff") "\"$OUT\""},
    // Damaged as users met them: an Info tag counting no frames; a frame's
    // bit rate changed midway; a long stretch of zeros after the sound; a
    // piped FLAC with a byte flipped midway through its frames (past the
    // padding ffmpeg writes before them); a WAVE chunk claiming more than
    // the file holds; an ADTS frame length of 0.
    {"info-counts-0.mp3", "ffmpeg lame",
     TAVREL_TONE("44100", "0.15", "2") "| " TAVREL_LAME "-b 128 - \"$OUT\" && "
                                      "printf '\\0\\0\\0\\0' | dd of=\"$OUT\" bs=1 seek=44 conv=notrunc status=none"},
    {"cbr-odd-frame.mp3", "ffmpeg lame",
     TAVREL_TONE("44100", "0.15", "2") "| " TAVREL_LAME "-b 128 -t - \"$OUT\" && "
                                      "printf '\\342' | dd of=\"$OUT\" bs=1 conv=notrunc status=none seek=$(($(" TAVREL_NTH_HEADER("\\xfb", "4") ") + 2))"},
    // Stray bytes after every frame (frames of 576 bytes at 128 kbit/s and
    // 32,000 Hz); a recording cut where a frame ends, then another.
    {"stray-every.mp3", "ffmpeg lame split",
     TAVREL_TONE("32000", "0.15", "1") "| " TAVREL_LAME "-b 128 - t.mp3 && split -b 576 -d t.mp3 f. && "
                                      "for f in f.*; do cat \"$f\"; printf '\\1\\2\\3'; done > \"$OUT\""},
    {"cut-joined.mp3", "ffmpeg lame",
     TAVREL_TONE("32000", "0.2", "1") "| " TAVREL_LAME "-b 128 - t.mp3 && " TAVREL_TONE("32000", "0.1", "2") "| " TAVREL_LAME
                                      "-b 64 - u.mp3 && { head -c 2304 t.mp3; cat u.mp3; } > \"$OUT\""},
    {"zeros-after.mp3", "ffmpeg lame",
     TAVREL_TONE("22050", "0.15", "1") "| " TAVREL_LAME "-b 32 - \"$OUT\" && head -c 4096 /dev/zero >> \"$OUT\""},
    {"piped-flipped.flac", "ffmpeg",
     TAVREL_FFMPEG("16000", "0.2", "2", "-c:a flac -f flac") "- > \"$OUT\" && "
     "printf '\\125' | dd of=\"$OUT\" bs=1 seek=$(($(wc -c < \"$OUT\") * 3 / 4)) conv=notrunc status=none"},
    // MP3 inside WAVE whose LIST chunk claims 4 GB, and an INFO tag in it 1.9 GB.
    {"list-claims.wav", "ffmpeg",
     TAVREL_FFMPEG("22050", "0.15", "1", "-c:a libmp3lame -b:a 32k -f wav") "t.wav && "
     "{ head -c 50 t.wav; printf 'LIST\\316\\377\\377\\377INFOISFT\\0\\0\\0\\160Lavf'; tail -c +51 t.wav; } > \"$OUT\""},
    {"adts-length-0.aac", "ffmpeg",
     TAVREL_FFMPEG("22050", "0.25", "1", "-c:a aac -b:a 24k -f adts") "\"$OUT\" && "
     "printf '\\0\\0' | dd of=\"$OUT\" bs=1 conv=notrunc status=none seek=$(($(" TAVREL_NTH_HEADER("\\xf1", "4") ") + 4))"},
};
#undef TAVREL_TONE
#undef TAVREL_FFMPEG
#undef TAVREL_LAME
#undef TAVREL_NTH_HEADER

// Whether each program the source needs is on the path.
inline bool HasPrograms(const SoundSource& source)
{
    std::string needs = source.needs;
    for (size_t at = 0; at < needs.size();) {
        const size_t end = std::min(needs.find(' ', at), needs.size());
        const std::string command = "command -v " + needs.substr(at, end - at) + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return false;
        at = end + 1;
    }
    return true;
}

// Runs the source's command in folder (its scratch files go there) with OUT
// naming path; false when it fails or writes nothing.
inline bool MakeSound(const SoundSource& source, const std::string& folder, const std::string& path)
{
    auto quoted = [](const std::string& text) {
        std::string q = "'";
        for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    const std::string command =
        "cd " + quoted(folder) + " && OUT=" + quoted(path) + " && set -e && " + source.command;
    if (std::system(command.c_str()) != 0) return false;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    const bool written = f && std::fgetc(f) != EOF;
    if (f) std::fclose(f);
    return written;
}

}  // namespace fuzz_files
