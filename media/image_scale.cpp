#include "media/image_scale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// Source range and normalised weights of each destination pixel of one pass.
struct WeightTable {
    int window = 0;
    std::vector<int> left, right;
    std::vector<double> weights;  // window values per destination pixel

    const double* At(int i) const { return weights.data() + size_t(i) * window; }
};

WeightTable BuildWeights(int count, int sourceCount, double scale)
{
    WeightTable t;
    double radius = 1.0, filterScale = 1.0;
    if (scale < 1.0) {
        radius = 1.0 / scale;
        filterScale = scale;
    }
    t.window = 2 * int(std::ceil(radius)) + 1;
    t.left.resize(count);
    t.right.resize(count);
    t.weights.assign(size_t(count) * t.window, 0.0);
    for (int i = 0; i < count; ++i) {
        const double centre = i / scale;
        int left = std::max(0, int(std::floor(centre - radius)));
        int right = std::min(sourceCount - 1, int(std::ceil(centre + radius)));
        if (right - left + 1 > t.window) {
            if (left < (sourceCount - 1) / 2)
                ++left;
            else
                --right;
        }
        double* w = t.weights.data() + size_t(i) * t.window;
        double total = 0.0;
        for (int j = left; j <= right; ++j) {
            const double v = filterScale * std::max(0.0, 1.0 - std::fabs(filterScale * (centre - j)));
            w[j - left] = v;
            total += v;
        }
        if (total > 0.0)
            for (int j = left; j <= right; ++j) w[j - left] /= total;
        t.left[i] = left;
        t.right[i] = right;
    }
    return t;
}

// Each pass adds its terms in the same order, so results are the same to
// the bit however the loops are arranged; terms of weight 0 change no sum
// (all weights are positive or zero) and are left out, and the first term
// stands for 0.0 plus itself, which it equals exactly.
struct TapList {
    std::vector<int> first, count, offset;  // per destination pixel
    std::vector<double> weights;            // the non-zero weights, in order
};

TapList NonZeroTaps(const WeightTable& t, int count)
{
    TapList taps;
    taps.first.resize(count);
    taps.count.resize(count);
    taps.offset.resize(count);
    for (int i = 0; i < count; ++i) {
        const double* w = t.At(i);
        int first = t.left[i], last = t.right[i];
        while (first < last && w[first - t.left[i]] == 0.0) ++first;
        while (last > first && w[last - t.left[i]] == 0.0) --last;
        taps.first[i] = first;
        taps.count[i] = last - first + 1;
        taps.offset[i] = int(taps.weights.size());
        for (int j = first; j <= last; ++j) taps.weights.push_back(w[j - t.left[i]]);
    }
    return taps;
}

inline uint8_t Round(double sum) { return uint8_t(std::min(int(sum + 0.5), 255)); }

// Along rows: destination pixel i of a row from its taps. Each source row is
// widened to doubles once, so the inner loops only multiply and add; the
// common short filters get loops of fixed length.
template <int bpp, int n>
inline void SumPixel(const double* w, const double* s, int count, uint8_t* dst)
{
    double sum[bpp];
    for (int b = 0; b < bpp; ++b) sum[b] = w[0] * s[b];
    const int last = n > 0 ? n : count;
    for (int j = 1; j < last; ++j)
        for (int b = 0; b < bpp; ++b) sum[b] += w[j] * s[j * bpp + b];
    for (int b = 0; b < bpp; ++b) dst[b] = Round(sum[b]);
}

template <int bpp>
void ScaleRows(const uint8_t* in, uint8_t* out, const WeightTable& t, int sourceCount, int destCount, int rows)
{
    const TapList taps = NonZeroTaps(t, destCount);
    const size_t sourceBytes = size_t(sourceCount) * bpp;
    std::vector<double> row(sourceBytes);
    for (int y = 0; y < rows; ++y) {
        const uint8_t* src = in + size_t(y) * sourceBytes;
        for (size_t k = 0; k < sourceBytes; ++k) row[k] = src[k];
        uint8_t* dst = out + size_t(y) * destCount * bpp;
        for (int i = 0; i < destCount; ++i, dst += bpp) {
            const double* w = taps.weights.data() + taps.offset[i];
            const double* s = row.data() + size_t(taps.first[i]) * bpp;
            switch (taps.count[i]) {
            case 1: SumPixel<bpp, 1>(w, s, 1, dst); break;
            case 2: SumPixel<bpp, 2>(w, s, 2, dst); break;
            case 3: SumPixel<bpp, 3>(w, s, 3, dst); break;
            case 4: SumPixel<bpp, 4>(w, s, 4, dst); break;
            default: SumPixel<bpp, 0>(w, s, taps.count[i], dst); break;
            }
        }
    }
}

