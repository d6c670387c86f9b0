// Any bytes as a show's sound file, read as the export reads one: opened
// (the MPEG audio walk, libsndfile's WAVE, AIFF and FLAC with the FLAC
// frame walk and joined streams, libFLAC's for 32-bit FLAC, FFmpeg's road
// with the ADTS walk, the MP4 box walk and Ogg links), its first tenth of
// a second checked as the run does, then opened
// again and decoded whole into the 16-bit AIFF the encoder takes (half the
// inputs mixed down to one channel), and that read back; then
// handed out in pieces at another rate and channel count, through the
// resampler and the channel mix. None may crash, leak or read outside the
// data; the AIFF must hold every frame the export counted. The MPEG audio
// frames the reader's parse finds in an input, as a stream of their own,
// with a few stray bytes put in between them: the parse must find a
// reading no dearer than that one, and where it takes it (or the clean
// stream's reading pays for nothing) decode the same, unsaid.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "av/file_walks.h"
#include "av/mpeg_audio.h"
#include "av/mpeg_parse.h"
#include "fuzz_files.h"
#include "media/qt_movie.h"
#include "platform/four_cc.h"
#include "tests/support/mpeg_frame_walk.h"
#include "tests/support/mpeg_stray_check.h"

namespace {

std::string g_folder, g_path, g_aiff;

// Samples of all channels one input may decode to: a header of 64 channels
// at 768 kHz, or FLAC's constant blocks, make a few bytes into gigabytes.
// Under a second of stereo at 44,100 Hz, more than any seed holds: an
// input whose header claims minutes then costs no more than a seed, and
// the seeds still reach their sound's end.
constexpr int64_t kMostSamples = int64_t(1) << 16;

// The limit in milliseconds that keeps the export within kMostSamples.
uint32_t ExportLimitMs(CQTMovie& movie)
{
    SoundDescription sound;
    if (!movie.GetSoundDescription(&sound)) return 1;
    const int64_t rate = std::max<int64_t>(sound.sampleRate >> 16, 1);
    const int64_t channels = std::max<int64_t>(sound.numChannels, 1);
    return uint32_t(std::clamp<int64_t>(kMostSamples * 1000 / (rate * channels), 1, UINT32_MAX));
}

// Another rate than the sound's own, a small ratio from it (pick chooses
// which): the resampler's table holds a row for each phase of the ratio,
// and one such as 44,100 to 48,000 Hz (147 rows) cost more than the rest
// of a short input together, while the pieces' walk and the resampler run
// alike at any ratio. 0 where none is a rate the exporter takes.
uint32_t OtherRate(uint32_t own, unsigned pick)
{
    static constexpr uint32_t kRatios[][2] = {{1, 2}, {2, 1}, {2, 3}, {3, 2}, {3, 4}, {4, 3}, {4, 5}, {5, 4}};
    for (size_t i = 0; i < std::size(kRatios); ++i) {
        const auto [times, over] = kRatios[(pick + i) % std::size(kRatios)];
        const uint64_t rate = uint64_t(own) * times / over;
        if (uint64_t(own) * times % over == 0 && rate >= 1 && rate <= 1000000 && rate != own) return uint32_t(rate);
    }
    return 0;
}

// The sound in pieces at another rate and channel count (the input's middle
// byte picks them, the pieces' length and 8 or 16 bits), walked with each
// piece's end as the next start, up to a quarter of kMostSamples: the walk
// and the converter run alike over any length.
void ExportConverted(CQTMovie& movie, const uint8_t* data, size_t size)
{
    SoundDescription source;
    if (!movie.GetSoundDescription(&source)) return;
    const unsigned pick = size > 0 ? data[size / 2] : 0;
    const uint32_t rate = OtherRate(movie.GetSoundRate(), pick >> 3);
    if (rate == 0) return;
    SoundExportFormat format;
    format.sampleRate = rate;
    format.channels = source.numChannels == 1 ? 2 : 1;
    format.sampleSize = pick & 0x80 ? 8 : 16;
    if (!movie.OpenSoundExporter(format)) return;
    const int64_t scale = std::max<TimeValue>(movie.GetTimeScale(), 1);
    const int64_t end = std::min<int64_t>(movie.GetDuration(), kMostSamples / 4 / format.channels * scale / rate);
    const TimeValue piece = TimeValue(std::max<int64_t>(scale * (1 + (pick & 7)) / 64, 1));
    for (TimeValue at = 0; at < end;) {
        uint32_t bytes = 0;
        TimeValue next = at;
        std::unique_ptr<uint8_t[]> block(
            movie.ExportSoundToHandle(at, TimeValue(std::min<int64_t>(piece, end - at)), &bytes, &next));
        if (!block || next <= at) break;
        at = next;
    }
}

// The items (frames and tags, [at, at + size)) the reader's parse takes
// from the file at path, up to 65 frames, and what that partition costs;
// only: the parse held to those items.
struct Parsed {
    std::vector<std::pair<int64_t, int64_t>> items;
    std::vector<bool> frame;
    int64_t cost = 0, shortest = INT64_MAX;
    bool opened = false;
};

// The walk's own steps where the reader kept them for this file: the same
// parse of the same bytes.
Parsed Parse(const std::string& path, const std::vector<std::pair<int64_t, int64_t>>& only = {})
{
    Parsed parsed;
    const int fd = open(path.c_str(), O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0) close(fd);
        return parsed;
    }
    platform::mpeg::StreamBytes bytes;
    bytes.Reset(fd, 0, st.st_size);
    platform::mpeg::StreamParse parse(bytes);
    std::shared_ptr<const std::vector<platform::mpeg::Step>> kept;
    if (only.empty()) kept = platform::MpegAudioReader::KeptSteps(path, &parsed.cost);
    if (!only.empty()) parse.Only(only);
    parsed.opened = kept || parse.Start();
    size_t frames = 0, next = 0;
    const auto step = [&] {
        if (kept) return next < kept->size() ? (*kept)[next++] : platform::mpeg::Step{};
        return parse.Next();
    };
    for (platform::mpeg::Step s; parsed.opened && (s = step()).kind != platform::mpeg::Step::kEnd;) {
        if (s.kind == platform::mpeg::Step::kGap || s.damaged || s.at + s.size > bytes.Size()) continue;
        if (frames > 64) continue;
        const bool frame = s.kind == platform::mpeg::Step::kFrame;
        parsed.items.emplace_back(s.at, s.at + s.size);
        parsed.frame.push_back(frame);
        if (frame) ++frames;
        if (frame && !s.header) parsed.shortest = std::min(parsed.shortest, s.shape.shortest);
    }
    if (!kept) parsed.cost = parse.Cost();
    close(fd);
    return parsed;
}

