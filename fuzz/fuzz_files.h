#pragma once
// Scratch files of the fuzz targets that go through files.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz_files {

inline bool WriteBytes(const std::string& path, const void* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// A new folder of our own, on a memory file system where there is one;
// aborts when none can be made.
inline std::string MakeFolder(const std::string& name)
{
    for (std::string base : {"/dev/shm/", "/tmp/"}) {
        std::string pattern = base + name + "-XXXXXX";
        if (mkdtemp(pattern.data())) return pattern;
    }
    std::abort();
}

// Makes the folder again when something removed it under the running
// target (a cleaner of temporary files), so that the inputs that follow are
// still tried rather than failing at their first write.
inline void KeepFolder(const std::string& folder)
{
    mkdir(folder.c_str(), 0700);
}

// The folder a seeds program was given, absolute (the movie library takes
// a relative path from the application's folder, not the working one) and
// made when missing; false, said on standard error, when it cannot be.
inline bool SeedFolder(const char* program, const char* named, std::string* out)
{
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::absolute(named, ec).lexically_normal();
    if (!folder.has_filename()) folder = folder.parent_path();
    if (!ec) std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot make the folder %s: %s\n", program, named, ec.message().c_str());
        return false;
    }
    *out = folder.string();
    return true;
}

}  // namespace fuzz_files
