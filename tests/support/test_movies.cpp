#include "support/test_movies.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <regex>

#include "platform/gestalt.h"
#include "support/mpeg_frame_walk.h"
#include "support/swf_tools.h"
#include "support/test_support.h"

namespace tavrel_test {

namespace {

// Two seconds of two colours, or of the tone, as ffmpeg inputs.
std::string TwoColours(long first, long second)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "-f lavfi -i color=c=0x%06lX:s=64x48:r=25:d=1 -f lavfi -i color=c=0x%06lX:s=64x48:r=25:d=1 ", first,
                  second);
    return text;
}

std::string Tone(int rate, double seconds)
{
    return "-f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(rate) + ":duration=" + std::to_string(seconds) +
           " ";
}

const char* kJoin = "-filter_complex [0:v][1:v]concat=n=2:v=1:a=0[v] -map [v] ";

struct Recipe {
    TestMovie movie;
    std::string arguments;
};

std::vector<Recipe> Recipes()
{
    const bool x264 = RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libx264").exitCode == 0;
    return {
        {{"mpg", "", 2, 64, 48, 25, 0xC83232, 0x3232C8, 0, true, 44100, 1, FourCC(".mp2"), "MP2"},
         TwoColours(0xC83232, 0x3232C8) + Tone(44100, 2) + kJoin +
             "-map 2:a -c:v mpeg1video -b:v 500k -g 10 -c:a mp2 -b:a 128k -f mpeg"},
        {{"m1v", "", 2, 64, 48, 25, 0x32C832, 0xC8C832, 0, true, 0, 0, 0, ""},
         TwoColours(0x32C832, 0xC8C832) + kJoin + "-c:v mpeg1video -b:v 500k -g 10 -f mpeg1video"},
        {{"mp4", "", 2, 64, 48, 25, 0xC83232, 0x3232C8, FourCC(x264 ? "avc1" : "mp4v"), false, 44100, 1,
          FourCC("mp4a"), "AAC"},
         TwoColours(0xC83232, 0x3232C8) + Tone(44100, 2) + kJoin + "-map 2:a " +
             (x264 ? "-c:v libx264 -preset ultrafast -crf 10 " : "-c:v mpeg4 -q:v 2 ") +
             "-g 10 -pix_fmt yuv420p -c:a aac -ac 1 -f mp4"},
        {{"mov", "", 2, 64, 48, 25, 0x32C832, 0xC832C8, FourCC("jpeg"), false, 8000, 2, FourCC("twos"), "PCM"},
         TwoColours(0x32C832, 0xC832C8) + Tone(8000, 2) + kJoin +
             "-map 2:a -c:v mjpeg -q:v 2 -c:a pcm_s16be -ac 2 -f mov"},
        {{"avi", "", 2, 64, 48, 25, 0xC8C832, 0x32C8C8, FourCC("mp4v"), false, 0, 0, 0, ""},
         TwoColours(0xC8C832, 0x32C8C8) + kJoin + "-c:v mpeg4 -q:v 2 -g 10 -f avi"},
        {{"m4a", "", 1.5, 0, 0, 0, 0, 0, 0, false, 44100, 1, FourCC("mp4a"), "AAC"},
         Tone(44100, 1.5) + "-c:a aac -ac 1 -f ipod"},
    };
}

// The movies, each made when first asked for; the folder goes when the
// program ends.
class Movies {
public:
    // The movie of the recipe, made now if it was not; null when it cannot be.
    const TestMovie* Get(size_t index)
    {
        if (index >= recipes_.size() || failed_[index]) return nullptr;
        if (!made_[index].path.empty()) return &made_[index];
        TestMovie movie = recipes_[index].movie;
        movie.path = dir_.file("movie." + movie.name);
        failed_[index] = !RunFfmpeg(recipes_[index].arguments, movie.path);
        if (failed_[index]) return nullptr;
        // With TAVREL_MOVIE_SEEDS set the movies seed the movie fuzz target too.
        const char* seeds = std::getenv("TAVREL_MOVIE_SEEDS");
        if (seeds && *seeds) WriteFile(std::string(seeds) + "/movie." + movie.name, ReadFile(movie.path));
        made_[index] = movie;
        return &made_[index];
    }
    size_t Count() const { return recipes_.size(); }
    size_t Find(const std::string& name) const
    {
        for (size_t i = 0; i < recipes_.size(); ++i)
            if (recipes_[i].movie.name == name) return i;
        return recipes_.size();
    }

private:
    TempDir dir_;
    std::vector<Recipe> recipes_ = Recipes();
    std::vector<TestMovie> made_ = std::vector<TestMovie>(recipes_.size());
    std::vector<bool> failed_ = std::vector<bool>(recipes_.size(), false);
};

Movies* TheMovies()
{
    static const std::unique_ptr<Movies> movies(FfmpegUnavailable().empty() ? new Movies : nullptr);
    return movies.get();
}

}  // namespace

std::string FfmpegUnavailable()
{
    static const bool present = RunCommand("command -v ffmpeg >/dev/null").exitCode == 0;
    return present ? "" : "ffmpeg is not installed";
}

