#include "platform/resource_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/regular_file.h"

namespace platform {
namespace {

std::atomic<uint64_t> g_openCount{0};

// Resources are small (pictures, icons, players); anything larger is not ours.
constexpr off_t kMaxResourceBytes = off_t(256) << 20;

std::string IdFileName(ResType type, int id)
{
    return ResTypeFolderName(type) + "/" + std::to_string(id);
}

bool ReadAllFd(int fd, std::vector<uint8_t>& out)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || st.st_size > kMaxResourceBytes) return false;
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    out.swap(bytes);
    return true;
}

bool WriteAllFd(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

std::string ResTypeFolderName(ResType type)
{
    std::string name;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned char c = (unsigned char)((type >> shift) & 0xFF);
        if (c < '!' || c > '~' || c == '/' || c == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        } else {
            name += char(c);
        }
    }
    return name;
}

ResourceStore::~ResourceStore()
{
    Close();
}

bool ResourceStore::Open(const std::string& folder)
{
    Close();
    dirFd_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) return false;
    ++g_openCount;
    return true;
}

void ResourceStore::Close()
{
    if (dirFd_ >= 0) close(dirFd_);
    dirFd_ = -1;
}

bool ResourceStore::Read(ResType type, int id, std::vector<uint8_t>& out) const
{
    if (dirFd_ < 0 || id < -32768 || id > 32767) return false;
    const int fd = OpenRegularFileAt(dirFd_, IdFileName(type, id), nullptr, O_NOFOLLOW);
    if (fd < 0) return false;
    const bool ok = ReadAllFd(fd, out);
    close(fd);
    return ok;
}

uint64_t ResourceStore::OpenCount()
{
    return g_openCount.load();
}

bool WriteResource(const std::string& folder, ResType type, int id, const std::vector<uint8_t>& bytes,
                   std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    if (id < -32768 || id > 32767) {
        errno = EINVAL;
        return fail("resource id out of range");
    }
    const std::string typeFolder = folder + "/" + ResTypeFolderName(type);
    if (mkdir(typeFolder.c_str(), 0755) != 0 && errno != EEXIST) return fail("cannot create " + typeFolder);
    const std::string target = folder + "/" + IdFileName(type, id);
    PendingFile temp;
    if (!temp.CreateBeside(target)) return fail("cannot create a file in " + typeFolder);
    const int fd = temp.Descriptor();
    const bool written = fchmod(fd, 0644) == 0 && WriteAllFd(fd, bytes) && fsync(fd) == 0;
    if (!written || !temp.Commit(target)) return fail("cannot write " + target);
    return true;
}

}  // namespace platform