// Down columns: destination row i from its source rows, read in order. Up
// to four rows are summed in one sweep per element; wider filters add into
// a row of sums, tap by tap.
template <int n>
void SumRows(const uint8_t* const* rows, const double* w, uint8_t* dst, size_t rowBytes)
{
    for (size_t k = 0; k < rowBytes; ++k) {
        double sum = w[0] * rows[0][k];
        if constexpr (n > 1) sum += w[1] * rows[1][k];
        if constexpr (n > 2) sum += w[2] * rows[2][k];
        if constexpr (n > 3) sum += w[3] * rows[3][k];
        dst[k] = Round(sum);
    }
}

void ScaleColumns(const uint8_t* in, uint8_t* out, const WeightTable& t, int destCount, size_t rowBytes)
{
    const TapList taps = NonZeroTaps(t, destCount);
    std::vector<double> sum;
    for (int i = 0; i < destCount; ++i) {
        const double* w = taps.weights.data() + taps.offset[i];
        const int n = taps.count[i];
        const uint8_t* rows[4];
        for (int j = 0; j < std::min(n, 4); ++j) rows[j] = in + size_t(taps.first[i] + j) * rowBytes;
        uint8_t* dst = out + size_t(i) * rowBytes;
        switch (n) {
        case 1: SumRows<1>(rows, w, dst, rowBytes); continue;
        case 2: SumRows<2>(rows, w, dst, rowBytes); continue;
        case 3: SumRows<3>(rows, w, dst, rowBytes); continue;
        case 4: SumRows<4>(rows, w, dst, rowBytes); continue;
        default: break;
        }
        sum.resize(rowBytes);
        for (size_t k = 0; k < rowBytes; ++k) sum[k] = w[0] * rows[0][k];
        for (int j = 1; j < n; ++j) {
            const uint8_t* row = in + size_t(taps.first[i] + j) * rowBytes;
            const double wj = w[j];
            for (size_t k = 0; k < rowBytes; ++k) sum[k] += wj * row[k];
        }
        for (size_t k = 0; k < rowBytes; ++k) dst[k] = Round(sum[k]);
    }
}

}  // namespace

uint8_t* ScaleImagePixels(const uint8_t* pixels, const Rect& source, const Rect& destination, int bitsPerPixel)
{
    const int sw = RectWidth(source), sh = RectHeight(source);
    const int dw = RectWidth(destination), dh = RectHeight(destination);
    if (!pixels || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return nullptr;
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return nullptr;
    if (sw == dw && sh == dh) return nullptr;
    const int bpp = bitsPerPixel / 8;

    std::unique_ptr<uint8_t[]> middle(new (std::nothrow) uint8_t[size_t(dw) * sh * bpp]);
    if (!middle) return nullptr;
    if (dw != sw) {
        const WeightTable t = BuildWeights(dw, sw, double(dw) / double(sw));
        if (bpp == 3)
            ScaleRows<3>(pixels, middle.get(), t, sw, dw, sh);
        else
            ScaleRows<4>(pixels, middle.get(), t, sw, dw, sh);
    } else {
        std::memcpy(middle.get(), pixels, size_t(dw) * sh * bpp);
    }

    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[size_t(dw) * dh * bpp]);
    if (!out) return nullptr;
    if (dh != sh) {
        const WeightTable t = BuildWeights(dh, sh, double(dh) / double(sh));
        ScaleColumns(middle.get(), out.get(), t, dh, size_t(dw) * bpp);
    } else {
        std::memcpy(out.get(), middle.get(), size_t(dw) * dh * bpp);
    }
    return out.release();
}

// Octree quantisation.

namespace {

constexpr unsigned kMaxNodes = 65536;

struct Node {
    bool isLeaf = false;
    std::array<std::unique_ptr<Node>, 8> children;
    // 64-bit: a picture of more than 16.8 Mpixels overflows 32-bit sums.
    uint64_t pixelCount = 0, redSum = 0, greenSum = 0, blueSum = 0;

    void AddCounts(uint64_t n, uint64_t r, uint64_t g, uint64_t b)
    {
        pixelCount += n;
        redSum += r;
        greenSum += g;
        blueSum += b;
    }
};

class Octree {
public:
    Octree() : root(std::make_unique<Node>()) {}

