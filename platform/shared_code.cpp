#include "platform/shared_code.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/cfstring.h"
#include "platform/regular_file.h"
#include "platform/shared_object_check.h"

namespace platform {

namespace {

bool IsCodeFile(const std::filesystem::path& p, bool executable)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && (!executable || access(p.c_str(), X_OK) == 0);
}

// The loader's message, which quotes names from the file: what is not
// printable text is written as \xNN.
std::string Printable(const char* text)
{
    std::string out;
    for (size_t i = 0, n = std::strlen(text); i < n;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        if (c >= 0x20 && c != 0x7F && (length == 1 || (i + length <= n && IsUtf8(text + i, length)))) {
            out.append(text + i, length);
            i += length;
            continue;
        }
        static const char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
        ++i;
    }
    return out;
}

// Why a bundle holds no code to load: what stands where its code file
// should be (a FIFO, a device, a folder), or that nothing does.
std::string NoCodeReason(const std::string& bundlePath)
{
    namespace fs = std::filesystem;
    fs::path p(bundlePath);
    std::error_code ec;
    std::vector<fs::path> places{p};
    if (fs::is_directory(p, ec)) {
        if (!p.has_filename()) p = p.parent_path();
        const fs::path macos = p / "Contents" / "MacOS";
        places = {macos / p.stem(), macos / (p.stem().string() + ".so")};
    }
    for (const fs::path& place : places) {
        struct stat st;
        if (::stat(place.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return place.string() + ": " + NotRegularFileReason(st.st_mode);
    }
    return "no code in bundle \"" + bundlePath + "\"";
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

namespace {

// The loader's commonest complaint, a library the code needs that is not
// on the system, in our words; others as the loader puts them.
std::string LoaderTrouble(const std::string& said)
{
    const std::string missing = ": cannot open shared object file: No such file or directory";
    const size_t at = said.find(missing);
    if (at == std::string::npos || at + missing.size() != said.size()) return said;
    return "it needs \"" + said.substr(0, at) + "\", which is not installed";
}

}  // namespace

bool SharedCode::Open(const std::string& bundlePath)
{
    Close();
    const std::string file = BundleCodeFile(bundlePath, false);
    if (file.empty()) {
        error_ = NoCodeReason(bundlePath);
        return false;
    }
    // A path with a slash is never searched for in the library path.
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(file, ec).string();
    std::vector<std::string> needs;
    const std::string problem = SharedObjectProblem(absolute, &needs);
    if (!problem.empty()) {
        error_ = absolute + ": " + problem;
        return false;
    }
    // The libraries it needs are bound as their functions are first called,
    // as a program's are (loaded with it under RTLD_NOW, every symbol of
    // FFmpeg's libraries was looked up at once); the code itself is still
    // bound whole, so a function it calls that no library has is said here.
    // They stay loaded whatever comes of the code's own load, as they would
    // once it loaded: what their constructors made is never pulled away.
    for (const std::string& name : needs)
        if (void* library = dlopen(name.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE)) needed_.push_back(library);
    dlerror();
    handle_ = dlopen(absolute.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? LoaderTrouble(Printable(why)) : "cannot load \"" + absolute + "\"";
        Close();
        return false;
    }
    error_.clear();
    return true;
}

void SharedCode::Close()
{
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    for (void* library : needed_) dlclose(library);
    needed_.clear();
}

void* SharedCode::Symbol(const char* name) const
{
    if (!handle_ || !name || !*name) return nullptr;
    return dlsym(handle_, name);
}

}  // namespace platform
