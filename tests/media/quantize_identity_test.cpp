// The octree quantiser against the one it replaced, kept here as it was: the
// palette and the indices decide a movie's bytes, so a faster tree must give
// the same ones for every picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "media/image_scale.h"
#include "picture_bytes.h"

namespace {

using namespace picture_test;

// ---- the quantiser as it was, which rescanned the whole tree for every
// pruning pass (slow; the pictures below are small)

namespace reference {

constexpr unsigned kMaxNodes = 65536;

template <int N>
struct Node {
    bool isLeaf = false;
    std::array<std::unique_ptr<Node>, size_t(1) << N> children;
    uint64_t pixelCount = 0;
    std::array<uint64_t, N> sums{};

    void AddCounts(uint64_t n, const std::array<uint64_t, N>& more)
    {
        pixelCount += n;
        for (int c = 0; c < N; ++c) sums[c] += more[c];
    }
};

template <int N>
class Octree {
public:
    using Sums = std::array<uint64_t, N>;
    Octree() : root(std::make_unique<Node<N>>()) {}

    void Add(const uint8_t* colour, uint64_t count)
    {
        Sums more;
        for (int c = 0; c < N; ++c) more[c] = count * colour[c];
        Node<N>* node = root.get();
        for (unsigned mask = 128;; mask >>= 1) {
            node->AddCounts(count, more);
            if (node->isLeaf || mask == 0) break;
            int index = 0;
            for (int c = 0; c < N; ++c) index = index << 1 | ((colour[c] & mask) ? 1 : 0);
            auto& child = node->children[size_t(index)];
            if (!child) {
                child = std::make_unique<Node<N>>();
                child->isLeaf = mask == 2;
                ++nodeCount;
                if (child->isLeaf) ++leafCount;
            }
            node = child.get();
        }
        for (uint64_t threshold = 1; nodeCount > kMaxNodes; ++threshold) Prune(root.get(), threshold);
    }

    void Reduce(unsigned maxColors)
    {
        for (uint64_t threshold = 1; leafCount > maxColors; ++threshold) Prune(root.get(), threshold);
    }
    void Prune(uint64_t threshold)
    {
        // One mend since: a root already a leaf was counted again by every
        // pass (see QuantizeColors.OnePixelOfAnotherKindCostsOneEntry).
        if (!Empty() && !root->isLeaf) Prune(root.get(), threshold);
    }
    unsigned Leaves() const { return leafCount; }
    bool Empty() const { return root->pixelCount == 0; }
    int Collect(uint8_t* palette, int capacity) const { return Collect(root.get(), palette, capacity); }

private:
    void Prune(Node<N>* node, uint64_t threshold)
    {
        bool canCollapse = true;
        for (auto& child : node->children) {
            if (!child || child->isLeaf) continue;
            Prune(child.get(), threshold);
            if (!child->isLeaf) canCollapse = false;
        }
        if (node->pixelCount <= threshold && canCollapse) {
            for (auto& child : node->children) {
                if (!child) continue;
                child.reset();
                --nodeCount;
                --leafCount;
            }
            node->isLeaf = true;
            ++leafCount;
            return;
        }
        for (auto& child : node->children) {
            if (!child || !child->isLeaf || child->pixelCount > threshold) continue;
            const uint64_t removedCount = child->pixelCount;
            const Sums removedSums = child->sums;
            child.reset();
            --nodeCount;
            --leafCount;
            Node<N>* receiver = FirstChild(node);
            while (receiver) {
                receiver->AddCounts(removedCount, removedSums);
                if (receiver->isLeaf) break;
                receiver = FirstChild(receiver);
            }
        }
    }

    static Node<N>* FirstChild(Node<N>* node)
    {
        for (auto& child : node->children)
            if (child) return child.get();
        return nullptr;
    }

    static int Collect(const Node<N>* node, uint8_t* palette, int capacity)
    {
        if (capacity <= 0) return 0;
        if (node->isLeaf) {
            const uint64_t n = node->pixelCount;
            for (int c = 0; c < N; ++c) palette[c] = uint8_t((node->sums[c] + n / 2) / n);
            if (N == 3) palette[3] = 0;
            return 1;
        }
        int total = 0;
        for (const auto& child : node->children) {
            if (!child) continue;
            total += Collect(child.get(), palette + total * 4, capacity - total);
        }
        return total;
    }