    // Adds `count` pixels of one colour. Only the first of them can create
    // nodes, so a run added at once prunes exactly as pixel by pixel.
    void Add(uint8_t r, uint8_t g, uint8_t b, uint64_t count)
    {
        Node* node = root.get();
        // Leaves sit at depth 7: the lowest bit of each component is not used.
        for (unsigned mask = 128;; mask >>= 1) {
            node->AddCounts(count, count * r, count * g, count * b);
            if (node->isLeaf || mask == 0) break;
            const int index = ((r & mask) ? 4 : 0) | ((g & mask) ? 2 : 0) | ((b & mask) ? 1 : 0);
            auto& child = node->children[index];
            if (!child) {
                child = std::make_unique<Node>();
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

    int Collect(uint8_t* palette, int capacity) const { return Collect(root.get(), palette, capacity); }

private:
    void Prune(Node* node, uint64_t threshold)
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
            const Node removed = std::move(*child);
            child.reset();
            --nodeCount;
            --leafCount;
            // The pixels move to the first remaining branch, down to a leaf.
            Node* receiver = FirstChild(node);
            while (receiver) {
                receiver->AddCounts(removed.pixelCount, removed.redSum, removed.greenSum, removed.blueSum);
                if (receiver->isLeaf) break;
                receiver = FirstChild(receiver);
            }
        }
    }

    static Node* FirstChild(Node* node)
    {
        for (auto& child : node->children)
            if (child) return child.get();
        return nullptr;
    }

    static int Collect(const Node* node, uint8_t* palette, int capacity)
    {
        if (capacity <= 0) return 0;
        if (node->isLeaf) {
            const uint64_t n = node->pixelCount;
            palette[0] = uint8_t((node->redSum + n / 2) / n);
            palette[1] = uint8_t((node->greenSum + n / 2) / n);
            palette[2] = uint8_t((node->blueSum + n / 2) / n);
            palette[3] = 0;
            return 1;
        }
        int total = 0;
        for (const auto& child : node->children) {
            if (!child) continue;
            total += Collect(child.get(), palette + total * 4, capacity - total);
        }
        return total;
    }

    std::unique_ptr<Node> root;
    unsigned nodeCount = 1;
    unsigned leafCount = 0;
};

int Nearest(const uint8_t* palette, int count, int r, int g, int b)
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < count; ++i) {
        const long dr = r - palette[i * 4], dg = g - palette[i * 4 + 1], db = b - palette[i * 4 + 2];
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace

uint8_t* QuantizeColors(const uint8_t* pixels, int width, int height, int bitsPerPixel, int maxColors,
                        uint8_t* palette, int* colorCount)
{
    if (!pixels || !palette || width <= 0 || height <= 0 || maxColors < 1 || maxColors > 256) return nullptr;
    const size_t step = bitsPerPixel == 32 ? 4 : 3;
    const size_t count = size_t(width) * size_t(height);
    std::unique_ptr<uint8_t[]> indices(new (std::nothrow) uint8_t[count]);
    if (!indices) return nullptr;

    int entries = 0;
    {
        Octree tree;
        for (size_t i = 0; i < count;) {
            const uint8_t* p = pixels + i * step;
            size_t run = 1;
            while (i + run < count && std::memcmp(pixels + (i + run) * step, p, 3) == 0) ++run;
            tree.Add(p[0], p[1], p[2], 1);
            if (run > 1) tree.Add(p[0], p[1], p[2], run - 1);
            i += run;
        }
        tree.Reduce(unsigned(maxColors));
        entries = tree.Collect(palette, maxColors);
    }
    if (colorCount) *colorCount = entries;

    // Pictures repeat colours; a small direct-mapped cache skips most searches.
    constexpr size_t kCacheSize = 4096;
    std::vector<uint32_t> cacheKey(kCacheSize, 0xFFFFFFFFu);
    std::vector<uint8_t> cacheIndex(kCacheSize, 0);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + i * step;
        const uint32_t key = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        const size_t slot = (key * 2654435761u) >> 20 & (kCacheSize - 1);
        if (cacheKey[slot] != key) {
            cacheKey[slot] = key;
            cacheIndex[slot] = uint8_t(Nearest(palette, entries, p[0], p[1], p[2]));
        }
        indices[i] = cacheIndex[slot];
    }
    return indices.release();
}
