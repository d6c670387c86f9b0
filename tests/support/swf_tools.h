#pragma once
// Runs the shared SWF checkers (swf-dump, swf-shot) from tests. Each helper
// reports why it cannot run, so tests can skip cleanly where the shared folder
// or Chromium is missing.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tavrel_test {

struct ToolResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs a command line through the shell and collects its output.
ToolResult RunCommand(const std::string& command);
// ImageMagick's convert as the word to start a command line with, found by
// what it says of itself (another program may be called convert); "" when
// it is not installed.
std::string ImageMagickConvert();

// Path of a checker in the shared tools folder, or "" when it is absent.
std::string SwfToolPath(const std::string& tool);
// The skip message of a test that needs the checker where it is absent:
// which one, and where it was looked for.
std::string MissingSwfTool(const std::string& tool);
// Why swf-shot cannot run here ("" when it can).
std::string SwfShotUnavailable();

// swf-dump FILE --deep --compact.
ToolResult SwfDumpDeep(const std::string& swfPath);
// Every shot runs through here: swf-shot FILE OUT with the given options
// (a mode, pixels). Its --timeout stretches with the machine's load, and a
// shot cut short by the time it was given is taken again with more.
ToolResult RunSwfShot(const std::string& swfPath, const std::string& pngPath, const std::string& options);
// The seconds RunSwfShot gives a shot now: a base stretched by the load
// per core.
int ShotTimeout();
// swf-shot seeking a frame, reading the given pixels; the JSON summary is in
// output. Sure only for frames the player has parsed by frame 1: use
// SwfShotReached.
ToolResult SwfShot(const std::string& swfPath, const std::string& pngPath, int frame,
                   const std::vector<std::pair<int, int>>& pixels);
// Frame `frame` reached by playing a copy of the movie at `rate` frames a
// second: the player never plays past what it has parsed, so the frame is
// the one asked for whatever the machine's load.
ToolResult SwfShotPlayed(const std::string& swfPath, const std::string& pngPath, int frame, double rate,
                         const std::vector<std::pair<int, int>>& pixels);
// A frame as a seek shows it: sought where the player is sure to have
// parsed it by frame 1, else reached by playing a copy at the highest rate
// a movie can give (SwfShotPlayed).
ToolResult SwfShotReached(const std::string& swfPath, const std::string& pngPath, int frame,
                          const std::vector<std::pair<int, int>>& pixels);
// The movie's frame rate from its header; 0 when it cannot be read.
double FrameRate(const std::string& swfPath);
// The colour of pixel "x,y" in a swf-shot summary as 0xRRGGBB, or -1.
long ShotPixel(const std::string& summary, int x, int y);
// Bytes of the movie's tag stream up to the end of a frame (1-based), read
// from a plain or zlib-compressed file; -1 when it cannot be told.
long FrameEndOffset(const std::string& swfPath, int frame);

// Runs swf-dump --deep on a movie and expects it valid, naming each of the
// given strings (tag names) somewhere in its report. Skips the test where
// swf-dump cannot run; the report is kept in *report for further checks.
void ExpectDumpAccepts(const std::string& swfPath, const std::vector<std::string>& names,
                       std::string* report = nullptr);

// The pixels of a PNG (a swf-shot picture) as R, G, B rows top-down; empty
// when it cannot be read.
std::vector<uint8_t> ReadPngRgb(const std::string& pngPath, int* width, int* height);

// One pixel to read from a played frame: its colour, each channel within tolerance.
struct PixelExpect {
    int x, y;
    long rgb;
    int tolerance = 0;
};
// Shows a frame of the movie in swf-shot (SwfShotReached) and checks the
// pixels. Skips the test where swf-shot cannot run.
void ExpectShotPixels(const std::string& swfPath, int frame, const std::vector<PixelExpect>& pixels);

}  // namespace tavrel_test