bool RunFfmpeg(const std::string& arguments, const std::string& output)
{
    return RunCommand("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " '" + output + "'").exitCode == 0;
}

std::string WithOutsideReference(std::string movie, const std::string& location)
{
    const auto get32 = [&](size_t at) {
        return uint32_t(uint8_t(movie[at])) << 24 | uint32_t(uint8_t(movie[at + 1])) << 16 |
               uint32_t(uint8_t(movie[at + 2])) << 8 | uint8_t(movie[at + 3]);
    };
    const auto bytes32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    const size_t dref = movie.find("dref"), mdat = movie.find("mdat"), moov = movie.find("moov");
    if (dref == std::string::npos || mdat == std::string::npos || moov == std::string::npos || mdat > moov) return "";
    // The first entry, self-contained (flag 1), becomes a url with a location.
    const size_t entry = dref + 12;
    const uint32_t oldSize = get32(entry);
    const std::string replacement = bytes32(uint32_t(12 + location.size() + 1)) + "url " + bytes32(0) + location + '\0';
    movie.replace(entry, oldSize, replacement);
    const uint32_t grow = uint32_t(replacement.size()) - oldSize;
    // Every box around the entry grows with it; nothing after it moves that
    // an offset points to.
    for (size_t at = 0; at + 8 <= movie.size();) {
        const uint32_t size = get32(at);
        if (size < 8) return "";
        if (entry >= at + size) {
            at += size;
            continue;
        }
        movie.replace(at, 4, bytes32(size + grow));
        if (movie.compare(at + 4, 4, "dref") == 0) return movie;
        at += 8;
    }
    return "";
}

const std::vector<TestMovie>& TestMovies()
{
    static const std::vector<TestMovie> all = [] {
        std::vector<TestMovie> list;
        Movies* movies = TheMovies();
        for (size_t i = 0; movies && i < movies->Count(); ++i) {
            const TestMovie* m = movies->Get(i);
            if (!m) return std::vector<TestMovie>{};
            list.push_back(*m);
        }
        return list;
    }();
    return all;
}

const TestMovie& TestMovieNamed(const std::string& name)
{
    static const TestMovie missing;
    Movies* movies = TheMovies();
    const TestMovie* m = movies ? movies->Get(movies->Find(name)) : nullptr;
    return m ? *m : missing;
}

namespace {

// The bytes of the sound's packets first to last (as ffprobe counts them)
// made random after each packet's first `kept`, which keep its frame's
// header (four bytes of MP3, seven of ADTS); false when ffprobe does not
// list them.
bool RandomisePackets(const std::string& path, int first, int last, std::string* bytes, size_t kept = 4)
{
    const ToolResult probe =
        RunCommand("ffprobe -v error -select_streams a:0 -show_entries packet=pos,size -of flat '" + path + "'");
    std::map<int, std::pair<size_t, size_t>> packets;  // index: position, size
    static const std::regex kField(R"re(packets\.packet\.(\d+)\.(pos|size)="(\d+)")re");
    for (std::sregex_iterator m(probe.output.begin(), probe.output.end(), kField), end; m != end; ++m) {
        auto& packet = packets[std::stoi((*m)[1])];
        ((*m)[2] == "pos" ? packet.first : packet.second) = std::stoul((*m)[3]);
    }
    std::mt19937 noise{unsigned(first)};
    for (int i = first; i <= last; ++i) {
        const auto found = packets.find(i);
        if (found == packets.end()) return false;
        const auto [at, size] = found->second;
        if (size < kept || at + size > bytes->size()) return false;
        for (size_t k = at + kept; k < at + size; ++k) (*bytes)[k] = char(noise());
    }
    return true;
}

}  // namespace

// The sound files a user may meet damaged, made here by ffmpeg and a byte
// edit: a path, or "" when ffmpeg failed.
std::string DamagedSound(const std::string& path, const std::string& kind)
{
    std::string bytes;
    const std::string tone10 = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 ";
    const auto make = [&](const std::string& arguments) {
        if (!RunFfmpeg(arguments, path)) return false;
        bytes = ReadFile(path);
        return true;
    };
    // Clicks (silent before from) written into a file of their own by a
    // program from a WAVE file ("lame --quiet -b 128" IN OUT): its bytes, ""
    // when it fails.
    const auto encode = [&](double seconds, int rate, int channels, const std::string& program, const std::string& out,
                            double from = 0) {
        const std::string wav = out + ".wav";
        const bool made =
            RunFfmpeg(ClickTrack(rate, seconds, from) + "-ac " + std::to_string(channels) + " -c:a pcm_s16le -f wav",
                      wav) &&
            RunCommand(program + " '" + wav + "' '" + out + "'").exitCode == 0;
        std::remove(wav.c_str());
        return made ? ReadFile(out) : std::string();
    };
    if (kind == "bad.mp3" || kind == "holed.mp4") {
        // Frames in the middle that do not decode, their headers kept.
        const bool mp3 = kind == "bad.mp3";
        if (!make(mp3 ? tone10 + "-c:a libmp3lame"
                      : "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=10 -c:a aac -movflags +faststart") ||
            !RandomisePackets(path, mp3 ? 150 : 172, mp3 ? 229 : 258, &bytes))
            return "";
    } else if (kind == "holed.aac") {
        if (!make(tone10 + "-c:a aac -f adts") || !RandomisePackets(path, 172, 258, &bytes, 7)) return "";
    } else if (kind == "random.aac" || kind == "random.ogg" || kind == "random.ts") {
        // 3,000 random bytes at 45 %: frame headers, Ogg pages, transport
        // packets lost.
        const char* codec = kind == "random.aac"   ? "-c:a aac -f adts"
                            : kind == "random.ogg" ? "-c:a libvorbis"
                                                   : "-c:a aac -f mpegts";
        if (!make(tone10 + codec)) return "";
        std::mt19937 noise(45);
        for (size_t at = bytes.size() * 45 / 100; at < std::min(bytes.size(), bytes.size() * 45 / 100 + 3000); ++at)
            bytes[at] = char(noise());
    } else if (kind == "cut.mp3") {
        if (!make(tone10 + "-c:a libmp3lame")) return "";
        bytes.resize(std::min<size_t>(bytes.size(), 600));
    } else if (kind == "cut.wav" || kind == "cut.aif") {
        if (!make(tone10 + (kind == "cut.wav" ? "-c:a pcm_s16le -f wav" : "-c:a pcm_s16be -f aiff"))) return "";
        bytes.resize(bytes.size() / 2);
    } else if (kind == "mid.flac") {
        // 3,000 bytes in the middle flipped: libFLAC loses sync there for good.
        if (!make(tone10 + "-c:a flac")) return "";
        for (size_t at = bytes.size() / 2; at < std::min(bytes.size(), bytes.size() / 2 + 3000); ++at)
            bytes[at] = char(bytes[at] ^ 0x5A);
    } else if (kind == "links.opus" || kind == "cutlink.opus") {
        // Three Opus links of 2 s of clicks, each written alone (a page a
        // second): 300 random bytes at three quarters of the second (its
        // last page lost), or the second cut after two thirds of its bytes,
        // mid-page.
        std::string links[3];
        for (std::string& link : links) {
            if (!make(ClickTrack(48000, 2) + "-c:a libopus -f ogg")) return "";
            link = bytes;
        }
        std::string& second = links[1];
        if (kind == "links.opus") {
            std::mt19937 noise(3);
            for (size_t at = second.size() * 3 / 4; at < std::min(second.size(), second.size() * 3 / 4 + 300); ++at)
                second[at] = char(noise());
        } else {
            second.resize(second.size() * 2 / 3);
        }
        bytes = links[0] + links[1] + links[2];
    } else if (kind == "cutvorbis_02.ogg" || kind == "cutvorbis_03.ogg") {
        // 0.5 s of Vorbis cut halfway into its last page (its one page of
        // sound), then a whole Opus link of 0.2 or 0.3 s with a click at 0.1 s.
        const std::string opus = path + ".opus";
        if (!make(ClickTrack(44100, 0.5) + "-c:a libvorbis -f ogg") ||
            !RunFfmpeg("-f lavfi -i \"aevalsrc='if(between(t\\,0.1\\,0.12)\\,0.8*sin(2*PI*1000*t)\\,"
                       "0.05*sin(2*PI*300*t))':s=48000:d=" +
                           std::string(kind == "cutvorbis_02.ogg" ? "0.2" : "0.3") + "\" -c:a libopus -f ogg",
                       opus))
            return "";
        size_t last = 0;
        for (size_t at = 0; at + 27 <= bytes.size();) {
            const size_t segments = uint8_t(bytes[at + 26]);
            size_t length = 27 + segments;
            for (size_t k = 0; k < segments && at + 27 + k < bytes.size(); ++k) length += uint8_t(bytes[at + 27 + k]);
            last = at;
            at += length;
        }
        bytes = bytes.substr(0, last + (bytes.size() - last) / 2) + ReadFile(opus);
    } else if (kind == "joined2000.flac") {
        // Valid: 2,000 streams of 50 ms joined end to end, each with its own
        // header (and FFmpeg's 8 KB of padding).
        if (!make(ClickTrack(44100, 0.05) + "-ac 1 -c:a flac")) return "";
        std::string joined;
        joined.reserve(bytes.size() * 2000);
        for (int i = 0; i < 2000; ++i) joined += bytes;
        bytes = joined;
    } else if (kind == "segments.flac" || kind == "segments.opus" || kind == "long_links.opus") {
        // Valid: 30 s cut by FFmpeg's segment muxer a frame a file (FLAC:
        // each file's frame numbers going on from the one before, its length
        // left open; the last file holds headers alone) or a tenth of a
        // second a link (Opus: each link's granules going on), joined again.
        // Long links: more than the blocks FFmpeg's reads keep.
        const bool flac = kind == "segments.flac";
        const std::string ext = flac ? ".flac" : ".opus";
        const std::string source =
            kind == "long_links.opus"
                ? "-f lavfi -i \"anoisesrc=c=pink:a=0.3:r=48000:d=100\" -ac 2 -c:a libopus -b:a 510k -f segment "
                  "-segment_time 1.2"
                : ClickTrack(48000, 30) + "-ac 1 " +
                      (flac ? "-c:a flac -f segment -segment_time 0.05"
                            : "-c:a libopus -b:a 64k -f segment -segment_time 0.1");
        if (!RunFfmpeg(source, path + ".%d" + ext)) return "";
        bytes.clear();
        for (int i = 0;; ++i) {
            const std::string part = path + "." + std::to_string(i) + ext;
            if (!std::filesystem::exists(part)) break;
            bytes += ReadFile(part);
            std::filesystem::remove(part);
        }
        if (bytes.empty()) return "";
    } else if (kind == "plain.flac" || kind == "plain.ogg" || kind == "plain.opus") {
        // Valid: a minute of pink noise, stereo.
        const char* codec = kind == "plain.flac"  ? "-c:a flac"
                            : kind == "plain.ogg" ? "-c:a libvorbis -q:a 6"
                                                  : "-c:a libopus -b:a 128k";
        if (!make("-f lavfi -i \"anoisesrc=c=pink:a=0.3:r=48000:d=60\" -ac 2 " + std::string(codec))) return "";
    } else if (kind == "deadlink.ogg") {
        // 1 s of Vorbis, then an Opus link of its first page alone.
        if (!make(ClickTrack(48000, 1) + "-c:a libopus -f ogg")) return "";
        const size_t page = bytes.size() > 27 ? 27 + uint8_t(bytes[26]) : bytes.size();
        size_t length = page;
        for (size_t i = 27; i < page; ++i) length += uint8_t(bytes[i]);
        const std::string opus = bytes.substr(0, length);
        if (!make(ClickTrack(44100, 1) + "-c:a libvorbis -f ogg")) return "";
        bytes += opus;
    } else if (kind == "mid32.flac" || kind == "hole32.flac" || kind == "cut32.flac") {
        // 4 s of clicks at 32 bits a sample, as the flac program writes them:
        // 3,000 bytes flipped at the middle, 20,000 taken out there, or the
        // last third cut off.
        if (!make(ClickTrack(44100, 4) + "-ac 1 -c:a pcm_s32le -f wav - | flac --silent -f - -o")) return "";
        const size_t middle = bytes.size() / 2;
        if (kind == "mid32.flac")
            for (size_t at = middle; at < std::min(bytes.size(), middle + 3000); ++at) bytes[at] = char(bytes[at] ^ 0x5A);
        else if (kind == "hole32.flac")
            bytes.erase(middle, 20000);
        else
            bytes.resize(bytes.size() * 2 / 3);
    } else if (kind == "zeros.mp3") {
        // 100,000 bytes zeroed from 40 % of 320 kbit/s: a stretch libmpg123
        // is not shown byte by byte.
        if (!make(tone10 + "-c:a libmp3lame -b:a 320k")) return "";
        std::fill(bytes.begin() + long(bytes.size() * 2 / 5), bytes.begin() + long(bytes.size() * 2 / 5 + 100000), '\0');
    } else if (kind == "hole.mp3") {
        // The middle fifth zeroed, frame headers and all: libmpg123 gives up.
        if (!make(tone10 + "-c:a libmp3lame")) return "";
        std::fill(bytes.begin() + long(bytes.size() * 2 / 5), bytes.begin() + long(bytes.size() * 3 / 5), '\0');
    } else if (kind == "flipped.mp3" || kind == "dropped.mp3" || (kind.rfind("junk", 0) == 0 && kind.size() > 4 && std::isdigit(static_cast<unsigned char>(kind[4])))) {
        // 10 s of 128 kbit/s clicks, frames of 417 bytes and 418 with
        // padding; with an Info tag where a frame is taken out.
        const bool dropped = kind == "dropped.mp3";
        if (!make(ClickTrack(44100, 10) + "-c:a libmp3lame -b:a 128k -ac 1 -id3v2_version 0" +
                  (dropped ? "" : " -write_xing 0")))
            return "";
        const size_t junk = kind[0] == 'j' ? std::stoul(kind.substr(4)) : 0;
        std::mt19937 noise(20);
        std::string edited;
        size_t at = 0;
        for (size_t frame = 0, size; at + 4 <= bytes.size(); at += size, ++frame) {
            size = 417 + (uint8_t(bytes[at + 2]) >> 1 & 1);
            if (dropped && frame == 192) continue;
            edited += bytes.substr(at, size);
            if (kind == "flipped.mp3" && (frame == 100 || frame == 200 || frame == 300))
                edited[edited.size() - size + 2] ^= 0x10;
            for (size_t k = frame % 20 == 19 ? junk : 0; k > 0; --k) edited += char(noise());
        }
        bytes = edited;
    } else if (kind == "byte.mp3" || kind == "noise.mp3" || kind == "inserted.mp3") {
        // 2 s of 128 kbit/s: frames of 417 bytes, and 418 with padding; in
        // clicks, bytes that look like frame headers abound.
        if (!make(ClickTrack(44100, 2) + "-c:a libmp3lame -b:a 128k -ac 1 -id3v2_version 0")) return "";
        size_t at = 0;
        while (at + 4 < bytes.size() && at < bytes.size() / 2) at += 417 + (uint8_t(bytes[at + 2]) >> 1 & 1);
        if (at + 4 >= bytes.size() || uint8_t(bytes[at]) != 0xFF) return "";
        // The first header byte of the frame at the middle, or 1,000 bytes
        // from there on; or 500 bytes put in before it.
        std::mt19937 noise(7);
        if (kind == "inserted.mp3") {
            std::string junk(500, '\0');
            for (char& c : junk) c = char(noise());
            bytes.insert(at, junk);
        }
        for (size_t k = at; k < std::min(bytes.size(), at + (kind == "byte.mp3" ? 1 : kind == "noise.mp3" ? 1000 : 0)); ++k)
            bytes[k] = kind == "byte.mp3" ? '\0' : char(noise());
    } else if (kind == "bitrate.mp3" || kind == "layer.mp3" || kind == "rate.mp3" || kind == "tagged.mp3" ||
               kind == "info0.mp3") {
        // 2 s of 128 kbit/s clicks, the middle frame's header given another
        // bit rate (0x9 to 0xE; "tagged.mp3" with an Info tag), layer (III
        // to II) or sample rate (44,100 to 48,000 Hz): its bytes then hold
        // no frame of the stream, and the frames after it lie where they
        // should. Or, with an Info tag, the tag's frame count zeroed.
        const bool info = kind == "info0.mp3", tagged = info || kind == "tagged.mp3";
        if (!make(ClickTrack(44100, 2) + "-c:a libmp3lame -b:a 128k -ac 1 -id3v2_version 0" + (tagged ? "" : " -write_xing 0")))
            return "";
        if (info) {
            const size_t tag = bytes.find("Info");
            if (tag == std::string::npos || tag + 12 > bytes.size()) return "";
            std::fill(bytes.begin() + long(tag) + 8, bytes.begin() + long(tag) + 12, '\0');
        } else {
            size_t at = 0;
            while (at + 4 < bytes.size() && at < bytes.size() / 2) at += 417 + (uint8_t(bytes[at + 2]) >> 1 & 1);
            if (at + 4 >= bytes.size() || uint8_t(bytes[at]) != 0xFF) return "";
            if (kind == "layer.mp3") bytes[at + 1] = char((bytes[at + 1] & 0xF9) | 0x04);
            else if (kind == "rate.mp3") bytes[at + 2] = char((bytes[at + 2] & 0xF3) | 0x04);
            else bytes[at + 2] = char((bytes[at + 2] & 0x0F) | 0xE0);
        }
    } else if (kind == "noise.wav") {
        // MP3 inside WAVE, 1,500 bytes of 0x55 in its middle.
        if (!make(ClickTrack(44100, 2) + "-c:a libmp3lame -b:a 128k -ac 1 -f wav")) return "";
        std::fill(bytes.begin() + long(bytes.size() / 2), bytes.begin() + long(bytes.size() / 2 + 1500), '\x55');
    } else if (kind == "padded.mp3") {
        // Valid: 1.2 s followed by zeros to 5 MB, as a file written ahead of
        // its data is.
        if (!make(ClickTrack(44100, 1.2) + "-c:a libmp3lame -b:a 128k -ac 1")) return "";
        bytes.resize(5 << 20, '\0');
    } else if (kind == "one.mp3" || kind == "one.mp2" || kind == "onelast.mp3") {
        // Valid: one frame, alone in its file; or followed by a damaged
        // frame of the least bit rate, too short for one of its own.
        const bool layer3 = kind != "one.mp2";
        if (!make(ClickTrack(44100, 1) + (layer3 ? "-c:a libmp3lame -b:a 128k -write_xing 0 -f mp3" : "-c:a mp2 -b:a 128k -f mp2") +
                  " -ac 1 -id3v2_version 0"))
            return "";
        bytes.resize(std::min<size_t>(bytes.size(), 417));
        if (kind == "onelast.mp3" && bytes.size() == 417) {
            std::string last = bytes.substr(0, 4) + std::string(2, '\0') + std::string(98, '\xFF');
            last[2] = char((last[2] & 0x0D) | 0x10);
            bytes += last;
        }
    } else if (kind == "cutjoin.mp3" || kind == "cutjoin_tags.mp3" || kind == "cutjoin_vbr.mp3" ||
               kind == "cutjoin.mp2" || kind == "cutjoin.aac") {
        // 2 s of clicks cut mid-frame at three fifths, then the whole file
        // again, as a download resumed from the start leaves it.
        const char* codec = kind == "cutjoin.mp3"        ? "-c:a libmp3lame -b:a 128k -write_xing 0 -id3v2_version 0 -f mp3"
                            : kind == "cutjoin_tags.mp3" ? "-c:a libmp3lame -b:a 128k -f mp3"
                            : kind == "cutjoin_vbr.mp3"  ? "-c:a libmp3lame -q:a 4 -f mp3"
                            : kind == "cutjoin.mp2"      ? "-c:a mp2 -b:a 192k -f mp2"
                                                         : "-c:a aac -b:a 128k -f adts";
        if (!make(ClickTrack(44100, 2) + codec)) return "";
        bytes = bytes.substr(0, bytes.size() * 3 / 5) + bytes;
    } else if (kind.rfind("cutlame", 0) == 0) {
        // 3 s of clicks by the lame program at 128 kbit/s, cut where its
        // frame 61 starts (the Info frame is frame 0), then a whole 4 s
        // recording: the same, an MP2, one of varying bit rate, or the same
        // without a tag; or that one from its frame 40 on, which takes bits
        // from frames before it (its main data begins before it).
        const std::string wav = path + ".wav", second = path + ".4s";
        const char* then = kind == "cutlame.mp3"       ? "lame --quiet -b 128 -m m"
                           : kind == "cutlame_vbr.mp3" ? "lame --quiet -V2 -m m"
                                                       : "lame --quiet -b 128 -m m -t";
        const bool mp2 = kind == "cutlame_mp2.mp3";
        if (!RunFfmpeg(ClickTrack(44100, 3) + "-c:a pcm_s16le -f wav", wav) ||
            RunCommand("lame --quiet -b 128 -m m '" + wav + "' '" + path + "'").exitCode != 0 ||
            !RunFfmpeg(ClickTrack(44100, 4) + (mp2 ? "-c:a mp2 -b:a 128k -f mp2" : "-c:a pcm_s16le -f wav"), second) ||
            (!mp2 && RunCommand(std::string(then) + " '" + second + "' '" + second + ".mp3' && mv '" + second +
                                ".mp3' '" + second + "'")
                             .exitCode != 0))
            return "";
        bytes = ReadFile(path);
        size_t at = 0;
        for (int frame = 0; frame < 61 && at + 4 <= bytes.size(); ++frame)
            at += 417 + (uint8_t(bytes[at + 2]) >> 1 & 1);
        if (at + 4 > bytes.size()) return "";
        std::string later = ReadFile(second);
        if (kind == "cutlame_reservoir.mp3") {
            const MpegStream s = WalkMpegFrames(later);
            if (s.frames.size() <= 40) return "";
            const size_t from = s.frames[40].at;
            if ((uint8_t(later[from + 4]) << 1 | uint8_t(later[from + 5]) >> 7) == 0) return "";
            later.erase(0, from);
        }
        bytes = bytes.substr(0, at) + later;
    } else if (kind == "zeros417.mp3" || kind == "tone_v6.mp3" || kind.rfind("long_", 0) == 0) {
        // 2 s of 128 kbit/s stereo clicks by the lame program, 417 zeros
        // (its unpadded frame) before every frame after the first; a 1 s
        // 440 Hz tone by lame -V 6 (its frames nearly all of 104 bytes, the
        // least at 32 kbit/s), a zero byte before frames 1, 2, 4, 10, 16
        // and 22, seven before frame 26; 3 minutes of stereo clicks at
        // 128 kbit/s or of varying rate, the first with a zero byte before
        // every 10th frame or five bytes before every frame.
        const bool tone = kind == "tone_v6.mp3", cbr = kind != "long_vbr.mp3";
        const std::string wav = path + ".wav";
        if (!RunFfmpeg((tone ? Tone(44100, 1) : ClickTrack(44100, kind == "zeros417.mp3" ? 2 : 180)) +
                           (tone ? "-c:a pcm_s16le -f wav" : "-ac 2 -c:a pcm_s16le -f wav"),
                       wav) ||
            RunCommand("lame --quiet " + std::string(tone ? "-V 6" : cbr ? "-b 128" : "-V 2") + " '" + wav + "' '" +
                       path + "'")
                    .exitCode != 0)
            return "";
        bytes = ReadFile(path);
        const MpegStream s = WalkMpegFrames(bytes);
        if (s.frames.size() < 30) return "";
        bytes = PutBeforeFrames(bytes, s, [&](size_t k) {
            if (tone) return std::string(k == 26 ? 7 : k == 1 || k == 2 || k == 4 || k == 10 || k == 16 || k == 22, '\0');
            if (kind == "long_stray10.mp3") return std::string(k % 10 == 0, '\0');
            if (kind == "long_stray5.mp3") return std::string("\x01\x02\x03\x04\x05");
            return std::string(kind == "zeros417.mp3" ? 417 : 0, '\0');
        });
    } else if (kind.rfind("novbr_", 0) == 0) {
        // 3 s of stereo clicks from a second on, of varying bit rate
        // without an Info frame (its first frames, silent, all of one bit
        // rate), by lame -V 2 -t, FFmpeg's libmp3lame without its Xing
        // header, or twolame -V 5: a zero byte before frame 40, or before
        // every frame.
        if (kind.find("_ffmpeg") != std::string::npos
                ? !make(ClickTrack(44100, 3, 1) + "-ac 2 -c:a libmp3lame -q:a 2 -write_xing 0 -f mp3")
                : (bytes = encode(3, 44100, 2,
                                  kind.find("_twolame") != std::string::npos ? "twolame --quiet -V 5"
                                                                             : "lame --quiet -V 2 -t",
                                  path, 1))
                      .empty())
            return "";
        const MpegStream s = WalkMpegFrames(bytes);
        if (s.frames.size() < 41 || s.info) return "";
        const bool every = kind.find("_every") != std::string::npos;
        bytes = PutBeforeFrames(bytes, s, [&](size_t k) { return std::string(every || k == 40, '\0'); });
    } else if (kind == "apejoin.mp3" || kind == "lyricsjoin.mp3") {
        // Valid: 4 s of mono clicks by lame twice, joined as cat joins them,
        // the first ending with an APEv2 tag (header and footer), or with
        // Lyrics3v2 then ID3v1, as taggers write them.
        const std::string one = encode(4, 44100, 1, "lame --quiet -b 128", path);
        if (one.empty()) return "";
        bytes = one + MpegTagBytes(kind == "apejoin.mp3" ? kApe : kLyrics) + one;
    } else if (kind == "apeword.mp3" || kind == "id3mid.mp3" || kind == "id3over.mp3" || kind == "tagword.mp3") {
        // 4 s of mono clicks by lame at 128 kbit/s: the 8 bytes APETAGEX, an
        // ID3v2 tag of 15 bytes (padding alone), or one whose size runs 4
        // bytes into the next frame, before the frame at the middle; or at
        // 64 kbit/s, the 3 bytes TAG before its last frame.
        const bool last = kind == "tagword.mp3";
        bytes = encode(4, 44100, 1, last ? "lame --quiet -b 64 -m m" : "lame --quiet -b 128", path);
        const MpegStream s = WalkMpegFrames(bytes);
        if (s.frames.size() < 100) return "";
        const std::string put = MpegTagBytes(kind == "apeword.mp3" ? kWordApe
                                             : last              ? kWordTag
                                             : kind == "id3mid.mp3" ? kId3Padding
                                                                    : kId3Over);
        bytes = PutBeforeFrames(bytes, s, [&](size_t k) {
            return k == (last ? s.frames.size() - 1 : s.frames.size() / 2) ? put : std::string();
        });
    } else if (kind.rfind("infostray_", 0) == 0) {
        // 4 s of mono clicks by lame at 44.1 kHz, then a recording of 4 s
        // more joined on, whose first frame of sound's 4 header bytes stand
        // again right after its Info frame: by lame at 22.05 kHz, in stereo
        // of varying bit rate or in mono at 64 kbit/s; or an MP2 at 44.1 kHz,
        // after its first frame.
        const bool mp2 = kind == "infostray_mp2.mp3";
        const std::string first = encode(4, 44100, 1, "lame --quiet -b 128", path);
        const std::string second =
            mp2 ? (RunFfmpeg(ClickTrack(44100, 4) + "-ac 1 -c:a mp2 -b:a 128k -f mp2", path + ".2")
                       ? ReadFile(path + ".2")
                       : std::string())
                : kind == "infostray_64k.mp3" ? encode(4, 22050, 1, "lame --quiet -b 64", path + ".2")
                                              : encode(4, 22050, 2, "lame --quiet -V 4", path + ".2");
        const MpegStream s = WalkMpegFrames(second);
        if (first.empty() || s.frames.size() < 3 || s.info == mp2) return "";
        const size_t after = s.frames[1].at;
        bytes = first + second.substr(0, after) + second.substr(s.frames[s.info ? 1 : 0].at, 4) + second.substr(after);
    } else if (kind.rfind("freecut", 0) == 0) {
        // 4 s of mono clicks in free format by lame at 40 kbit/s and
        // 22.05 kHz, its first frame of sound cut short by 1, 4 or 8 bytes
        // ("freecut4.mp3"), whole frames after it.
        bytes = encode(4, 22050, 1, "lame --quiet --freeformat -b 40 -m m", path);
        const MpegStream s = WalkMpegFrames(bytes);
        if (s.frames.size() < 10) return "";
        const MpegFrame& first = s.frames[s.info ? 1 : 0];
        const size_t cut = size_t(kind[7] - '0');
        bytes.erase(first.at + first.size - cut, cut);
    } else if (kind.rfind("mp2seven", 0) == 0) {
        // Valid: 4 s of mono clicks by FFmpeg's MP2 encoder, bare or inside
        // WAVE, with the first 7 bytes of a frame (its header and 3 more)
        // again before it: the frame at the middle, or every frame.
        const bool wave = kind.ends_with(".wav");
        if (!make(ClickTrack(44100, 4) + "-ac 1 -c:a mp2 -b:a 128k -f " + (wave ? "wav" : "mp2"))) return "";
        const size_t data = wave ? bytes.find("data") + 8 : 0;
        if (data > bytes.size() || (wave && data < 8)) return "";
        std::string stream = bytes.substr(data);
        const MpegStream s = WalkMpegFrames(stream);
        if (s.frames.size() < 100) return "";
        const bool every = kind.find("every") != std::string::npos;
        stream = PutBeforeFrames(stream, s, [&](size_t k) {
            return every || k == s.frames.size() / 2 ? stream.substr(s.frames[k].at, 7) : std::string();
        });
        // The WAVE chunk sizes grow with the bytes put in.
        const uint32_t grow = uint32_t(stream.size() + data - bytes.size());
        for (const size_t field : wave ? std::vector<size_t>{4, data - 4} : std::vector<size_t>{}) {
            uint32_t size = 0;
            for (int i = 3; i >= 0; --i) size = size << 8 | uint8_t(bytes[field + size_t(i)]);
            for (int i = 0; i < 4; ++i) bytes[field + size_t(i)] = char((size + grow) >> (8 * i));
        }
        bytes = bytes.substr(0, data) + stream;
    } else if (kind == "crc150.mp3") {
        // 5 s of stereo clicks by lame with checksums (-p), a byte of frame
        // 150's side information (30 bytes in), which its checksum covers,
        // changed.
        bytes = encode(5, 44100, 2, "lame --quiet -p -b 128", path);
        const MpegStream s = WalkMpegFrames(bytes);
        if (s.frames.size() < 160 || !s.frames[150].header.crc) return "";
        bytes[s.frames[150].at + 30] = char(bytes[s.frames[150].at + 30] ^ 0x5A);
    } else if (kind == "gap.mp3") {
        if (!make("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=1.2 -c:a libmp3lame -b:a 32k")) return "";
        if (bytes.size() < 3000) return "";
        std::fill(bytes.begin() + 2000, bytes.begin() + 3000, '\0');
    } else if (kind == "quiet.mp3" || kind == "loud.mp3") {
        // Valid: VBR without a Xing header, whose first frame is far smaller
        // (silence first) or larger (noise first) than the rest.
        const bool quiet = kind == "quiet.mp3";
        if (!make(std::string("-f lavfi -i \"aevalsrc='if(lt(t,0.3),") + (quiet ? "0,random(0)-0.5" : "random(0)-0.5,0") +
                  ")':s=44100:d=1.5\" -c:a libmp3lame -q:a 0 -write_xing 0"))
            return "";
    } else if (kind == "piped.flac") {
        // 6 s of clicks written through a pipe, so its header gives no
        // length, one bit flipped at its middle.
        if (!make(ClickTrack(44100, 6) + "-ac 1 -c:a flac -f flac - >")) return "";
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
    } else if (kind == "ref.flac" || kind == "refpipe.flac") {
        // The same by the reference encoder, which writes frames of 4,096
        // samples and a length, or, fed raw samples through a pipe, none;
        // libFLAC fills the frame whose checksum fails with silence.
        const std::string raw = path + ".raw";
        if (!RunFfmpeg(ClickTrack(44100, 6) + "-ac 1 -f s16le", raw) ||
            RunCommand("flac -s -f --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 "
                       "--sample-rate=44100 " +
                       std::string(kind == "ref.flac" ? "-o '" + path + "' '" + raw + "'"
                                                      : "-c - < '" + raw + "' 2>/dev/null | cat > '" + path + "'"))
                    .exitCode != 0)
            return "";
        bytes = ReadFile(path);
        if (bytes.empty()) return "";
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
    } else if (kind == "zero.aac" || kind == "seven.aac" || kind == "eight.aac" || kind == "long.aac" ||
               kind == "first.aac") {
        // 6 s of clicks whose frame 130 (or first frame) has the length
        // field of its header set to 0, 7, 8 or 2,000 bytes.
        if (!make(ClickTrack(44100, 6) + "-ac 1 -c:a aac -b:a 128k -f adts")) return "";
        const auto length = [&](size_t at) {
            return size_t(uint8_t(bytes[at + 3]) & 3) << 11 | size_t(uint8_t(bytes[at + 4])) << 3 |
                   uint8_t(bytes[at + 5]) >> 5;
        };
        size_t at = 0;
        for (int frame = 0; frame < (kind == "first.aac" ? 0 : 130) && at + 7 <= bytes.size(); ++frame)
            at += length(at);
        if (at + 7 > bytes.size()) return "";
        const int value = kind == "seven.aac" ? 7 : kind == "eight.aac" ? 8 : kind == "long.aac" ? 2000 : 0;
        bytes[at + 3] = char((bytes[at + 3] & 0xFC) | value >> 11);
        bytes[at + 4] = char(value >> 3);
        bytes[at + 5] = char((bytes[at + 5] & 0x1F) | (value & 7) << 5);
    } else if (kind == "cutmid.flac") {
        // FLAC streams joined end to end, the middle one (at another rate)
        // cut to half its bytes: 2 s of clicks each.
        const std::string second = path + ".22k.flac";
        if (!make(ClickTrack(44100, 2) + "-ac 1 -c:a flac") || !RunFfmpeg(ClickTrack(22050, 2) + "-ac 1 -c:a flac", second))
            return "";
        const std::string cut = ReadFile(second);
        bytes = bytes + cut.substr(0, cut.size() / 2) + bytes;
    } else if (kind == "junk.aac") {
        // 6 s of clicks with 37 bytes that hold no frame header (all below
        // 0xF0) after every 20th frame.
        if (!make(ClickTrack(44100, 6) + "-ac 1 -c:a aac -b:a 128k -f adts")) return "";
        std::string joined;
        std::mt19937 noise(37);
        for (size_t at = 0, frame = 1; at + 7 <= bytes.size(); ++frame) {
            const size_t length = size_t(uint8_t(bytes[at + 3]) & 3) << 11 | size_t(uint8_t(bytes[at + 4])) << 3 |
                                  uint8_t(bytes[at + 5]) >> 5;
            if (length < 7) return "";
            joined += bytes.substr(at, length);
            at += length;
            for (int k = 0; frame % 20 == 0 && at < bytes.size() && k < 37; ++k) joined += char(noise() % 0xF0);
        }
        bytes = joined;
    } else if (kind == "tagged.flac") {
        // Valid: 1 s with an APEv2 tag (header, one item, footer) and an
        // ID3v1 tag after its last frame, as some taggers write them.
        if (!make("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -c:a flac")) return "";
        const auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
        const std::string item = le32(5) + le32(0) + std::string("Title\0Hello", 11);
        const auto ape = [&](uint32_t flags) {
            return "APETAGEX" + le32(2000) + le32(uint32_t(item.size()) + 32) + le32(1) + le32(flags) + std::string(8, '\0');
        };
        bytes += ape(0xA0000000) + item + ape(0x80000000) + "TAG" + std::string(125, 'x');
    } else if (kind == "joined.aac") {
        // Valid: raw AAC streams joined end to end, 6 s of clicks in mono at
        // 44,100 Hz, 2 s in stereo at 22,050 Hz, and the first again.
        const std::string second = path + ".22k.aac";
        if (!make(ClickTrack(44100, 6) + "-ac 1 -c:a aac -b:a 128k -f adts") ||
            !RunFfmpeg(ClickTrack(22050, 2) + "-ac 2 -c:a aac -b:a 64k -f adts", second))
            return "";
        bytes = bytes + ReadFile(second) + bytes;
    } else if (kind == "bare.aac" || kind == "claim.aac") {
        // ADTS headers alone: 50 of 7 bytes each, or one claiming 8,191
        // bytes in a file of 100.
        if (!make(tone10 + "-c:a aac -f adts") || bytes.size() < 100) return "";
        const bool bare = kind == "bare.aac";
        std::string header = bytes.substr(0, bare ? 7 : 100);
        const int value = bare ? 7 : 8191;
        header[3] = char((header[3] & 0xFC) | value >> 11);
        header[4] = char(value >> 3);
        header[5] = char((header[5] & 0x1F) | (value & 7) << 5);
        bytes.clear();
        for (int i = 0; i < (bare ? 50 : 1); ++i) bytes += header;
    } else if (kind == "cut.flac") {
        if (!make("-f lavfi -i sine=frequency=440:sample_rate=11025:duration=2 -c:a flac")) return "";
        bytes.resize(bytes.size() * 3 / 4);
    } else if (kind == "layer1.mp3") {
        // 796 bytes of MPEG-1 Layer I at 44100 Hz: one frame that decodes,
        // then frames of random bits that do not, the third cut short.
        std::mt19937 noise(5);
        for (int frame = 0; frame < 3; ++frame) {
            bytes += std::string("\xFF\xFF\x90\xC4", 4);
            // Bit allocations of 3 decode; one of 15 does not.
            bytes += frame == 0 ? std::string(16, '\x33') : std::string(1, '\xFF');
            while (bytes.size() % 312 != 0) bytes += char(noise());
        }
        bytes.resize(796);
    }
    if (kind == "bad.ogg") {
        // Damaged Vorbis headers (libsndfile leaks its state on these).
        static const unsigned char kOgg[] = {
            'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x75, 0x0B, 0xC7, 0x3C, 0, 0, 0, 0, 0xD9, 0x0D, 0x3D,
            0x74, 1, 0x1E, 1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 1, 0x22, 0x56, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,
            0, 0x7D, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xA9, 1};
        bytes.assign(reinterpret_cast<const char*>(kOgg), sizeof kOgg);
    }
    if (kind == "bad.m4a") {
        // Every byte of the AAC data after its first 64 overwritten.
        if (!RunFfmpeg("-f lavfi -i sine=f=440:sample_rate=48000:d=3.5 -c:a aac -ac 2", path)) return "";
        bytes = ReadFile(path);
        for (size_t at = 0; at + 8 <= bytes.size();) {
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
            const uint32_t size = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
            if (bytes.compare(at + 4, 4, "mdat") == 0) {
                for (size_t i = at + 8 + 64; i < std::min<size_t>(at + size, bytes.size()); ++i) bytes[i] = 0x5A;
                break;
            }
            if (size < 8) return "";
            at += size;
        }
    } else if (kind == "cut.mp4" || kind == "cut.m4a") {
        // The index first, the file cut at a tenth; or the index last, as
        // the encoder leaves it, cut at half.
        const bool first = kind == "cut.mp4";
        if (!RunFfmpeg(std::string("-f lavfi -i sine=f=440:sample_rate=48000:d=10 -c:a aac ") +
                           (first ? "-movflags +faststart -f mp4" : "-f ipod"),
                       path))
            return "";
        bytes = ReadFile(path);
        bytes.resize(bytes.size() / (first ? 10 : 2));
    } else if (kind == "head.flac" || kind == "late.flac") {
        // 0.6 s in frames of 1152, 500 zero bytes at 60 % (the first frame's
        // header) or 300 at 75 % (three frames midway).
        if (!RunFfmpeg("-f lavfi -i sine=frequency=440:sample_rate=22050:duration=0.6 -c:a flac -frame_size 1152 "
                       "-fflags +bitexact -flags +bitexact",
                       path))
            return "";
        bytes = ReadFile(path);
        const bool head = kind == "head.flac";
        const size_t at = bytes.size() * (head ? 60 : 75) / 100, count = head ? 500 : 300;
        if (at + count > bytes.size()) return "";
        std::fill(bytes.begin() + long(at), bytes.begin() + long(at + count), '\0');
    } else if (kind == "start.flac" || kind == "first.flac" || kind == "resync.flac") {
        // 2 s with a click at 0.5 s and 1.5 s, in silence or over a quiet
        // tone; 500 zero bytes from 200 before the first frame header (its
        // first half second does not decode), 20 at that header, or, in 3 s,
        // 300 from 100 before the 29th frame's, where libFLAC finds its way
        // again by itself.
        const bool start = kind == "start.flac", resync = kind == "resync.flac";
        if (!RunFfmpeg("-f lavfi -i \"aevalsrc='" + std::string(start ? "" : "0.1*sin(2*PI*300*t)+") +
                           "if(between(mod(t\\,1)\\,0.5\\,0.52)\\,0.8*sin(2*PI*600*(t-0.5))\\,0)':"
                           "s=22050:d=" + (resync ? "3" : "2") +
                           "\" -c:a flac -frame_size 1152 -fflags +bitexact -flags +bitexact",
                       path))
            return "";
        bytes = ReadFile(path);
        std::vector<size_t> headers;
        for (size_t at = 0; (at = bytes.find("\xff\xf8", at)) != std::string::npos; ++at) headers.push_back(at);
        const size_t at =
            headers.empty() ? std::string::npos : headers[resync ? std::min<size_t>(28, headers.size() - 1) : 0];
        const size_t before = start ? 200 : resync ? 100 : 0, count = start ? 500 : resync ? 300 : 20;
        if (at == std::string::npos || at < before || at - before + count > bytes.size()) return "";
        std::fill(bytes.begin() + long(at - before), bytes.begin() + long(at - before + count), '\0');
    } else if (kind == "open.flac" || kind == "open.wav") {
        // A length the header leaves open, as a writer into a pipe leaves
        // it: a FLAC total of 0 samples, a WAVE data size of 0.
        const bool flac = kind == "open.flac";
        if (!RunFfmpeg("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 " +
                           std::string(flac ? "-c:a flac" : "-c:a pcm_s16le -f wav"),
                       path))
            return "";
        bytes = ReadFile(path);
        const size_t data = flac ? 21 : bytes.find("data") + 4;
        if (data + 5 > bytes.size()) return "";
        if (flac) bytes[data] = char(bytes[data] & 0xF0);
        std::fill(bytes.begin() + long(data) + (flac ? 1 : 0), bytes.begin() + long(data) + (flac ? 5 : 4), '\0');
    } else if (kind == "rate0.aif" || kind == "bits0.aif" || kind == "rate.wav" || kind == "channels.wav") {
        // 0.5 s whose header gives a rate of 0 (its 10 bytes zeroed) or
        // 0x7FFFFFFF, 255 channels, or samples of 0 bits.
        const bool aiff = kind.find(".aif") != std::string::npos;
        if (!RunFfmpeg("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.5 " +
                           std::string(aiff ? "-c:a pcm_s16be -f aiff" : "-c:a pcm_s16le -f wav"),
                       path))
            return "";
        bytes = ReadFile(path);
        const size_t chunk = bytes.find(aiff ? "COMM" : "fmt ");
        if (chunk == std::string::npos || chunk + 26 > bytes.size()) return "";
        if (kind == "rate0.aif") std::fill(bytes.begin() + long(chunk) + 16, bytes.begin() + long(chunk) + 26, '\0');
        if (kind == "bits0.aif") bytes[chunk + 14] = bytes[chunk + 15] = '\0';
        if (kind == "rate.wav") bytes.replace(chunk + 12, 4, "\xFF\xFF\xFF\x7F", 4);
        if (kind == "channels.wav") bytes[chunk + 10] = '\xFF';
    } else if (kind == "many.mka") {
        // 0.5 s in 20 channels, more than any layout FFmpeg names.
        std::string split = "[0]asplit=20", merge;
        for (int c = 0; c < 20; ++c) split += "[c" + std::to_string(c) + "]", merge += "[c" + std::to_string(c) + "]";
        if (!make("-f lavfi -i sine=frequency=440:sample_rate=44100:duration=0.5 -filter_complex '" + split + ";" +
                  merge + "amerge=inputs=20' -c:a pcm_s16le -f matroska"))
            return "";
    } else if (kind == "big.flac") {
        // A 1 s FLAC whose header claims 2^36 - 1 samples.
        if (!RunFfmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 -c:a flac", path))
            return "";
        bytes = ReadFile(path);
        if (bytes.size() < 26) return "";
        bytes[21] = char(bytes[21] | 0x0F);
        for (int i = 22; i < 26; ++i) bytes[i] = char(0xFF);
    }
    if (!WriteFile(path, bytes)) return "";
    // With TAVREL_MOVIE_SEEDS set they seed the movie fuzz target too.
    const char* seeds = std::getenv("TAVREL_MOVIE_SEEDS");
    if (seeds && *seeds) WriteFile(std::string(seeds) + "/sound." + kind, bytes);
    return path;
}

std::string ClickTrack(int rate, double seconds, double from)
{
    char text[320];
    std::snprintf(text, sizeof text,
                  "-f lavfi -i \"aevalsrc='if(lt(t\\,%g)\\,0\\,0.05*sin(2*PI*300*t)+"
                  "if(lt(mod(t\\,0.25)\\,0.02)\\,0.8*sin(2*PI*1000*t)\\,0))':s=%d:d=%g\" ",
                  from, rate, seconds);
    return text;
}

std::vector<double> ClickTimes(const std::vector<int16_t>& samples, int rate)
{
    std::vector<double> times;
    size_t quiet = size_t(rate) / 10;  // the start counts as quiet
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i]) < 32767 * 3 / 10) {
            ++quiet;
            continue;
        }
        if (quiet >= size_t(rate) / 10) times.push_back(double(i) / rate);
        quiet = 0;
    }
    return times;
}

}  // namespace tavrel_test
