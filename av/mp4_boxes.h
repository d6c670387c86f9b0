#pragma once
// What a QuickTime or MPEG-4 file's own boxes say of its tracks where
// FFmpeg keeps it to itself (data references) or hands out its own figure
// (a track's duration, which it cuts to the edit list). Part of the movie
// module (av/movie_backend.h).
#include <cstdint>
#include <string>
#include <vector>

namespace platform::ffmpeg_layer {

// One entry of a track's edit list: so long (in the movie's time scale) of
// the media from mediaTime on (in the media's), or of nothing where
// mediaTime is -1.
struct TrackEdit {
    uint64_t duration = 0;
    int64_t mediaTime = -1;
};

struct TrackBoxes {
    uint32_t id = 0;         // the track header's id: FFmpeg's stream id
    uint32_t timeScale = 0;  // the media header's
    uint64_t duration = 0;   // the media's own, in timeScale units; 0 unknown
    uint64_t samples = 0;    // the sample table's count
    std::string outside;     // where a data reference sends the media elsewhere
    uint32_t movieTimeScale = 0;  // the movie header's, which edit durations count in
    std::vector<TrackEdit> edits;  // empty: no edit list, the media plays whole
};

inline uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Walks the movie box by its headers, reading only the few boxes it looks
// into; every count and depth is bounded, and nothing moves the file's
// position (FFmpeg reads on from where it was).
class BoxWalker {
public:
    BoxWalker(int fd, int64_t size) : fd_(fd), size_(size) {}

    std::vector<TrackBoxes> Tracks();

    // Whether the file's top level holds a whole movie box: its index.
    bool HasIndex();

    // The still-picture kind the file type box names, as users know it:
    // "HEIC" for HEVC pictures (a phone's photos), "HEIF" for others; ""
    // for a movie, and for AVIF, which FFmpeg reads as one.
    std::string HeifKind();

private:
    static constexpr int kMaxBoxes = 100000, kMaxDepth = 8, kMaxEntries = 64, kMaxLocation = 200;
    static constexpr uint32_t kMaxEdits = 4096;

    bool Read(int64_t at, uint8_t* out, size_t n) const;

    // visit(type, payload start, end) for each box from `at` to `end`.
    template <class Visit>
    void Children(int64_t at, int64_t end, int depth, Visit visit);

    void Within(int64_t at, int64_t end, int depth);

    void Leaf(uint32_t type, int64_t at, int64_t end, TrackBoxes& track);

    // The entries of a data reference: one without the flag "in this file"
    // (1) that names somewhere sends the media there.
    void References(int64_t at, int64_t end, uint32_t count, TrackBoxes& track);

    // A track's edit list, its entries from `at` to `end`.
    void Edits(int64_t at, int64_t end, TrackBoxes& track);

    int fd_;
    int64_t size_;
    int boxes_ = 0;
    uint32_t movieTimeScale_ = 0;
    std::vector<TrackBoxes> tracks_;
};

}  // namespace platform::ffmpeg_layer
