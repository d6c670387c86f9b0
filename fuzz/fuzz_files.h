#pragma once
// Scratch files of the fuzz targets that go through files.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzz_files {

inline bool WriteBytes(const std::string& path, const void* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// The whole file; false when it cannot be read or is empty.
inline bool ReadBytes(const std::string& path, std::string& out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[4096];
    size_t n;
    out.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
    return !out.empty();
}

// The folders MakeFolder made, removed with what they hold when the process
// exits. A crash or an interrupt ends a fuzzer with _Exit, which skips this:
// the next MakeFolder of the name removes the folders of processes gone.
inline std::vector<std::string>& MadeFolders()
{
    static std::vector<std::string>* folders = [] {
        std::atexit([] {
            std::error_code ec;
            for (const std::string& folder : MadeFolders()) std::filesystem::remove_all(folder, ec);
        });
        return new std::vector<std::string>;
    }();
    return *folders;
}

// Removes base/name-PID-* folders whose process is gone.
inline void RemoveFoldersOfEndedProcesses(const std::string& base, const std::string& name)
{
    std::error_code ec;
    const std::string prefix = name + "-";
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
        const std::string folder = entry.path().filename().string();
        if (folder.compare(0, prefix.size(), prefix) != 0) continue;
        char* end = nullptr;
        const long pid = std::strtol(folder.c_str() + prefix.size(), &end, 10);
        if (pid <= 0 || *end != '-' || kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;
        std::filesystem::remove_all(entry.path(), ec);
    }
}

// A new folder of our own, base/name-PID-XXXXXX on a memory file system
// where there is one, removed when the process exits; aborts when none can
// be made.
inline std::string MakeFolder(const std::string& name)
{
    for (std::string base : {"/dev/shm/", "/tmp/"}) {
        RemoveFoldersOfEndedProcesses(base, name);
        std::string pattern = base + name + "-" + std::to_string(getpid()) + "-XXXXXX";
        if (!mkdtemp(pattern.data())) continue;
        MadeFolders().push_back(pattern);
        return pattern;
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
