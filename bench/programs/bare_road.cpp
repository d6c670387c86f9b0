// The bare libjpeg road as a program of its own, so that a benchmark can
// set it beside the `tavrel` program process against process: decode,
// nearest-neighbour scale and encode each picture named on the command
// line. Exit 0 when every picture went through.
#include <string>
#include <vector>

#include "bench/bench_jpeg.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> paths(argv + 1, argv + argc);
    bench_jpeg::Split split;
    return bench_jpeg::BareRoad(paths, &split) ? 0 : 1;
}
