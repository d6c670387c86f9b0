#include "media/picture_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "foundation/path.h"
#include "media/image.h"
#include "platform/files.h"

namespace {

// What is held in memory before pictures go to the file: two or three
// slides' worth. Every picture of the plan waits for the export, so what
// is held here is fresh pages each (16 MB cost as many page faults as the
// file's writes, and 14 MB more at the peak of a 20-slide show).
constexpr uint64_t kMemoryBytes = uint64_t(2) << 20;

}  // namespace

CPictureStore::~CPictureStore()
{
    Clear();
}

bool CPictureStore::Keep(const void* key, const std::string& basis, const CImage& image,
                         const std::vector<uint8_t>& mask, const std::vector<std::string>& warnings)
{
    if (const auto kept = entries_.find(key); kept != entries_.end()) Forget(kept);
    if (!image.pixels || image.width == 0 || image.height == 0) return false;
    Entry entry;
    entry.basis = basis;
    entry.width = image.width;
    entry.height = image.height;
    entry.bitsPerPixel = image.bitsPerPixel;
    entry.pixelBytes = size_t(image.width) * image.height * (image.bitsPerPixel / 8);
    entry.maskBytes = mask.size();
    entry.warnings = warnings;
    return Put(key, std::move(entry), image.pixels, mask.data());
}

bool CPictureStore::KeepEncoded(const void* key, const std::string& basis, const std::vector<uint8_t>& bytes,
                                const std::vector<std::string>& warnings)
{
    if (const auto kept = entries_.find(key); kept != entries_.end()) Forget(kept);
    if (bytes.empty()) return false;
    Entry entry;
    entry.basis = basis;
    entry.encoded = true;
    entry.pixelBytes = bytes.size();
    entry.warnings = warnings;
    return Put(key, std::move(entry), bytes.data(), nullptr);
}

bool CPictureStore::Put(const void* key, Entry entry, const uint8_t* pixels, const uint8_t* mask)
{
    const uint64_t bytes = entry.pixelBytes + entry.maskBytes;
    if (held_ + bytes <= kMemoryBytes) {
        entry.bytes.reserve(size_t(bytes));
        entry.bytes.assign(pixels, pixels + entry.pixelBytes);
        if (entry.maskBytes) entry.bytes.insert(entry.bytes.end(), mask, mask + entry.maskBytes);
        held_ += bytes;
    } else {
        entry.at = fileEnd_;
        if (!Write(pixels, entry.pixelBytes, entry.at) ||
            !Write(mask, entry.maskBytes, entry.at + int64_t(entry.pixelBytes)))
            return false;
        fileEnd_ += int64_t(bytes);
    }
    entries_.emplace(key, std::move(entry));
    return true;
}

bool CPictureStore::TakeEncoded(const void* key, const std::string& basis, std::vector<uint8_t>& bytes,
                                std::vector<std::string>& warnings)
{
    const auto found = entries_.find(key);
    if (found == entries_.end() || !found->second.encoded) return false;
    Entry& e = found->second;
    bool taken = e.basis == basis;
    if (taken) {
        bytes.resize(e.pixelBytes);
        taken = Fetch(e, bytes.data(), e.pixelBytes, 0);
        warnings = std::move(e.warnings);
    }
    Forget(found);
    return taken;
}

bool CPictureStore::Take(const void* key, const std::string& basis, CImage& image, std::vector<uint8_t>& mask,
                         std::vector<std::string>& warnings)
{
    const auto found = entries_.find(key);
    if (found == entries_.end()) return false;
    Entry& e = found->second;
    if (e.basis != basis || e.encoded) {
        Forget(found);
        return false;
    }
    const bool fits = image.pixels && image.width == e.width && image.height == e.height &&
                      image.bitsPerPixel == e.bitsPerPixel;
    bool taken = fits || image.Create(e.width, e.height, e.bitsPerPixel, nullptr, false);
    if (taken) {
        mask.resize(e.maskBytes);
        taken = Fetch(e, image.pixels, e.pixelBytes, 0) && Fetch(e, mask.data(), e.maskBytes, e.pixelBytes);
        warnings = std::move(e.warnings);
    }
    Forget(found);
    return taken;
}

bool CPictureStore::Holds(const void* key) const
{
    return entries_.count(key) > 0;
}

void CPictureStore::Clear()
{
    entries_.clear();
    held_ = 0;
    file_.Discard();
    fileEnd_ = 0;
    writeError_ = 0;
}

void CPictureStore::Forget(std::unordered_map<const void*, Entry>::iterator at)
{
    const Entry& e = at->second;
    if (e.at < 0) {
        held_ -= e.pixelBytes + e.maskBytes;
    } else if (file_.IsOpen()) {
        // Its room in the file goes back to the system.
        ::fallocate(file_.Descriptor(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(e.at),
                    off_t(e.pixelBytes + e.maskBytes));
    }
    entries_.erase(at);
}

bool CPictureStore::Write(const uint8_t* data, size_t size, int64_t at)
{
    if (size == 0) return true;
    // One failure is enough: the export stops on it.
    if (writeError_) return false;
    // A scratch file of the work folder, without a name where it can be:
    // nothing is left behind, whatever ends the run.
    if (!file_.IsOpen() && !MakeWorkScratchFile(file_, "pictures", ".dat")) {
        writeError_ = errno ? errno : EIO;
        return false;
    }
    for (size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(file_.Descriptor(), data + done, size - done, off_t(at + int64_t(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writeError_ = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool CPictureStore::Fetch(const Entry& e, uint8_t* data, size_t size, size_t from) const
{
    if (e.at < 0) {
        std::copy_n(e.bytes.data() + from, size, data);
        return true;
    }
    return size == 0 || platform::ReadAt(file_.Descriptor(), uint64_t(e.at) + from, data, size);
}
