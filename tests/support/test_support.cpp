#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>

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

}  // namespace tavrel_test