// The frames the reader's own parse finds in the input, as a stream of
// their own (tags between them kept), with stray bytes (fewer than its
// shortest frame) before one to three of its frames or every one (not in
// free format): zeros or a byte of the input, so many and where the
// input's last bytes say. The parse of that stream must cost no more than
// the partition the stray bytes were put into (the clean items, the stray
// bytes unexplained), by its own measure; where it takes that partition
// (the bytes put in after no stray bytes of the clean reading), or where
// the clean stream's own parse pays for nothing (every byte a frame or a
// tag standing on its own), the reader must read it as it reads the clean
// stream, and say nothing more of it.
void CheckStrayBytes(const uint8_t* data, size_t size, const std::string& path)
{
    const Parsed input = Parse(path);
    size_t frames = size_t(std::count(input.frame.begin(), input.frame.end(), true));
    if (frames < 2 || input.shortest < 2 || input.shortest == INT64_MAX || size < 8) return;
    std::string stream;
    std::vector<size_t> starts;  // of the frames, in the stream
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    for (size_t i = 0; i < input.items.size(); ++i) {
        const auto [from, to] = input.items[i];
        std::string item(size_t(to - from), '\0');
        if (pread(fd, item.data(), item.size(), from) != ssize_t(item.size())) break;
        if (input.frame[i]) starts.push_back(stream.size());
        stream += item;
    }
    close(fd);
    frames = starts.size();
    if (frames < 2) return;
    const std::string clean = g_folder + "/clean.mp3", stray = g_folder + "/stray.mp3";
    unlink(clean.c_str());
    if (!fuzz_files::WriteBytes(clean, stream.data(), stream.size())) return;
    const tavrel_test::MpegDecode before = tavrel_test::DecodeMpegAudio(clean, kMostSamples);
    const Parsed cleanParse = Parse(clean);
    unlink(clean.c_str());
    if (!before.error.empty() || !before.said.empty() || before.samples.empty() ||
        int64_t(before.samples.size()) / before.channels >= kMostSamples)
        return;
    // Every byte a frame or a tag, for nothing but a byte a frame less.
    const bool free_of_cost =
        cleanParse.cost == -int64_t(std::count(cleanParse.frame.begin(), cleanParse.frame.end(), true));
    const uint8_t* pick = data + size - 4;
    const size_t length = 1 + pick[0] % size_t(std::min<int64_t>(input.shortest - 1, 16));
    const char fill = pick[1] & 1 ? char(data[pick[3] % size]) : '\0';
    // Bytes before every frame of a free-format stream lengthen each frame.
    const bool free = std::any_of(starts.begin(), starts.end(), [&](size_t k) {
        tavrel_test::MpegHeader h;
        return tavrel_test::ReadMpegHeader(reinterpret_cast<const uint8_t*>(stream.data()) + k, &h) && h.bitRate == 0;
    });
    const size_t places = 1 + pick[1] / 2 % (free ? 3 : 4);
    std::vector<size_t> at;  // empty: every frame
    for (size_t i = 0; places < 4 && i < places; ++i)
        at.push_back(1 + (pick[2] + pick[3] * (i + 1) * 7) % (frames - 1));
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    if (free && frames > 2 && at.size() + 1 == frames) at.pop_back();
    const auto chosen = [&](size_t k) { return at.empty() || std::binary_search(at.begin(), at.end(), k); };
    std::string bytes;
    std::vector<int64_t> shift(frames, 0);  // stray bytes before frame k and the items after it
    for (size_t k = 0, from = 0; k < frames; ++k) {
        const size_t to = k + 1 < frames ? starts[k + 1] : stream.size();
        if (k > 0 && chosen(k)) bytes += std::string(length, fill);
        shift[k] = int64_t(bytes.size()) - int64_t(from);
        bytes.append(stream, from, to - from);
        from = to;
    }
    // The clean stream's own partition with the stray bytes put in: an
    // item across a place they went in is not one of it any more.
    std::vector<std::pair<int64_t, int64_t>> planted;
    for (const auto& [from, to] : cleanParse.items) {
        const auto by = [&](int64_t offset) {
            const size_t k = size_t(std::upper_bound(starts.begin(), starts.end(), size_t(offset)) - starts.begin());
            return k > 0 ? shift[k - 1] : 0;
        };
        if (by(from) == by(to - 1)) planted.emplace_back(from + by(from), to + by(from));
    }
    unlink(stray.c_str());
    if (!fuzz_files::WriteBytes(stray, bytes.data(), bytes.size())) return;
    // Decoded first: the parse its walk keeps is the one asked of it.
    const tavrel_test::MpegDecode after = tavrel_test::DecodeMpegAudio(stray, kMostSamples);
    const Parsed strayParse = Parse(stray), plantedParse = Parse(stray, planted);
    unlink(stray.c_str());
    // Bytes put in right after stray bytes the clean reading leaves make
    // one longer stretch, which may rightly be said: the decode is held
    // alike only where each place follows an item of that reading at once.
    std::vector<int64_t> ends;
    for (const auto& item : cleanParse.items) ends.push_back(item.second);
    std::sort(ends.begin(), ends.end());
    bool adjoining = false;
    for (size_t k = 1; k < frames; ++k)
        adjoining |= chosen(k) && !std::binary_search(ends.begin(), ends.end(), int64_t(starts[k]));
    std::string wrong;
    if (plantedParse.items == planted && strayParse.cost > plantedParse.cost)
        wrong = "the parse costs " + std::to_string(strayParse.cost) + " where the items the stray bytes were put "
                "between cost " + std::to_string(plantedParse.cost);
    else if (free_of_cost || (strayParse.items == planted && !adjoining))
        wrong = tavrel_test::StrayBytesWrong(before, after);
    if (wrong.empty()) return;
    std::string where = at.empty() ? "every frame" : "frame";
    for (size_t i = 0; i < at.size(); ++i) where += (i ? ", " : " ") + std::to_string(at[i]);
    std::fprintf(stderr,
                 "sound_readers_fuzz: %zu stray bytes of 0x%02X before %s of the %zu frames the reader finds in the "
                 "input (the shortest frame %lld bytes): %s\n",
                 length, unsigned(uint8_t(fill)), where.c_str(), frames, static_cast<long long>(input.shortest),
                 wrong.c_str());
    std::abort();
}

