#include "media/sample_filters.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>

namespace {

std::vector<int16_t> Flat(size_t n, int16_t value)
{
    return std::vector<int16_t>(n, value);
}

template <class Filter>
std::function<std::unique_ptr<CSampleFilter>()> Make(std::function<void(Filter&)> setUp = {})
{
    return [setUp] {
        auto f = std::make_unique<Filter>();
        if (setUp) setUp(*f);
        return std::unique_ptr<CSampleFilter>(std::move(f));
    };
}

std::function<void(CScaleSampleFilter&)> Factor(double factor)
{
    return [factor](CScaleSampleFilter& f) { f.SetFactor(factor); };
}

// Second streams outlive the filters that read them.
const std::array<int16_t, 3> kMixStream = {10000, -10000, 5};
const std::array<int16_t, 3> kCounting = {1, 2, 3};

// One filter started at a rate, fed call after call; a probe is
// (call, index, expected sample).
TEST(SampleFilters, WorkedExamples)
{
    struct Probe {
        size_t call, index;
        int16_t expected;
    };
    struct Case {
        const char* name;
        std::function<std::unique_ptr<CSampleFilter>()> make;
        uint32_t rate;
        uint16_t channels;
        std::vector<std::vector<int16_t>> calls;
        std::vector<Probe> probes;
    };
    const Case cases[] = {
        {"scale 2.0 wraps, never clips",
         Make<CScaleSampleFilter>(Factor(2.0)),
         44100,
         1,
         {{20000, -20000, 16384, -16384, 0, -1}},
         {{0, 0, -25536}, {0, 1, 25536}, {0, 2, -32768}, {0, 3, -32768}, {0, 4, 0}, {0, 5, -2}}},
        {"scale truncates toward zero",
         Make<CScaleSampleFilter>(Factor(0.5)),
         44100,
         1,
         {{-3, 3, 32767, -32768}},
         {{0, 0, -1}, {0, 1, 1}, {0, 2, 16383}, {0, 3, -16384}}},
        {"scale by a whole turn of 16 bits", Make<CScaleSampleFilter>(Factor(65536.0 * 3)), 44100, 1, {{7, -7}},
         {{0, 0, 0}, {0, 1, 0}}},
        // 2^32 + 2^16 + 1: products far beyond 32 bits keep their low 16
        {"scale far out of range still wraps", Make<CScaleSampleFilter>(Factor(4295032833.0)), 44100, 1,
         {{1, 3, -1}}, {{0, 0, 1}, {0, 1, 3}, {0, 2, -1}}},
        {"scale by a huge factor", Make<CScaleSampleFilter>(Factor(1e300)), 44100, 1, {{1}}, {{0, 0, 0}}},
        {"scale by no number is silence",
         Make<CScaleSampleFilter>(Factor(std::numeric_limits<double>::quiet_NaN())),
         44100,
         1,
         {{1000}},
         {{0, 0, 0}}},
        {"scale by infinity is silence",
         Make<CScaleSampleFilter>(Factor(std::numeric_limits<double>::infinity())),
         44100,
         1,
         {{1000}},
         {{0, 0, 0}}},
        {"mix clips; a shorter second stream leaves the rest",
         Make<CMixSampleFilter>([](CMixSampleFilter& f) { f.SetSecondStream(kMixStream); }),
         44100,
         1,
         {{30000, -30000, 100, 7}, {9}},
         {{0, 0, 32767}, {0, 1, -32768}, {0, 2, 105}, {0, 3, 7}, {1, 0, 9}}},
        {"mix goes on where the last call stopped",
         Make<CMixSampleFilter>([](CMixSampleFilter& f) { f.SetSecondStream(kCounting); }),
         44100,
         1,
         {{10, 10}, {10, 10}},
         {{0, 0, 11}, {0, 1, 12}, {1, 0, 13}, {1, 1, 10}}},
        {"mix without a second stream",
         Make<CMixSampleFilter>(),
         44100,
         1,
         {{-5}},
         {{0, 0, -5}}},
        // 44 samples a step, 2000 steps: the first at sample 43, the last
        // at 87999, then nothing changes.
        {"ramp at 44100 Hz",
         Make<CRampSampleFilter>(),
         44100,
         2,
         {Flat(88000, 10000), {32767, -32768}},
         {{0, 0, 0},
          {0, 42, 0},
          {0, 43, 5},
          {0, 86, 5},
          {0, 87, 10},
          {0, 87999, 10000},
          {1, 0, 32767},
          {1, 1, -32768}}},
        {"ramp of no length changes nothing",
         Make<CRampSampleFilter>([](CRampSampleFilter& f) { f.SetLength(0); }),
         44100,
         1,
         {{1234}},
         {{0, 0, 1234}}},
        // 1000 ms of 8000 Hz pass first; then 8 samples a step down to
        // silence after 2000 steps, and silence after that.
        {"fade-out skips start first",
         Make<CFadeOutSampleFilter>([](CFadeOutSampleFilter& f) { f.SetStart(1000); }),
         8000,
         1,
         {Flat(24000, 10000), Flat(20000, 10000)},
         {{0, 7999, 10000},
          {0, 8006, 10000},
          {0, 8007, 9995},
          {0, 23998, 5},
          {0, 23999, 0},
          {1, 0, 0},
          {1, 19999, 0}}},
        {"stereo fade-out counts both channels",
         Make<CFadeOutSampleFilter>([](CFadeOutSampleFilter& f) {
             f.SetStart(500);
             f.SetLength(10);
         }),
         8000,
         2,
         {Flat(8160, -10000)},
         {{0, 7999, -10000}, {0, 8014, -10000}, {0, 8015, -9000}, {0, 8159, 0}}},
        {"fade-out of no length changes nothing",
         Make<CFadeOutSampleFilter>([](CFadeOutSampleFilter& f) { f.SetLength(0); }),
         8000,
         1,
         {Flat(100, 321)},
         {{0, 0, 321}, {0, 99, 321}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto filter = c.make();
        filter->Start(c.rate, c.channels);
        std::vector<std::vector<int16_t>> out = c.calls;
        for (auto& block : out) {
            // A count of 0 (or less) touches nothing.
            ASSERT_TRUE(filter->Process(block.data(), 0));
            ASSERT_TRUE(filter->Process(block.data(), -1));
            ASSERT_TRUE(filter->Process(block.data(), int32_t(block.size())));
        }
        for (const Probe& p : c.probes) EXPECT_EQ(out[p.call][p.index], p.expected) << p.call << ":" << p.index;
        EXPECT_TRUE(filter->Finish());
    }
}

TEST(SampleFilters, RampAndFadeLandOnTheirEnds)
{
    CRampSampleFilter ramp;
    ramp.Start(44100, 1);
    auto in = Flat(88000, 1);
    ramp.Process(in.data(), int32_t(in.size()));
    EXPECT_EQ(ramp.GetGain(), 1.0);  // 2000 summed steps of 1/2000 fall short

    CFadeOutSampleFilter fade;
    fade.Start(8000, 1);
    auto out = Flat(16000, 1);
    fade.Process(out.data(), int32_t(out.size()));
    EXPECT_EQ(fade.GetGain(), 0.0);

    // Reset brings back the defaults.
    fade.SetStart(300);
    fade.SetLength(5);
    fade.Reset();
    EXPECT_EQ(std::make_pair(fade.GetStart(), fade.GetLength()), std::make_pair(0, 2000));
    CScaleSampleFilter scale;
    scale.SetFactor(3);
    scale.Reset();
    EXPECT_EQ(scale.GetFactor(), 1.0);
}

// The chain reads its source block by block through its filters in order.
TEST(SampleFilters, ChainRunsItsFiltersInOrder)
{
    CSampleFilterChain chain;
    EXPECT_TRUE(chain.Read(4).empty());  // no source yet
    std::vector<int16_t> source;
    for (int i = 0; i < 10; ++i) source.push_back(int16_t(1000 * i));
    chain.SetSource(std::make_unique<CMemorySampleSource>(source));
    auto scale = std::make_unique<CScaleSampleFilter>();
    scale->SetFactor(-2.0);
    chain.AddFilter(std::move(scale));
    static const std::array<int16_t, 2> kOnce = {1, 1};
    auto mix = std::make_unique<CMixSampleFilter>();
    mix->SetSecondStream(kOnce);
    chain.AddFilter(std::move(mix));
    chain.AddFilter(nullptr);  // ignored
    ASSERT_EQ(chain.GetFilterCount(), 2u);
    EXPECT_EQ(chain.GetFilter(2), nullptr);
    chain.Start(44100, 1);

    std::vector<int16_t> got;
    for (auto block = chain.Read(4); !block.empty(); block = chain.Read(4)) {
        EXPECT_LE(block.size(), 4u);
        got.insert(got.end(), block.begin(), block.end());
    }
    // Scaled first, then mixed: the mix's two samples land on the first two.
    const std::vector<int16_t> want = {1, -1999, -4000, -6000, -8000, -10000, -12000, -14000, -16000, -18000};
    EXPECT_EQ(got, want);
    EXPECT_TRUE(chain.Read(0).empty());
    EXPECT_TRUE(chain.Finish());
}

}  // namespace
