// Writes the seeds of shared_object_fuzz from real modules (the build's
// bundles): each whole, cut at a quarter, a half, three quarters and one byte
// short, with each dynamic entry in turn pointing far outside the file, with
// its first relocation's target moved, and with 4 KB of noise at 0x1000.
#include <elf.h>
#include <link.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_files.h"

namespace {

bool Save(const std::string& path, const std::string& bytes)
{
    if (fuzz_files::WriteBytes(path, bytes.data(), bytes.size())) return true;
    std::fprintf(stderr, "shared_object_fuzz_seeds: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool Seeds(const std::string& folder, const std::string& module)
{
    std::string bytes;
    ElfW(Ehdr) header;
    if (!fuzz_files::ReadBytes(module, bytes) || bytes.size() < sizeof header) {
        std::fprintf(stderr, "shared_object_fuzz_seeds: cannot read %s\n", module.c_str());
        return false;
    }
    std::memcpy(&header, bytes.data(), sizeof header);
    const std::string name = folder + "/" + module.substr(module.rfind('/') + 1);
    bool ok = Save(name, bytes);
    for (const size_t quarters : {1, 2, 3})
        ok = Save(name + "-cut" + std::to_string(quarters), bytes.substr(0, bytes.size() * quarters / 4)) && ok;
    ok = Save(name + "-short", bytes.substr(0, bytes.size() - 1)) && ok;
    std::string noisy = bytes;
    uint32_t state = 1;
    for (size_t i = 0x1000; i < std::min<size_t>(noisy.size(), 0x2000); ++i) {
        state = state * 1103515245u + 12345u;
        noisy[i] = char(state >> 16);
    }
    ok = Save(name + "-noise", noisy) && ok;
    for (size_t i = 0; i < header.e_phnum && header.e_phoff + (i + 1) * sizeof(ElfW(Phdr)) <= bytes.size(); ++i) {
        ElfW(Phdr) segment;
        std::memcpy(&segment, bytes.data() + header.e_phoff + i * sizeof segment, sizeof segment);
        if (segment.p_type != PT_DYNAMIC) continue;
        for (size_t at = segment.p_offset, n = 0;
             at + sizeof(ElfW(Dyn)) <= std::min<size_t>(bytes.size(), segment.p_offset + segment.p_filesz);
             at += sizeof(ElfW(Dyn)), ++n) {
            ElfW(Dyn) entry;
            std::memcpy(&entry, bytes.data() + at, sizeof entry);
            if (entry.d_tag == DT_NULL) break;
            std::string far = bytes;
            const uint64_t value = 0x7fff0000000;
            std::memcpy(far.data() + at + offsetof(ElfW(Dyn), d_un), &value, sizeof value);
            ok = Save(name + "-entry" + std::to_string(n), far) && ok;
            // The first relocation's target: the first segment maps the file from 0.
            if (entry.d_tag == DT_RELA && entry.d_un.d_ptr + 2 < bytes.size()) {
                std::string moved = bytes;
                moved[entry.d_un.d_ptr + 2] = char(moved[entry.d_un.d_ptr + 2] ^ 0xFF);
                ok = Save(name + "-relocation", moved) && ok;
            }
        }
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: shared_object_fuzz_seeds FOLDER MODULE...\n"
                     "  writes the seeds of shared_object_fuzz made from the modules\n");
        return 2;
    }
    std::string folder;
    if (!fuzz_files::SeedFolder("shared_object_fuzz_seeds", argv[1], &folder)) return 1;
    bool ok = true;
    for (int i = 2; i < argc; ++i) ok = Seeds(folder, argv[i]) && ok;
    return ok ? 0 : 1;
}