void ReadSound(const uint8_t* data, size_t size)
{
    // A new file each time: the walks are kept per file as it stands.
    unlink(g_path.c_str());
    if (!fuzz_files::WriteBytes(g_path, data, size)) return;
    {
        // The run's check: the sound opens, and its first tenth of a second decodes.
        CQTMovie movie;
        if (!movie.OpenFile(g_path, platform::MediaWanted::kSound) || !movie.HasSoundTrack() ||
            movie.GetDuration() <= 0)
            return;
        char name[64];
        movie.GetCodecName(name);
        uint32_t bytes = 0;
        std::unique_ptr<uint8_t[]> piece;
        if (movie.OpenSoundExporter({}))
            piece.reset(movie.ExportSoundToHandle(0, std::max(movie.GetTimeScale() / 10, 1), &bytes, nullptr));
    }
    // The encoder's read: opened again, as the export does (the walks the
    // first open made are taken up), and decoded whole.
    // Half the inputs mix their channels down to one, as a mono movie's sound is.
    const int channels = size > 0 && (data[size - 1] & 1) ? 1 : 0;
    CQTMovie movie;
    if (movie.OpenFile(g_path, platform::MediaWanted::kSound) &&
        movie.ExportSoundToFile(g_aiff, FourCC("AIFF"), ExportLimitMs(movie), nullptr, channels)) {
        CQTMovie exported;
        if (!exported.OpenFile(g_aiff) || exported.GetDuration() != movie.GetExportedFrames()) __builtin_trap();
    }
    unlink(g_aiff.c_str());
    if (movie.IsOpen()) ExportConverted(movie, data, size);
    CheckStrayBytes(data, size, g_path);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    g_folder = fuzz_files::MakeFolder("tavrel-sound-fuzz");
    g_path = g_folder + "/input";
    g_aiff = g_folder + "/export.aif";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_files::KeepFolder(g_folder);
    ReadSound(data, size);
    unlink(g_path.c_str());
    // What the walks kept of this input goes with it: memory held over from
    // one input to the next makes libFuzzer look for a leak after each.
    platform::ForgetWalks();
    return 0;
}
