#include "platform/file_look.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/read_at.h"
#include "platform/regular_file.h"

namespace platform {

FileLook::FileLook(const std::string& path) : path_(path)
{
    fd_ = OpenRegularFile(path, &why_);
    if (fd_ < 0) return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        why_ = std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = int64_t(st.st_size);
    headSize_ = size_t(std::max<int64_t>(ReadUpTo(fd_, 0, head_, kHeadBytes), 0));
}

FileLook::~FileLook()
{
    if (fd_ >= 0) ::close(fd_);
}

int FileLook::Descriptor() const
{
    if (fd_ < 0) return -1;
    const int fd = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0 && ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::FILE* FileLook::Stream() const
{
    const int fd = Descriptor();
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return file;
}

}  // namespace platform
