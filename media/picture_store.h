#pragma once
// Pictures made in one step of a run for a later step to use (a movie
// slide's first frame, drawn by the export's plan that judges it, for the
// export to write), each with its alpha mask and the warnings its making
// gave. Kept in memory up to a few megabytes, past them in a scratch file
// of the work folder (platform::PendingFile) that is gone once closed, so
// that a show of many movie slides holds about one slide's pixels however
// many slides it has.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/files.h"

class CImage;

class CPictureStore {
public:
    CPictureStore() = default;
    ~CPictureStore();
    CPictureStore(const CPictureStore&) = delete;
    CPictureStore& operator=(const CPictureStore&) = delete;

    // Keeps a copy of image, mask and warnings under key, with what they
    // were made from (basis), in place of what was kept there; false, with
    // nothing kept, when they cannot be.
    bool Keep(const void* key, const std::string& basis, const CImage& image, const std::vector<uint8_t>& mask,
              const std::vector<std::string>& warnings);
    // Hands what is kept under key, made from the same basis, to image (in
    // its own block when that is of the size), mask and warnings, and
    // forgets what was kept there; false when nothing of that basis is
    // kept there or it cannot be read back.
    bool Take(const void* key, const std::string& basis, CImage& image, std::vector<uint8_t>& mask,
              std::vector<std::string>& warnings);
    // The same for a picture already encoded (a slide's JPEG stream): its
    // bytes, kept and handed back whole. TakeEncoded leaves a picture kept
    // as pixels where it is, for Take.
    bool KeepEncoded(const void* key, const std::string& basis, const std::vector<uint8_t>& bytes,
                     const std::vector<std::string>& warnings);
    bool TakeEncoded(const void* key, const std::string& basis, std::vector<uint8_t>& bytes,
                     std::vector<std::string>& warnings);
    bool Holds(const void* key) const;
    // Why a picture could not be written to the file (an errno value): the
    // machine's failure, not the picture's. 0 when none; Clear forgets it.
    int GetWriteError() const { return writeError_; }
    // Forgets everything and closes the file.
    void Clear();

private:
    struct Entry {
        std::string basis;
        uint32_t width = 0, height = 0;
        uint16_t bitsPerPixel = 0;
        size_t pixelBytes = 0, maskBytes = 0;  // an encoded picture's bytes count as pixels
        bool encoded = false;
        std::vector<uint8_t> bytes;  // pixels, then mask, when held in memory
        int64_t at = -1;             // where they lie in the file otherwise
        std::vector<std::string> warnings;
    };
    // Holds entry's pixels and mask in memory or the file, and keeps it.
    bool Put(const void* key, Entry entry, const uint8_t* pixels, const uint8_t* mask);
    bool Write(const uint8_t* data, size_t size, int64_t at);
    // size bytes of e's, from byte from of its pixels then mask.
    bool Fetch(const Entry& e, uint8_t* data, size_t size, size_t from) const;
    void Forget(std::unordered_map<const void*, Entry>::iterator at);

    std::unordered_map<const void*, Entry> entries_;
    uint64_t held_ = 0;  // bytes in memory
    platform::PendingFile file_;
    int64_t fileEnd_ = 0;
    int writeError_ = 0;
};
