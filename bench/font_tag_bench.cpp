// Embedding a font: the outlines of every printable character of the system
// font become one DefineFont2, as an export of a captioned show does once.
#include <benchmark/benchmark.h>

#include <string>

#include "fonts/font_manager.h"
#include "fonts/font_tags.h"

static void BM_BuildFontTagOfPrintableCharacters(benchmark::State& state)
{
    std::string characters;
    for (int c = 0x20; c < 0x7F; ++c) characters += char(c);
    CSwfTextFont font;
    size_t glyphs = 0;
    for (auto _ : state) {
        auto tag = BuildFontTag(font, characters, 1, false);
        glyphs += tag->glyphs.size();
        benchmark::DoNotOptimize(tag.get());
    }
    state.counters["glyphs/s"] = benchmark::Counter(double(glyphs), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildFontTagOfPrintableCharacters)->Unit(benchmark::kMillisecond);
