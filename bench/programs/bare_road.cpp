// The bare libjpeg road as a program of its own, so that a benchmark can
// set it beside the `tavrel` program process against process: decode at
// libjpeg's scale, bilinear scale and encode each picture named on the
// command line, the program's job and nothing more. Exit 0 when every
// picture went through.
#include <string>
#include <vector>

#include "bench/bench_jpeg.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> paths(argv + 1, argv + argc);
    bench_jpeg::Split split;
    return bench_jpeg::BareRoad(paths, &split) ? 0 : 1;
}
