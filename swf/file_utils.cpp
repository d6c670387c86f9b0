#include "swf/file_utils.h"

#include "foundation/file_services.h"
#include "platform/gestalt.h"

#include <zlib.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

namespace fs = std::filesystem;

int g_lastError = swf_file_error::kNone;
int g_lastSystemError = 0;

// Small fixed buffers: memory use stays flat whatever the movie's size.
constexpr size_t kChunk = 16 * 1024;
constexpr size_t kHeaderSize = 8;  // signature, version, 32-bit file length

struct FileCloser {
    void operator()(FILE* f) const
    {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

FilePtr OpenForReading(const CPath& path) { return FilePtr(path.Fopen("rb")); }

// Reads the first bytes of a file; false when it cannot be opened.
bool ReadSignature(const CPath& path, char (&signature)[3], bool& complete)
{
    FilePtr f = OpenForReading(path);
    if (!f) return false;
    complete = std::fread(signature, 1, 3, f.get()) == 3;
    return true;
}

// The same file under any name (links included).
bool SameFile(const CPath& a, const CPath& b)
{
    std::error_code ec;
    return fs::equivalent(a.GetFullPath(), b.GetFullPath(), ec) && !ec;
}

// The destination of a rewrite: a typed file that takes its name only once
// complete (CTypedOutputFile), so a failure leaves no partial file and an
// existing destination (replaced only when asked) stays intact.
class Destination {
public:
    explicit Destination(const CPath& path) : path_(path) {}

    bool Create(bool replace)
    {
        CFileInfo info;
        info.type = FourCC("SWFL");
        info.creator = FourCC("SWF2");
        if (file_.Open(path_, &info, replace)) return true;
        systemError_ = errno;
        return false;
    }

    bool Write(const void* data, size_t size)
    {
        if (size == 0) return true;
        if (file_.GetStream() && std::fwrite(data, 1, size, file_.GetStream()) == size) return true;
        systemError_ = errno;
        return false;
    }

    // Keeps the file only when every byte reached the disk.
    bool Commit()
    {
        if (systemError_ == 0 && file_.Commit()) return true;
        if (systemError_ == 0) systemError_ = errno;
        file_.Discard();
        return false;
    }

    // What the system said when a write failed; 0 when none did.
    int SystemError() const { return systemError_; }

private:
    CPath path_;
    CTypedOutputFile file_;
    int systemError_ = 0;
};

enum class SourceState { kOk, kCannotOpen, kWrongSignature, kShortHeader };

// Opens a source and reads its header, which must begin with `signature`.
FilePtr OpenSource(const CPath& path, const char* signature, std::array<unsigned char, kHeaderSize>& header,
                   SourceState& state)
{
    FilePtr f = OpenForReading(path);
    if (!f) {
        state = SourceState::kCannotOpen;
        return nullptr;
    }
    const size_t got = std::fread(header.data(), 1, header.size(), f.get());
    if (got < 3 || std::memcmp(header.data(), signature, 3) != 0) {
        state = SourceState::kWrongSignature;
        return nullptr;
    }
    if (got != header.size()) {
        state = SourceState::kShortHeader;
        return nullptr;
    }
    state = SourceState::kOk;
    return f;
}

enum class Pass { kCompress, kDecompress };

// Streams the source body through zlib into the destination; true only when
// the zlib stream ended properly and every byte was written.
// Expansion stops after outputLimit bytes: the header's length bounds what a
// reader will look at, so a small stream cannot fill the disk. When the limit
// is a cap below that length, output past it fails the pass instead.
bool RunZlib(Pass pass, FILE* in, Destination& out, bool& writeFailed, uint64_t outputLimit, bool limitIsCap,
            bool& overCap)
{
    writeFailed = false;
    overCap = false;
    z_stream z{};
    const int initResult = pass == Pass::kCompress ? deflateInit(&z, 9) : inflateInit(&z);
    if (initResult != Z_OK) return false;

    std::unique_ptr<unsigned char[]> input(new unsigned char[kChunk]);
    std::unique_ptr<unsigned char[]> output(new unsigned char[kChunk]);
    int result = Z_OK;
    bool ok = true;
    while (ok && result != Z_STREAM_END) {
        const size_t got = std::fread(input.get(), 1, kChunk, in);
        if (std::ferror(in)) {
            ok = false;
            break;
        }
        const bool atEnd = got < kChunk && std::feof(in);
        z.next_in = input.get();
        z.avail_in = static_cast<uInt>(got);
        if (pass == Pass::kDecompress && got == 0) {
            // The data ended before the zlib stream did.
            ok = false;
            break;
        }
        // Drain everything this input produces.
        do {
            z.next_out = output.get();
            z.avail_out = static_cast<uInt>(kChunk);
            result = pass == Pass::kCompress ? deflate(&z, atEnd ? Z_FINISH : Z_NO_FLUSH) : inflate(&z, Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR || result == Z_DATA_ERROR || result == Z_MEM_ERROR || result == Z_NEED_DICT) {
                ok = false;
                break;
            }
            size_t produced = kChunk - z.avail_out;
            if (produced > outputLimit) {
                if (limitIsCap) {
                    overCap = true;
                    ok = false;
                    break;
                }
                produced = static_cast<size_t>(outputLimit);
                result = Z_STREAM_END;  // everything the header announced is here
            }
            outputLimit -= produced;
            if (!out.Write(output.get(), produced)) {
                writeFailed = true;
                ok = false;
                break;
            }
        } while (z.avail_out == 0 && result != Z_STREAM_END);
        if (pass == Pass::kCompress && atEnd && result != Z_STREAM_END) ok = false;
    }
    const int endResult = pass == Pass::kCompress ? deflateEnd(&z) : inflateEnd(&z);
    // Compression's end reports an error when the stream did not finish.
    return ok && result == Z_STREAM_END && (pass == Pass::kDecompress || endResult == Z_OK);
}

// ontoItself: the destination may be the source, which its replacement
// reads until it takes the name.
bool Rewrite(Pass pass, const CPath& source, const CPath& destination, bool replace, uint64_t maxExpandedSize,
             bool ontoItself = false)
{
    g_lastSystemError = 0;
    const char* expected = pass == Pass::kCompress ? "FWS" : "CWS";
    const char* written = pass == Pass::kCompress ? "CWS" : "FWS";
    std::array<unsigned char, kHeaderSize> header{};
    SourceState state = SourceState::kOk;
    // The source is checked before anything is created.
    FilePtr in = OpenSource(source, expected, header, state);
    if (state == SourceState::kCannotOpen) g_lastError = swf_file_error::kCannotOpen;
    if (state == SourceState::kShortHeader)
        g_lastError = pass == Pass::kCompress ? swf_file_error::kNotSwf : swf_file_error::kNotCompressed;
    if (!in) return false;
    // Rewriting a file onto itself would truncate the only copy.
    if (SameFile(source, destination) && (!ontoItself || platform::IsPendingFile(destination.GetFullPath()))) {
        g_lastError = swf_file_error::kCannotWrite;
        return false;
    }
    Destination out(destination);
    if (!out.Create(replace)) {
        g_lastError = swf_file_error::kCannotWrite;
        g_lastSystemError = out.SystemError();
        return false;
    }
    // Version and file length (of the plain movie) are copied unchanged.
    std::memcpy(header.data(), written, 3);
    bool writeFailed = !out.Write(header.data(), header.size());
    uint64_t limit = UINT64_MAX;
    bool limitIsCap = false;
    if (pass == Pass::kDecompress) {
        const uint64_t fileLength = static_cast<uint64_t>(header[4]) | static_cast<uint64_t>(header[5]) << 8 |
                                    static_cast<uint64_t>(header[6]) << 16 | static_cast<uint64_t>(header[7]) << 24;
        limit = fileLength > kHeaderSize ? fileLength - kHeaderSize : 0;
        const uint64_t cap = maxExpandedSize > kHeaderSize ? maxExpandedSize - kHeaderSize : 0;
        if (cap < limit) {
            limit = cap;
            limitIsCap = true;
        }
    }
    bool overCap = false;
    const bool passed = !writeFailed && RunZlib(pass, in.get(), out, writeFailed, limit, limitIsCap, overCap);
    if (overCap) g_lastError = swf_file_error::kTooLarge;
    if (passed && out.Commit()) return true;
    // A pass that failed on bad data keeps the code it had; a failed write sets 7.
    if (writeFailed || passed) {
        g_lastError = swf_file_error::kCannotWrite;
        g_lastSystemError = out.SystemError();
    }
    return false;
}

bool IsPlainSwf(const CPath& path)
{
    char sig[3];
    bool complete = false;
    return ReadSignature(path, sig, complete) && complete && std::memcmp(sig, "FWS", 3) == 0;
}

// Moves a file back under the name it had, within its folder.
bool RenameOver(const CPath& from, const CPath& to)
{
    CPath moving(from);
    return moving.Rename(to.GetFileName());
}

}  // namespace

int GetSwfFileLastError() { return g_lastError; }
int GetSwfFileLastSystemError() { return g_lastSystemError; }
void SetSwfFileLastError(int code) { g_lastError = code; }

bool IsSwfFile(const CPath& path)
{
    char sig[3];
    bool complete = false;
    if (!ReadSignature(path, sig, complete) || !complete) return false;
    return (sig[0] == 'F' || sig[0] == 'C') && sig[1] == 'W' && sig[2] == 'S';
}

bool IsSwfFileCompressed(const CPath& path)
{
    char sig[3];
    bool complete = false;
    if (!ReadSignature(path, sig, complete)) {
        g_lastError = swf_file_error::kCannotOpen;
        return false;
    }
    return complete && std::memcmp(sig, "CWS", 3) == 0;
}

bool CompressSwfFile(const CPath& source, const CPath& destination, bool replace)
{
    if (!IsSwfFile(source)) {
        g_lastError = swf_file_error::kNotSwf;
        return false;
    }
    // An already compressed source ends here, with no error code.
    return Rewrite(Pass::kCompress, source, destination, replace, UINT64_MAX);
}

bool DecompressSwfFile(const CPath& source, const CPath& destination, bool replace, uint64_t maxExpandedSize)
{
    if (!IsSwfFileCompressed(source)) {
        g_lastError = swf_file_error::kNotCompressed;
        return false;
    }
    return Rewrite(Pass::kDecompress, source, destination, replace, maxExpandedSize);
}

bool DecompressSwfFileInPlace(const CPath& path, bool keepBackup)
{
    if (IsPlainSwf(path)) return true;
    if (keepBackup) {
        CPath backup;
        if (!path.MakeBackup(&backup, true)) return false;
        if (DecompressSwfFile(backup, path, false)) return true;
        // Put the original back; the failed pass left nothing at path.
        RenameOver(backup, path);
        return false;
    }
    if (!IsSwfFileCompressed(path)) {
        g_lastError = swf_file_error::kNotCompressed;
        return false;
    }
    // The plain movie replaces the compressed one once it is whole.
    return Rewrite(Pass::kDecompress, path, path, true, UINT64_MAX, true);
}