    std::unique_ptr<Node<N>> root;
    unsigned nodeCount = 1;
    unsigned leafCount = 0;
};

template <int N>
int Nearest(const uint8_t* palette, int first, int count, const uint8_t* colour)
{
    int best = first;
    long bestDistance = -1;
    for (int i = first; i < first + count; ++i) {
        long d = 0;
        for (int c = 0; c < N; ++c) {
            const long delta = long(colour[c]) - palette[i * 4 + c];
            d += delta * delta;
        }
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

template <int N>
void AddRuns(Octree<N>& tree, const uint8_t* pixels, size_t step, size_t count)
{
    for (size_t i = 0; i < count;) {
        const uint8_t* p = pixels + i * step;
        size_t run = 1;
        while (i + run < count && std::memcmp(pixels + (i + run) * step, p, N) == 0) ++run;
        tree.Add(p, 1);
        if (run > 1) tree.Add(p, run - 1);
        i += run;
    }
}

// Without the old lookup cache, which only remembered these same answers.
void Quantize(const uint8_t* pixels, size_t count, int bitsPerPixel, int maxColors, uint8_t* palette, int* entries,
              uint8_t* indices)
{
    const size_t step = bitsPerPixel == 32 ? 4 : 3;
    {
        Octree<3> tree;
        AddRuns(tree, pixels, step, count);
        tree.Reduce(unsigned(maxColors));
        *entries = tree.Collect(palette, maxColors);
    }
    for (size_t i = 0; i < count; ++i) indices[i] = uint8_t(Nearest<3>(palette, 0, *entries, pixels + i * step));
}

void QuantizeWithAlpha(const uint8_t* pixels, const uint8_t* alpha, size_t count, int maxColors, uint8_t* palette,
                       int* colorCount, uint8_t* indices)
{
    std::vector<uint8_t> opaque, partial;
    bool anyTransparent = false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t a = alpha ? alpha[i] : 255;
        const uint8_t* p = pixels + i * 3;
        if (a == 0)
            anyTransparent = true;
        else if (a == 255)
            opaque.insert(opaque.end(), p, p + 3);
        else
            partial.insert(partial.end(), {p[0], p[1], p[2], a});
    }
    Octree<3> opaqueTree;
    Octree<4> partialTree;
    AddRuns(opaqueTree, opaque.data(), 3, opaque.size() / 3);
    AddRuns(partialTree, partial.data(), 4, partial.size() / 4);
    const unsigned budget = unsigned(maxColors) - (anyTransparent ? 1 : 0);
    for (uint64_t threshold = 1; opaqueTree.Leaves() + partialTree.Leaves() > budget; ++threshold) {
        opaqueTree.Prune(threshold);
        partialTree.Prune(threshold);
    }
    int entries = 0;
    if (anyTransparent) {
        std::memset(palette, 0, 4);
        entries = 1;
    }
    const int opaqueFirst = entries;
    const int opaqueCount = opaqueTree.Empty() ? 0 : opaqueTree.Collect(palette + entries * 4, maxColors - entries);
    for (int i = 0; i < opaqueCount; ++i) palette[(opaqueFirst + i) * 4 + 3] = 255;
    entries += opaqueCount;
    const int partialFirst = entries;
    const int partialCount = partialTree.Empty() ? 0 : partialTree.Collect(palette + entries * 4, maxColors - entries);
    entries += partialCount;
    *colorCount = entries;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t a = alpha ? alpha[i] : 255;
        const uint8_t* p = pixels + i * 3;
        const uint8_t colour[4] = {p[0], p[1], p[2], a};
        indices[i] = a == 0     ? 0
                     : a == 255 ? uint8_t(Nearest<3>(palette, opaqueFirst, opaqueCount, colour))
                                : uint8_t(Nearest<4>(palette, partialFirst, partialCount, colour));
    }
}

}  // namespace reference

// ---- generated pictures

class Random {
public:
    explicit Random(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t Next()
    {
        state_ ^= state_ << 13, state_ ^= state_ >> 17, state_ ^= state_ << 5;
        return state_;
    }
    uint8_t Byte() { return uint8_t(Next() >> 24); }

private:
    uint32_t state_;
};

enum class Kind {
    kNoise,       // every component uniform: the tree fills and prunes while pixels go in
    kPhotograph,  // gradients with a camera's noise: colours crowd together
    kGradient,    // smooth, no noise
    kFewColours,  // blocks of 7 colours
    kDistinct,    // `colours` colours distinct in their top 7 bits, in a random order
    kTwice,       // random colours, each twice (a b a b c d c d ...), and every third
                  // pixel one of 100 others: once the tree is full, it is pruned
                  // again for nearly every pixel, and what those passes merge
                  // decides which leaves outlast the reduction
};

struct Picture {
    int width, height;
    Bytes pixels;  // 3 bytes a pixel, 4 when `stride` is 4
    Bytes alpha;   // empty: none
};

Bytes Pixels(Kind kind, int w, int h, uint32_t seed, int colours, int stride)
{
    Random random(seed);
    Bytes out(size_t(w) * h * stride);
    auto triangle = [&random] { return int(random.Next() >> 28) + int(random.Next() >> 28) - 15; };
    auto clamp = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &out[(size_t(y) * w + x) * stride];
            const int i = y * w + x;
            switch (kind) {
                case Kind::kNoise:
                    p[0] = random.Byte(), p[1] = random.Byte(), p[2] = random.Byte();
                    break;
                case Kind::kPhotograph:
                    p[0] = clamp(x + y / 3 + triangle());
                    p[1] = clamp(((x * y) >> 7) + triangle());
                    p[2] = clamp(((x ^ y) & 31) * 4 + y + triangle());
                    break;
                case Kind::kGradient:
                    p[0] = uint8_t(x * 255 / std::max(w - 1, 1)), p[1] = uint8_t(y * 255 / std::max(h - 1, 1));
                    p[2] = uint8_t((x + y) / 2);
                    break;
                case Kind::kFewColours: {
                    const int c = (x / 9 + y / 7 + int(seed)) % 7;
                    p[0] = uint8_t(c * 40), p[1] = uint8_t(255 - c * 33), p[2] = uint8_t(c & 1 ? 200 : 10);
                    break;
                }
                case Kind::kTwice: {
                    Random pick(i % 3 == 0 ? seed * 7777u + uint32_t(i / 3 % 100)
                                           : seed * 1000003u + uint32_t(i / 4 * 2 + i % 2));
                    p[0] = pick.Byte(), p[1] = pick.Byte(), p[2] = pick.Byte();
                    break;
                }
                case Kind::kDistinct: {
                    // Colour k spreads over the cube: its index's bits as the top bits.
                    const int k = int((uint32_t(i) * 2654435761u + seed) % uint32_t(colours));
                    p[0] = uint8_t((k & 7) << 5 | (k >> 6 & 1) << 4),
                    p[1] = uint8_t((k >> 3 & 7) << 5 | (k >> 7 & 1) << 4);
                    p[2] = uint8_t((k >> 8 & 1) << 7 | 2);
                    break;
                }
            }
            if (stride == 4) p[3] = random.Byte();  // ignored
        }
    if (kind == Kind::kDistinct) {
        // Every colour at least once, whatever the order drew.
        for (int k = 0; k < colours && k < w * h; ++k) {
            uint8_t* p = &out[size_t(k) * stride];
            p[0] = uint8_t((k & 7) << 5 | (k >> 6 & 1) << 4), p[1] = uint8_t((k >> 3 & 7) << 5 | (k >> 7 & 1) << 4);
            p[2] = uint8_t((k >> 8 & 1) << 7 | 2);
        }
    }
    return out;
}

enum class Alpha {
    kNone,      // no plane
    kOpaque,    // all 255
    kSoftEdge,  // opaque inside, fading out over the border
    kMixed,     // a third each of 0, 255 and anything between, at random
    kClear,     // all 0
};

Bytes AlphaPlane(Alpha kind, int w, int h, uint32_t seed)
{
    Random random(seed + 99);
    Bytes out(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t& a = out[size_t(y) * w + x];
            const int edge = std::min({x, y, w - 1 - x, h - 1 - y});
            switch (kind) {
                case Alpha::kNone:
                case Alpha::kOpaque:
                    a = 255;
                    break;
                case Alpha::kSoftEdge:
                    a = uint8_t(std::min(255, edge * 24));
                    break;
                case Alpha::kMixed: {
                    const uint32_t r = random.Next();
                    a = r % 3 == 0 ? 0 : r % 3 == 1 ? 255 : uint8_t(1 + (r >> 8) % 254);
                    break;
                }
                case Alpha::kClear:
                    a = 0;
                    break;
            }
        }
    return kind == Alpha::kNone ? Bytes{} : out;
}

std::string Describe(Kind kind, int w, int h, uint32_t seed, int colours, int maxColors)
{
    static const char* const kNames[] = {"noise", "photograph", "gradient", "few colours", "distinct", "twice"};
    return std::string(kNames[int(kind)]) + " " + std::to_string(w) + "x" + std::to_string(h) + " seed " +
           std::to_string(seed) + (kind == Kind::kDistinct ? " colours " + std::to_string(colours) : "") + " max " +
           std::to_string(maxColors);
}

struct Result {
    Bytes palette;
    Bytes indices;
    int count = -1;
};

TEST(QuantizeColors, SameAsTheQuantiserItReplaced)
{
    struct Case {
        Kind kind;
        int w, h;
        uint32_t seed;
        int maxColors;
        int colours = 0;  // kDistinct
        int bits = 24;
    };
    const Case cases[] = {
        {Kind::kTwice, 500, 94, 1, 256},
        // 30,000 pixels of noise pass 65,536 nodes while going in.
        {Kind::kNoise, 200, 150, 1, 256},
        {Kind::kNoise, 100, 80, 3, 16},
        {Kind::kNoise, 100, 80, 4, 256, 0, 32},
        {Kind::kPhotograph, 160, 120, 1, 256},
        {Kind::kPhotograph, 120, 90, 5, 64},
        {Kind::kPhotograph, 120, 90, 6, 256, 0, 32},
        {Kind::kGradient, 128, 96, 0, 256},
        {Kind::kGradient, 64, 64, 0, 2},
        {Kind::kGradient, 64, 64, 0, 1},
        {Kind::kFewColours, 64, 64, 0, 256},
        {Kind::kFewColours, 64, 64, 3, 4},
        {Kind::kDistinct, 64, 64, 1, 256, 256},
        {Kind::kDistinct, 64, 64, 2, 256, 257},
        {Kind::kDistinct, 100, 80, 3, 255, 256},
        {Kind::kDistinct, 100, 80, 4, 256, 512},
    };
    for (const Case& c : cases) {
        const std::string name = Describe(c.kind, c.w, c.h, c.seed, c.colours, c.maxColors);
        const Bytes pixels = Pixels(c.kind, c.w, c.h, c.seed, c.colours, c.bits / 8);
        const size_t count = size_t(c.w) * c.h;
        Result want, got;
        want.palette.assign(256 * 4, 0xEE), want.indices.assign(count, 0);
        reference::Quantize(pixels.data(), count, c.bits, c.maxColors, want.palette.data(), &want.count,
                            want.indices.data());
        got.palette.assign(256 * 4, 0xEE);
        std::unique_ptr<uint8_t[]> out(
            QuantizeColors(pixels.data(), c.w, c.h, c.bits, c.maxColors, got.palette.data(), &got.count));
        ASSERT_TRUE(out) << name;
        got.indices.assign(out.get(), out.get() + count);
        EXPECT_EQ(got.count, want.count) << name;
        EXPECT_EQ(got.palette, want.palette) << name;
        EXPECT_TRUE(got.indices == want.indices) << name;
        if (c.kind == Kind::kDistinct && c.colours <= c.maxColors) {
            EXPECT_EQ(got.count, std::min(c.colours, c.maxColors)) << name;
        }
    }
}

TEST(QuantizeColors, WithAlphaSameAsTheQuantiserItReplaced)
{
    struct Case {
        Kind kind;
        Alpha alpha;
        int w, h;
        uint32_t seed;
        int maxColors;
    };
    const Case cases[] = {
        {Kind::kNoise, Alpha::kNone, 100, 80, 1, 256},           {Kind::kNoise, Alpha::kMixed, 200, 150, 2, 256},
        {Kind::kNoise, Alpha::kSoftEdge, 100, 80, 3, 64},        {Kind::kPhotograph, Alpha::kOpaque, 120, 90, 4, 256},
        {Kind::kPhotograph, Alpha::kSoftEdge, 160, 120, 5, 256}, {Kind::kPhotograph, Alpha::kMixed, 120, 90, 6, 16},
        {Kind::kGradient, Alpha::kSoftEdge, 100, 80, 0, 3},      {Kind::kFewColours, Alpha::kMixed, 64, 64, 1, 256},
        {Kind::kFewColours, Alpha::kClear, 64, 64, 2, 256},
    };
    for (const Case& c : cases) {
        const std::string name =
            Describe(c.kind, c.w, c.h, c.seed, 0, c.maxColors) + " alpha " + std::to_string(int(c.alpha));
        const Bytes pixels = Pixels(c.kind, c.w, c.h, c.seed, 0, 3);
        const Bytes alpha = AlphaPlane(c.alpha, c.w, c.h, c.seed);
        const uint8_t* plane = alpha.empty() ? nullptr : alpha.data();
        const size_t count = size_t(c.w) * c.h;
        Result want, got;
        want.palette.assign(256 * 4, 0xEE), want.indices.assign(count, 0);
        reference::QuantizeWithAlpha(pixels.data(), plane, count, c.maxColors, want.palette.data(), &want.count,
                                     want.indices.data());
        got.palette.assign(256 * 4, 0xEE);
        std::unique_ptr<uint8_t[]> out(
            QuantizeColorsWithAlpha(pixels.data(), plane, c.w, c.h, c.maxColors, got.palette.data(), &got.count));
        ASSERT_TRUE(out) << name;
        got.indices.assign(out.get(), out.get() + count);
        EXPECT_EQ(got.count, want.count) << name;
        EXPECT_EQ(got.palette, want.palette) << name;
        EXPECT_TRUE(got.indices == want.indices) << name;
    }
}

// Opaque and translucent pixels are pruned in trees of their own. One pixel
// of the other kind is one leaf however far its neighbour's tree is pruned,
// so the rest of the picture comes out as it does alone, in one entry fewer.
// (A tree pruned down to its root once counted it again on every pass, which
// took entries from the other tree; with enough passes the whole picture
// fell to two colours.)
TEST(QuantizeColors, OnePixelOfAnotherKindCostsOneEntry)
{
    const int w = 160, h = 120;
    const Bytes pixels = Pixels(Kind::kPhotograph, w, h, 8, 0, 3);
    const struct {
        const char* name;
        uint8_t most, odd;
    } cases[] = {{"one translucent pixel", 255, 128}, {"one opaque pixel", 128, 255}};
    for (const auto& c : cases) {
        Bytes alpha(size_t(w) * h, c.most);
        alpha[0] = c.odd;
        const size_t rest = size_t(w) * h - 1;
        Result alone, together;
        alone.palette.assign(256 * 4, 0xEE), together.palette.assign(256 * 4, 0xEE);
        std::unique_ptr<uint8_t[]> aloneOut(QuantizeColorsWithAlpha(pixels.data() + 3, alpha.data() + 1, int(rest), 1,
                                                                    255, alone.palette.data(), &alone.count));
        std::unique_ptr<uint8_t[]> togetherOut(
            QuantizeColorsWithAlpha(pixels.data(), alpha.data(), w, h, 256, together.palette.data(), &together.count));
        ASSERT_TRUE(aloneOut && togetherOut) << c.name;
        ASSERT_GT(alone.count, 200) << c.name;
        // Opaque entries come first.
        const Bytes oddEntry = {pixels[0], pixels[1], pixels[2], c.odd};
        const bool oddFirst = c.odd == 255;
        Bytes want(alone.palette.begin(), alone.palette.begin() + alone.count * 4);
        want.insert(oddFirst ? want.begin() : want.end(), oddEntry.begin(), oddEntry.end());
        EXPECT_EQ(together.count, alone.count + 1) << c.name;
        EXPECT_EQ(Bytes(together.palette.begin(), together.palette.begin() + together.count * 4), want) << c.name;
        EXPECT_EQ(togetherOut[0], oddFirst ? 0 : alone.count) << c.name;
        size_t moved = 0;
        for (size_t i = 0; i < rest; ++i) moved += togetherOut[i + 1] != aloneOut[i] + (oddFirst ? 1 : 0);
        EXPECT_EQ(moved, 0u) << c.name;
    }
}

}  // namespace
