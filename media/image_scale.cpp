#include "media/image_scale.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "media/kept_block.h"

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
// widened to doubles once, so the inner loops only multiply and add.
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
void ScaleRowsOneByOne(const uint8_t* in, uint8_t* out, const TapList& taps, size_t sourceBytes, int destCount,
                       int from, int rows)
{
    std::vector<double> row(sourceBytes);
    for (int y = from; y < rows; ++y) {
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

#if defined(__x86_64__) && defined(__GNUC__)
// Four rows at a time where the processor has AVX2: four rows are widened
// into one block with the four values of each column byte side by side, so
// that each tap multiplies and adds the sums of four output pixels at once,
// one per row; the sums are kept side by side too and rounded in one sweep.
// Every sum takes its terms in the same order (and no fused multiply-add),
// so the bytes are those of a row at a time.
#define TAVREL_WIDE __attribute__((target("avx2")))
constexpr int kRows = 4;
typedef double RowSums __attribute__((vector_size(kRows * sizeof(double))));

template <int bpp, int n>
TAVREL_WIDE inline void SumFourRows(const double* w, const double* s, int count, double* sums)
{
    const int last = n > 0 ? n : count;
    for (int b = 0; b < bpp; ++b) {
        RowSums v, sum;
        std::memcpy(&v, s + b * kRows, sizeof v);
        sum = w[0] * v;
        for (int j = 1; j < last; ++j) {
            std::memcpy(&v, s + (j * bpp + b) * kRows, sizeof v);
            sum += w[j] * v;
        }
        std::memcpy(sums + b * kRows, &sum, sizeof sum);
    }
}

// The rows done four at a time; the rest are left for one at a time.
template <int bpp>
TAVREL_WIDE int ScaleRowsFourByFour(const uint8_t* in, uint8_t* out, const TapList& taps, size_t sourceBytes,
                                    int destCount, int rows)
{
    const size_t destBytes = size_t(destCount) * bpp;
    std::vector<double> block(sourceBytes * kRows), sums(destBytes * kRows);
    int y = 0;
    for (; y + kRows <= rows; y += kRows) {
        const uint8_t* src = in + size_t(y) * sourceBytes;
        for (size_t k = 0; k < sourceBytes; ++k)
            for (int r = 0; r < kRows; ++r) block[k * kRows + r] = src[r * sourceBytes + k];
        double* sum = sums.data();
        for (int i = 0; i < destCount; ++i, sum += bpp * kRows) {
            const double* w = taps.weights.data() + taps.offset[i];
            const double* s = block.data() + size_t(taps.first[i]) * bpp * kRows;
            switch (taps.count[i]) {
            case 1: SumFourRows<bpp, 1>(w, s, 1, sum); break;
            case 2: SumFourRows<bpp, 2>(w, s, 2, sum); break;
            case 3: SumFourRows<bpp, 3>(w, s, 3, sum); break;
            case 4: SumFourRows<bpp, 4>(w, s, 4, sum); break;
            default: SumFourRows<bpp, 0>(w, s, taps.count[i], sum); break;
            }
        }
        uint8_t* dst = out + size_t(y) * destBytes;
        for (size_t k = 0; k < destBytes; ++k)
            for (int r = 0; r < kRows; ++r) dst[r * destBytes + k] = Round(sums[k * kRows + r]);
    }
    return y;
}

std::atomic<bool> g_allowWideSums{true};

bool HaveWideSums()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have && g_allowWideSums.load(std::memory_order_relaxed);
}
#else
std::atomic<bool> g_allowWideSums{true};

template <int bpp>
int ScaleRowsFourByFour(const uint8_t*, uint8_t*, const TapList&, size_t, int, int)
{
    return 0;
}
bool HaveWideSums() { return false; }
#endif

template <int bpp>
void ScaleRows(const uint8_t* in, uint8_t* out, const WeightTable& t, int sourceCount, int destCount, int rows)
{
    const TapList taps = NonZeroTaps(t, destCount);
    const size_t sourceBytes = size_t(sourceCount) * bpp;
    const int done = HaveWideSums() ? ScaleRowsFourByFour<bpp>(in, out, taps, sourceBytes, destCount, rows) : 0;
    ScaleRowsOneByOne<bpp>(in, out, taps, sourceBytes, destCount, done, rows);
}

// Down columns: destination row i from its source rows, read in order. Up
// to four rows are summed in one sweep per element; wider filters add into
// a row of sums, tap by tap.
template <int n>
__attribute__((always_inline)) inline void SumRows(const uint8_t* const* rows, const double* w, uint8_t* dst,
                                                   size_t rowBytes)
{
    for (size_t k = 0; k < rowBytes; ++k) {
        double sum = w[0] * rows[0][k];
        if constexpr (n > 1) sum += w[1] * rows[1][k];
        if constexpr (n > 2) sum += w[2] * rows[2][k];
        if constexpr (n > 3) sum += w[3] * rows[3][k];
        dst[k] = Round(sum);
    }
}

__attribute__((always_inline)) inline void ScaleColumnsWith(const TapList& taps, const uint8_t* in, uint8_t* out,
                                                            int destCount, size_t rowBytes)
{
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

#if defined(__x86_64__) && defined(__GNUC__)
// The same loops in AVX2 code where the processor has it: four sums to an
// instruction instead of two, each with the same terms in the same order.
TAVREL_WIDE void ScaleColumnsWide(const TapList& taps, const uint8_t* in, uint8_t* out, int destCount,
                                  size_t rowBytes)
{
    ScaleColumnsWith(taps, in, out, destCount, rowBytes);
}
#else
void ScaleColumnsWide(const TapList& taps, const uint8_t* in, uint8_t* out, int destCount, size_t rowBytes)
{
    ScaleColumnsWith(taps, in, out, destCount, rowBytes);
}
#endif

void ScaleColumns(const uint8_t* in, uint8_t* out, const WeightTable& t, int destCount, size_t rowBytes)
{
    const TapList taps = NonZeroTaps(t, destCount);
    if (HaveWideSums())
        ScaleColumnsWide(taps, in, out, destCount, rowBytes);
    else
        ScaleColumnsWith(taps, in, out, destCount, rowBytes);
}

}  // namespace

bool ScaleImagePixelsInto(const uint8_t* pixels, const Rect& source, const Rect& destination, int bitsPerPixel,
                          uint8_t* out, CKeptBlock* firstPass)
{
    const int sw = RectWidth(source), sh = RectHeight(source);
    const int dw = RectWidth(destination), dh = RectHeight(destination);
    if (!pixels || !out || !firstPass || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return false;
    if (bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    if (sw == dw && sh == dh) return false;
    const int bpp = bitsPerPixel / 8;

    // Only a change of width needs the first pass.
    const uint8_t* middle = pixels;
    if (dw != sw) {
        uint8_t* rows = firstPass->Reserve(size_t(dw) * sh * bpp);
        if (!rows) return false;
        const WeightTable t = BuildWeights(dw, sw, double(dw) / double(sw));
        if (bpp == 3)
            ScaleRows<3>(pixels, rows, t, sw, dw, sh);
        else
            ScaleRows<4>(pixels, rows, t, sw, dw, sh);
        middle = rows;
    }
    if (dh != sh) {
        const WeightTable t = BuildWeights(dh, sh, double(dh) / double(sh));
        ScaleColumns(middle, out, t, dh, size_t(dw) * bpp);
    } else {
        std::memcpy(out, middle, size_t(dw) * dh * bpp);
    }
    return true;
}

uint8_t* ScaleImagePixels(const uint8_t* pixels, const Rect& source, const Rect& destination, int bitsPerPixel)
{
    const int dw = RectWidth(destination), dh = RectHeight(destination);
    if (dw <= 0 || dh <= 0 || (bitsPerPixel != 24 && bitsPerPixel != 32)) return nullptr;
    if (RectWidth(source) == dw && RectHeight(source) == dh) return nullptr;
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[size_t(dw) * dh * (bitsPerPixel / 8)]);
    CKeptBlock firstPass;
    if (!out || !ScaleImagePixelsInto(pixels, source, destination, bitsPerPixel, out.get(), &firstPass)) return nullptr;
    return out.release();
}

void AllowWideScaleSums(bool allow) { g_allowWideSums.store(allow, std::memory_order_relaxed); }

// Octree quantisation.

namespace {

constexpr unsigned kMaxNodes = 65536;

// A tree over N components of 8 bits: 2^N children per node.
template <int N>
struct Node {
    bool isLeaf = false;
    std::array<std::unique_ptr<Node>, size_t(1) << N> children;
    // 64-bit: a picture of more than 16.8 Mpixels overflows 32-bit sums.
    uint64_t pixelCount = 0;
    std::array<uint64_t, N> sums{};
    // No node of this subtree (itself included) counts fewer pixels. Counts
    // only grow, so the bound holds until a node is added below.
    uint64_t least = 0;

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

    // Adds `count` pixels of one colour. Only the first of them can create
    // nodes, so a run added at once prunes exactly as pixel by pixel.
    void Add(const uint8_t* colour, uint64_t count)
    {
        Sums more;
        for (int c = 0; c < N; ++c) more[c] = count * colour[c];
        Node<N>* path[9];
        int depth = 0;
        bool grown = false;
        Node<N>* node = root.get();
        // Leaves sit at depth 7: the lowest bit of each component is not used.
        for (unsigned mask = 128;; mask >>= 1) {
            node->AddCounts(count, more);
            path[depth++] = node;
            if (node->isLeaf || mask == 0) break;
            int index = 0;
            for (int c = 0; c < N; ++c) index = index << 1 | ((colour[c] & mask) ? 1 : 0);
            auto& child = node->children[size_t(index)];
            if (!child) {
                child = std::make_unique<Node<N>>();
                child->isLeaf = mask == 2;
                child->least = count;
                ++nodeCount;
                if (child->isLeaf) ++leafCount;
                grown = true;
            }
            node = child.get();
        }
        if (grown)
            for (int i = 0; i < depth; ++i) path[i]->least = std::min(path[i]->least, count);
        for (uint64_t threshold = 1; nodeCount > kMaxNodes; ++threshold) {
            threshold = std::max(threshold, root->least);
            Prune(root.get(), threshold);
        }
    }

    void Reduce(unsigned maxColors)
    {
        for (uint64_t threshold = 1; leafCount > maxColors; ++threshold) {
            threshold = std::max(threshold, root->least);
            Prune(root.get(), threshold);
        }
    }
    // A pass at a threshold below this changes nothing.
    uint64_t Least() const { return Empty() || root->isLeaf ? UINT64_MAX : root->least; }
    // A tree pruned down to its root is left as it is: the root stays one
    // leaf, counted once.
    void Prune(uint64_t threshold)
    {
        if (!Empty() && !root->isLeaf) Prune(root.get(), threshold);
    }
    unsigned Leaves() const { return leafCount; }
    bool Empty() const { return root->pixelCount == 0; }

    // Entries of 4 bytes: the rounded means, then 0 (N = 3) or alpha.
    int Collect(uint8_t* palette, int capacity) const { return Collect(root.get(), palette, capacity); }

private:
    // One pass over the tree at a threshold. A subtree whose every count is
    // above it would come out as it went in, so it is passed over: a pass
    // visits only the paths down to what it merges, not the whole tree.
    void Prune(Node<N>* node, uint64_t threshold)
    {
        if (node->least > threshold) return;
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
            node->least = node->pixelCount;
            return;
        }
        for (auto& child : node->children) {
            if (!child || !child->isLeaf || child->pixelCount > threshold) continue;
            const uint64_t removedCount = child->pixelCount;
            const Sums removedSums = child->sums;
            child.reset();
            --nodeCount;
            --leafCount;
            // The pixels move to the first remaining branch, down to a leaf.
            Node<N>* receiver = FirstChild(node);
            while (receiver) {
                receiver->AddCounts(removedCount, removedSums);
                if (receiver->isLeaf) break;
                receiver = FirstChild(receiver);
            }
        }
        node->least = node->pixelCount;
        for (const auto& child : node->children)
            if (child) node->least = std::min(node->least, child->isLeaf ? child->pixelCount : child->least);
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

// The entry of [first, first + count) nearest to the colour over N
// components, the lowest index winning a tie; `first` when there are none.
// Colour space is cut into cells, and each cell keeps, in index order, the
// entries that can be nearest to some colour in it: those no farther from
// the cell than the entry whose farthest point of the cell is nearest. Any
// other entry is farther from every colour of the cell than that one, so a
// scan of the cell's list gives what a scan of all the entries gives.
template <int N>
class NearestEntry {
public:
    NearestEntry(const uint8_t* palette, int first, int count)
        : palette_(palette), first_(first), count_(count), lists_(size_t(1) << (kBits * N), kUnbuilt)
    {
    }

    int Find(const uint8_t* colour)
    {
        if (count_ <= 0) return first_;
        size_t cell = 0;
        for (int c = 0; c < N; ++c) cell = cell << kBits | size_t(colour[c] >> kShift);
        if (lists_[cell] == kUnbuilt) Build(cell, colour);
        int best = -1;
        long bestDistance = 0;
        for (uint32_t k = lists_[cell]; candidates_[k] >= 0; ++k) {
            const int i = candidates_[k];
            long d = 0;
            for (int c = 0; c < N; ++c) {
                const long delta = long(colour[c]) - palette_[i * 4 + c];
                d += delta * delta;
            }
            if (best < 0 || d < bestDistance) best = i, bestDistance = d;
        }
        return best;
    }

private:
    // 16 levels a side for three components, 8 for four: 4096 cells.
    static constexpr int kBits = N == 3 ? 4 : 3;
    static constexpr int kShift = 8 - kBits;
    static constexpr uint32_t kUnbuilt = UINT32_MAX;

    void Build(size_t cell, const uint8_t* colour)
    {
        auto reach = [&](int i, bool far) {
            long sum = 0;
            for (int c = 0; c < N; ++c) {
                const long low = colour[c] >> kShift << kShift, high = low + (1 << kShift) - 1;
                const long v = palette_[i * 4 + c];
                const long d = far ? std::max(v - low, high - v) : v < low ? low - v : v > high ? v - high : 0;
                sum += d * d;
            }
            return sum;
        };
        long nearestFar = std::numeric_limits<long>::max();
        for (int i = first_; i < first_ + count_; ++i) nearestFar = std::min(nearestFar, reach(i, true));
        lists_[cell] = uint32_t(candidates_.size());
        for (int i = first_; i < first_ + count_; ++i)
            if (reach(i, false) <= nearestFar) candidates_.push_back(int16_t(i));
        candidates_.push_back(-1);
    }

    const uint8_t* palette_;
    int first_, count_;
    std::vector<uint32_t> lists_;      // where each cell's list starts, or kUnbuilt
    std::vector<int16_t> candidates_;  // the lists, each ended by -1
};

// Pictures repeat colours; a small direct-mapped cache skips most searches.
class NearestCache {
public:
    // The cached index for the key, or -1.
    int Find(uint64_t key) const { return keys_[Slot(key)] == key ? indices_[Slot(key)] : -1; }
    void Store(uint64_t key, int index)
    {
        keys_[Slot(key)] = key;
        indices_[Slot(key)] = uint8_t(index);
    }

private:
    static constexpr size_t kSize = 4096;
    static size_t Slot(uint64_t key) { return size_t((uint32_t(key) * 2654435761u) >> 20 & (kSize - 1)); }
    std::vector<uint64_t> keys_ = std::vector<uint64_t>(kSize, ~uint64_t(0));
    std::vector<uint8_t> indices_ = std::vector<uint8_t>(kSize, 0);
};

// Adds pixels to a tree a run of equal colours at a time.
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
        Octree<3> tree;
        AddRuns(tree, pixels, step, count);
        tree.Reduce(unsigned(maxColors));
        entries = tree.Collect(palette, maxColors);
    }
    if (colorCount) *colorCount = entries;

    NearestEntry<3> nearest(palette, 0, entries);
    NearestCache cache;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = pixels + i * step;
        const uint64_t key = uint64_t(p[0]) << 16 | uint64_t(p[1]) << 8 | p[2];
        int index = cache.Find(key);
        if (index < 0) cache.Store(key, index = nearest.Find(p));
        indices[i] = uint8_t(index);
    }
    return indices.release();
}

uint8_t* QuantizeColorsWithAlpha(const uint8_t* pixels, const uint8_t* alpha, int width, int height, int maxColors,
                                 uint8_t* palette, int* colorCount)
{
    if (!pixels || !palette || width <= 0 || height <= 0 || maxColors < 3 || maxColors > 256) return nullptr;
    const size_t count = size_t(width) * size_t(height);
    std::unique_ptr<uint8_t[]> indices(new (std::nothrow) uint8_t[count]);
    std::vector<uint8_t> opaque, partial;  // R, G, B and R, G, B, A per pixel
    if (!indices) return nullptr;
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
    // Three kinds of pixel never share an entry, so opaque pixels stay
    // opaque and transparent ones transparent: one transparent entry, then
    // the opaque colours, then the colours with their partial alpha; the
    // two trees are pruned together, as one tree whose root never merges.
    Octree<3> opaqueTree;
    Octree<4> partialTree;
    AddRuns(opaqueTree, opaque.data(), 3, opaque.size() / 3);
    AddRuns(partialTree, partial.data(), 4, partial.size() / 4);
    const unsigned budget = unsigned(maxColors) - (anyTransparent ? 1 : 0);
    for (uint64_t threshold = 1; opaqueTree.Leaves() + partialTree.Leaves() > budget; ++threshold) {
        threshold = std::max(threshold, std::min(opaqueTree.Least(), partialTree.Least()));
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
    if (colorCount) *colorCount = entries;

    NearestEntry<3> nearestOpaque(palette, opaqueFirst, opaqueCount);
    NearestEntry<4> nearestPartial(palette, partialFirst, partialCount);
    NearestCache cache;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t a = alpha ? alpha[i] : 255;
        if (a == 0) {
            indices[i] = 0;
            continue;
        }
        const uint8_t* p = pixels + i * 3;
        const uint8_t colour[4] = {p[0], p[1], p[2], a};
        const uint64_t key = uint64_t(a) << 24 | uint64_t(p[0]) << 16 | uint64_t(p[1]) << 8 | p[2];
        int index = cache.Find(key);
        if (index < 0) {
            index = a == 255 ? nearestOpaque.Find(colour) : nearestPartial.Find(colour);
            cache.Store(key, index);
        }
        indices[i] = uint8_t(index);
    }
    return indices.release();
}
