#include "platform/shared_code.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

namespace platform {

namespace {

bool IsCodeFile(const std::filesystem::path& p, bool executable)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && (!executable || access(p.c_str(), X_OK) == 0);
}

}  // namespace

std::string BundleCodeFile(const std::string& path, bool executable)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (path.empty()) return "";
    fs::path p(path);
    if (IsCodeFile(p, executable)) return p.string();
    if (!fs::is_directory(p, ec)) return "";
    if (!p.has_filename()) p = p.parent_path();
    const fs::path macos = p / "Contents" / "MacOS";
    for (const fs::path& candidate : {macos / p.stem(), macos / (p.stem().string() + ".so")}) {
        if (IsCodeFile(candidate, executable)) return candidate.string();
    }
    std::string found;
    for (const auto& entry : fs::directory_iterator(macos, ec)) {
        if (!IsCodeFile(entry.path(), executable)) continue;
        if (!found.empty()) return "";  // more than one: no way to choose
        found = entry.path().string();
    }
    return found;
}

bool SharedCode::Open(const std::string& bundlePath)
{
    Close();
    const std::string file = BundleCodeFile(bundlePath, false);
    if (file.empty()) {
        error_ = "no code in bundle \"" + bundlePath + "\"";
        return false;
    }
    // A path with a slash is never searched for in the library path.
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(file, ec).string();
    dlerror();
    handle_ = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? why : "cannot load \"" + absolute + "\"";
        return false;
    }
    error_.clear();
    return true;
}

void SharedCode::Close()
{
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

void* SharedCode::Symbol(const char* name) const
{
    if (!handle_ || !name || !*name) return nullptr;
    return dlsym(handle_, name);
}

}  // namespace platform
