#include "swf_tools.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include "test_support.h"

namespace tavrel_test {

namespace {

// Players run in real time: a shot taken while the machine is crowded with
// other players can land on the wrong moment. Test processes share a few
// slots (TAVREL_SWF_SHOT_SLOTS, else a third of the cores) through locked
// files; the lock goes with the process if it dies.
class PlayerSlot {
public:
    PlayerSlot()
    {
        const char* env = std::getenv("TAVREL_SWF_SHOT_SLOTS");
        const long cores = sysconf(_SC_NPROCESSORS_ONLN);
        const int slots = env && std::atoi(env) > 0 ? std::atoi(env) : int(std::max(1L, (cores + 1) / 3));
        for (;;) {
            for (int i = 0; i < slots; ++i) {
                const std::string path =
                    "/tmp/tavrel-swf-shot." + std::to_string(getuid()) + "." + std::to_string(i) + ".lock";
                fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
                if (fd_ < 0) return;  // no slot to be had: run anyway
                if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
                close(fd_);
                fd_ = -1;
            }
            usleep(50000);
        }
    }
    ~PlayerSlot()
    {
        if (fd_ >= 0) close(fd_);
    }
    PlayerSlot(const PlayerSlot&) = delete;
    PlayerSlot& operator=(const PlayerSlot&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

ToolResult RunCommand(const std::string& command)
{
    std::optional<PlayerSlot> slot;
    if (command.find("swf-shot") != std::string::npos) {
        // ctest runs the rows that play at a bounded concurrency, and tells
        // every other row it is not one of them.
        const char* row = std::getenv("TAVREL_PLAYER_ROW");
        if (row && std::string(row) == "0")
            ADD_FAILURE() << "this row plays movies: name it among the player rows in tests/CMakeLists.txt";
        slot.emplace();
    }
    ToolResult result;
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string SwfToolPath(const std::string& tool)
{
    const std::string shared = SharedDir();
    if (shared.empty()) return "";
    const std::string path = shared + "/tools/" + tool;
    std::error_code ec;
    return std::filesystem::exists(path, ec) ? path : "";
}

std::string ImageMagickConvert()
{
    static const std::string found = [] {
        for (const char* name : {"magick", "convert-im6.q16", "convert-im7.q16"})
            if (RunCommand(std::string(name) + " -version 2>/dev/null | grep -q '^Version: ImageMagick'").exitCode == 0)
                return std::string(name);
        return std::string();
    }();
    return found;
}

std::string MissingSwfTool(const std::string& tool)
{
    const char* env = std::getenv("TAVREL_SHARED_DIR");
    const std::string dir = env && *env ? env : TAVREL_SHARED_DIR;
    return tool + " not found in " + dir + "/tools: the shared SWF checkers (TAVREL_SHARED_DIR names their folder)";
}

std::string SwfShotUnavailable()
{
    if (SwfToolPath("swf-shot").empty()) return MissingSwfTool("swf-shot");
    const char* env = std::getenv("CHROMIUM_PATH");
    const std::string chromium = env && *env ? env : "/usr/bin/chromium";
    std::error_code ec;
    if (!std::filesystem::exists(chromium, ec)) return "chromium not installed";
    return "";
}

namespace {
std::string Quote(const std::string& s) { return "'" + s + "'"; }
}  // namespace

ToolResult SwfDumpDeep(const std::string& swfPath)
{
    return RunCommand(Quote(SwfToolPath("swf-dump")) + " " + Quote(swfPath) + " --deep --compact");
}

namespace {

std::string PixelOptions(const std::vector<std::pair<int, int>>& pixels)
{
    std::string options;
    for (const auto& [x, y] : pixels) options += " --pixel " + std::to_string(x) + "," + std::to_string(y);
    return options;
}

// What swf-shot says when the time it was given ran out (or Chromium did
// not start within its own): the machine's load, not the movie.
bool CutShort(const ToolResult& run)
{
    static const std::regex kOutOfTime("within [0-9]+ ms|hard timeout after|cannot start .*[Tt]imeout");
    return run.exitCode != 0 && std::regex_search(run.output, kOutOfTime);
}

}  // namespace

int ShotTimeout()
{
    // The player runs in real time; on a machine with more runnable work
    // than cores each shot gets its share of them.
    constexpr int kBase = 60, kMost = 900;
    double load = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    const double cores = double(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    return int(std::min<double>(kMost, kBase * std::max(1.0, load / cores)));
}

ToolResult RunSwfShot(const std::string& swfPath, const std::string& pngPath, const std::string& options)
{
    const std::string command = Quote(SwfToolPath("swf-shot")) + " " + Quote(swfPath) + " " + Quote(pngPath) + " " +
                                options + " --timeout ";
    ToolResult run;
    constexpr int kTries = 3;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
        const int timeout = ShotTimeout() * attempt;
        run = RunCommand(command + std::to_string(timeout));
        if (!CutShort(run)) break;
        if (attempt < kTries)
            std::fprintf(stderr, "swf-shot: %s ran out of its %d s on a busy machine, shot again\n", swfPath.c_str(),
                         timeout);
    }
    return run;
}

ToolResult SwfShot(const std::string& swfPath, const std::string& pngPath, int frame,
                   const std::vector<std::pair<int, int>>& pixels)
{
    return RunSwfShot(swfPath, pngPath, "--frame " + std::to_string(frame) + PixelOptions(pixels));
}

long ShotPixel(const std::string& summary, int x, int y)
{
    // Accepts "x,y": "#rrggbb" or "x,y": [r, g, b, ...] forms of the summary.
    const std::string key = "\"" + std::to_string(x) + "," + std::to_string(y) + "\"\\s*:\\s*";
    std::smatch m;
    if (std::regex_search(summary, m, std::regex(key + "\"#([0-9a-fA-F]{6})"))) return std::stol(m[1], nullptr, 16);
    if (std::regex_search(summary, m, std::regex(key + "\\[\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)")))
        return (std::stol(m[1]) << 16) | (std::stol(m[2]) << 8) | std::stol(m[3]);
    return -1;
}

namespace {

// The movie's bytes uncompressed (FWS); empty when it is not a movie.
std::string PlainSwf(const std::string& swfPath)
{
    std::string file = ReadFile(swfPath);
    if (file.size() < 8) return {};
    const uint64_t length = uint8_t(file[4]) | uint32_t(uint8_t(file[5])) << 8 | uint32_t(uint8_t(file[6])) << 16 |
                            uint32_t(uint8_t(file[7])) << 24;
    if (file.compare(0, 3, "FWS") == 0) return file;
    if (file.compare(0, 3, "CWS") != 0 || length < 8 || length > (uint64_t(1) << 30)) return {};
    std::string swf(file, 0, 8);
    swf[0] = 'F';
    swf.resize(size_t(length));
    uLongf inflated = uLongf(length - 8);
    const int z = uncompress(reinterpret_cast<Bytef*>(swf.data() + 8), &inflated,
                             reinterpret_cast<const Bytef*>(file.data() + 8), uLong(file.size() - 8));
    if (z != Z_OK && z != Z_BUF_ERROR) return {};
    swf.resize(size_t(inflated) + 8);
    return swf;
}

// Where the frame rate stands in a plain movie: after the stage rectangle.
size_t FrameRateOffset(const std::string& swf)
{
    const unsigned bits = uint8_t(swf[8]) >> 3;
    return 8 + (5 + 4 * bits + 7) / 8;
}

}  // namespace

double FrameRate(const std::string& swfPath)
{
    const std::string swf = PlainSwf(swfPath);
    if (swf.size() < 9 || FrameRateOffset(swf) + 2 > swf.size()) return 0;
    const size_t at = FrameRateOffset(swf);
    return (uint8_t(swf[at + 1]) * 256 + uint8_t(swf[at])) / 256.0;
}

long FrameEndOffset(const std::string& swfPath, int frame)
{
    if (frame < 1) return -1;
    const std::string swf = PlainSwf(swfPath);
    if (swf.size() < 9) return -1;
    // The stage rectangle, then the frame rate and count.
    const size_t start = FrameRateOffset(swf) + 4;
    int shown = 0;
    for (size_t at = start; at + 2 <= swf.size();) {
        const unsigned head = uint8_t(swf[at]) | unsigned(uint8_t(swf[at + 1])) << 8;
        uint64_t size = head & 0x3F;
        at += 2;
        if (size == 0x3F) {
            if (at + 4 > swf.size()) return -1;
            size = uint8_t(swf[at]) | uint32_t(uint8_t(swf[at + 1])) << 8 | uint32_t(uint8_t(swf[at + 2])) << 16 |
                   uint32_t(uint8_t(swf[at + 3])) << 24;
            at += 4;
        }
        if (size > swf.size() - at) return -1;
        at += size_t(size);
        if (head >> 6 == 1 && ++shown == frame) return long(at - start);
        if (head >> 6 == 0) break;
    }
    return -1;
}

void ExpectDumpAccepts(const std::string& swfPath, const std::vector<std::string>& names, std::string* report)
{
    if (SwfToolPath("swf-dump").empty()) GTEST_SKIP() << MissingSwfTool("swf-dump");
    const ToolResult dump = SwfDumpDeep(swfPath);
    // Exit code 3: the checker's own dependencies are missing.
    if (dump.exitCode == 3) GTEST_SKIP() << "swf-dump dependencies missing: " << dump.output;
    if (report) *report = dump.output;
    EXPECT_EQ(dump.exitCode, 0) << dump.output;
    EXPECT_NE(dump.output.find("\"valid\":true"), std::string::npos) << dump.output;
    for (const std::string& name : names) EXPECT_NE(dump.output.find(name), std::string::npos) << name;
}

namespace {

// The first lines of a shot's pixels that differ from those expected; none
// when all match.
std::vector<std::string> WrongPixels(const ToolResult& shot, int frame, const std::vector<PixelExpect>& pixels)
{
    std::vector<std::string> wrong;
    for (const PixelExpect& p : pixels) {
        const long got = ShotPixel(shot.output, p.x, p.y);
        if (got < 0) {
            wrong.push_back("frame " + std::to_string(frame) + ": no pixel " + std::to_string(p.x) + "," +
                            std::to_string(p.y) + " in\n" + shot.output);
            continue;
        }
        for (int shift : {16, 8, 0}) {
            if (std::abs(((got >> shift) & 0xFF) - ((p.rgb >> shift) & 0xFF)) <= p.tolerance) continue;
            char text[96];
            std::snprintf(text, sizeof text, "frame %d at %d,%d: %06lx, not %06lx within %d", frame, p.x, p.y, got,
                          p.rgb, p.tolerance);
            wrong.push_back(text);
            break;
        }
    }
    return wrong;
}

}  // namespace

ToolResult SwfShotPlayed(const std::string& swfPath, const std::string& pngPath, int frame, double rate,
                         const std::vector<std::pair<int, int>>& pixels)
{
    std::string swf = PlainSwf(swfPath);
    ToolResult run;
    if (swf.size() < 9 || FrameRateOffset(swf) + 2 > swf.size() || !(rate > 0 && rate < 256)) return run;
    // The rate is 8.8 fixed point, its fraction first.
    const unsigned fixed = unsigned(std::lround(rate * 256));
    swf[FrameRateOffset(swf)] = char(fixed & 0xFF);
    swf[FrameRateOffset(swf) + 1] = char(fixed >> 8);
    const std::string copy = pngPath + ".played.swf";
    if (!WriteFile(copy, swf)) return run;
    run = RunSwfShot(copy, pngPath, "--stop-at " + std::to_string(frame) + PixelOptions(pixels));
    std::remove(copy.c_str());
    return run;
}

ToolResult SwfShotReached(const std::string& swfPath, const std::string& pngPath, int frame,
                          const std::vector<std::pair<int, int>>& pixels)
{
    // The player parses ("preloads") a movie's tags a budget of time at a
    // time and runs frame 1, where swf-shot seeks, once a first budget is
    // spent: a seek past the frames parsed so far stops at the last of them.
    // Only the first chunk (10,000 bytes) is sure to be parsed by then; how
    // much more depends on the time the machine gives the player. A deeper
    // frame is reached by playing, which waits for the parse, as fast as a
    // movie can ask.
    constexpr long kSurelyParsed = 10000;
    constexpr double kFastest = 255.0;
    const long end = FrameEndOffset(swfPath, frame);
    if (frame == 1 || (end >= 0 && end <= kSurelyParsed)) return SwfShot(swfPath, pngPath, frame, pixels);
    return SwfShotPlayed(swfPath, pngPath, frame, kFastest, pixels);
}

void ExpectShotPixels(const std::string& swfPath, int frame, const std::vector<PixelExpect>& pixels)
{
    const std::string why = SwfShotUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    std::vector<std::pair<int, int>> at;
    for (const PixelExpect& p : pixels) at.emplace_back(p.x, p.y);
    const ToolResult shot = SwfShotReached(swfPath, swfPath + ".frame" + std::to_string(frame) + ".png", frame, at);
    if (shot.exitCode == 3) GTEST_SKIP() << "swf-shot dependencies missing: " << shot.output;
    ASSERT_EQ(shot.exitCode, 0) << shot.output;
    for (const std::string& wrong : WrongPixels(shot, frame, pixels)) ADD_FAILURE() << wrong;
}

std::vector<uint8_t> ReadPngRgb(const std::string& pngPath, int* width, int* height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, pngPath.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    *width = int(image.width);
    *height = int(image.height);
    return pixels;
}

}  // namespace tavrel_test
