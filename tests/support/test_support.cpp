#include "test_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavrel_test {

namespace {

// The programs find the build's bundle (skins, the MP3 encoder) when run by
// hand as under ctest, which names it in the environment.
[[maybe_unused]] const bool kBundleNamed = [] {
    return setenv("TAVREL_BUNDLE", TAVREL_BUNDLE_DIR, 0) == 0;
}();

}  // namespace

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavrel-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string SharedDir()
{
    const char* env = std::getenv("TAVREL_SHARED_DIR");
    std::string dir = env && *env ? env : TAVREL_SHARED_DIR;
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir : std::string();
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsThere(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

int RunAsPlainUser(const std::string& folder, const std::function<int()>& body, std::string* why)
{
    const bool root = ::geteuid() == 0;
    if (root) {
        const std::string parent = std::filesystem::path(folder).parent_path().string();
        struct stat st {};
        if (::chown(folder.c_str(), kPlainUser, kPlainUser) != 0 || ::stat(parent.c_str(), &st) != 0 ||
            ::chmod(parent.c_str(), (st.st_mode & 07777) | 0011) != 0) {
            *why = "cannot give " + folder + " to user " + std::to_string(kPlainUser);
            return -1;
        }
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        *why = "cannot fork";
        return -1;
    }
    if (child == 0) {
        if (root && (::setgroups(0, nullptr) != 0 || ::setgid(kPlainUser) != 0 || ::setuid(kPlainUser) != 0)) _exit(255);
        if (::chdir(folder.c_str()) != 0) _exit(255);
        _exit(body());
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 255) {
        *why = "the child could not run as user " + std::to_string(kPlainUser) + " in " + folder;
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace tavrel_test
