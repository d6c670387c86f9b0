// Preloaded into the program (LD_PRELOAD), it holds for two seconds each
// rename whose new name ends in $TAVREL_SLOW_RENAME_TO, once it has made
// the file $TAVREL_SLOW_RENAME_MARK: a test sends its signals while a result
// takes its name, and knows when.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

extern "C" int rename(const char* from, const char* to)
{
    using Rename = int (*)(const char*, const char*);
    static const auto next = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
    const char* ending = std::getenv("TAVREL_SLOW_RENAME_TO");
    const char* mark = std::getenv("TAVREL_SLOW_RENAME_MARK");
    const size_t length = to ? std::strlen(to) : 0, tail = ending ? std::strlen(ending) : 0;
    if (mark && tail && length >= tail && std::strcmp(to + length - tail, ending) == 0) {
        const int fd = ::open(mark, O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) ::close(fd);
        struct timespec left = {2, 0};
        while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
    return next(from, to);
}
