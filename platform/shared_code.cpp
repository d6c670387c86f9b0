#include "platform/shared_code.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/files.h"

namespace platform {

namespace {

bool IsCodeFile(const std::filesystem::path& p, bool executable)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && (!executable || access(p.c_str(), X_OK) == 0);
}

// Why the shared object in file would bring the loader down: "" when its
// headers hold together, and also when it is no ELF object of this
// system's kind, which dlopen refuses itself before mapping anything. A cut
// file is mapped all the same, and touching its missing pages raises SIGBUS.
std::string SharedObjectProblem(const std::string& file)
{
    using Ehdr = ElfW(Ehdr);
    using Phdr = ElfW(Phdr);
    using Shdr = ElfW(Shdr);
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "";
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat st {};
    Ehdr header {};
    if (fstat(fd, &st) != 0 || uint64_t(st.st_size) < sizeof header || !ReadAt(fd, 0, &header, sizeof header))
        return "";
    const uint64_t size = uint64_t(st.st_size);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    constexpr unsigned char kOurData = ELFDATA2LSB;
#else
    constexpr unsigned char kOurData = ELFDATA2MSB;
#endif
    constexpr unsigned char kOurClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != kOurClass ||
        header.e_ident[EI_DATA] != kOurData)
        return "";

    // The furthest byte the headers place anything at; pages mapped past
    // the end of the file fault when touched.
    uint64_t reach = 0;
    auto place = [&](uint64_t offset, uint64_t length) {
        reach = std::max(reach, offset > UINT64_MAX - length ? UINT64_MAX : offset + length);
    };
    auto cutShort = [&] {
        return "the file is cut short: it holds " + std::to_string(size) + " bytes of the " + std::to_string(reach) +
               " its headers describe";
    };
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0)
        return "the file is damaged: its program header table (" + std::to_string(header.e_phnum) + " entries of " +
               std::to_string(header.e_phentsize) + " bytes) is not one this system loads";
    place(header.e_phoff, uint64_t(header.e_phnum) * sizeof(Phdr));
    if (header.e_shoff != 0) {
        if (header.e_shentsize != sizeof(Shdr))
            return "the file is damaged: its section headers are of " + std::to_string(header.e_shentsize) + " bytes";
        // A count of 0 with a table present means the count is in the first entry.
        place(header.e_shoff, std::max<uint64_t>(header.e_shnum, 1) * sizeof(Shdr));
    }
    if (reach > size) return cutShort();
    std::vector<Phdr> segments(header.e_phnum);
    if (!ReadAt(fd, header.e_phoff, segments.data(), segments.size() * sizeof(Phdr)))
        return "the file is damaged: its program headers cannot be read";
    const Phdr* dynamic = nullptr;
    bool loads = false;
    for (const Phdr& s : segments) {
        if (s.p_type == PT_LOAD) {
            loads = true;
            if (s.p_filesz > s.p_memsz) return "the file is damaged: a segment holds more of the file than it maps";
        }
        if (s.p_type == PT_DYNAMIC) dynamic = &s;
        if (s.p_filesz > 0) place(s.p_offset, s.p_filesz);
    }
    if (reach > size) return cutShort();
    if (!loads) return "the file is damaged: it has no loadable segment";
    // The loader reads the dynamic section where it lies in memory.
    if (dynamic) {
        const bool mapped = std::any_of(segments.begin(), segments.end(), [&](const Phdr& s) {
            return s.p_type == PT_LOAD && dynamic->p_vaddr >= s.p_vaddr && dynamic->p_memsz <= s.p_filesz &&
                   dynamic->p_vaddr - s.p_vaddr <= s.p_filesz - dynamic->p_memsz;
        });
        if (!mapped) return "the file is damaged: its dynamic section lies outside what it loads";
    }
    return "";
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
    const std::string problem = SharedObjectProblem(absolute);
    if (!problem.empty()) {
        error_ = absolute + ": " + problem;
        return false;
    }
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
