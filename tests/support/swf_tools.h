#pragma once
// Runs the shared SWF checkers (swf-dump, swf-shot) from tests. Each helper
// reports why it cannot run, so tests can skip cleanly where the shared folder
// or Chromium is missing.
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

// Path of a checker in the shared tools folder, or "" when it is absent.
std::string SwfToolPath(const std::string& tool);
// Why swf-shot cannot run here ("" when it can).
std::string SwfShotUnavailable();

// swf-dump FILE --deep --compact.
ToolResult SwfDumpDeep(const std::string& swfPath);
// swf-shot at a frame, reading the given pixels; the JSON summary is in output.
ToolResult SwfShot(const std::string& swfPath, const std::string& pngPath, int frame,
                   const std::vector<std::pair<int, int>>& pixels);
// The colour of pixel "x,y" in a swf-shot summary as 0xRRGGBB, or -1.
long ShotPixel(const std::string& summary, int x, int y);

}  // namespace tavrel_test
