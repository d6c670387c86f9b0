#include "foundation/code_bundle.h"

#include <filesystem>

bool CBundle::Load(const char* path) { return path && *path && code_.Open(path); }

void* CBundle::GetFunction(const char* name) const { return code_.Symbol(name); }

bool CBundle::Unload() {
    code_.Close();
    return true;
}

bool CLockBundle::Load(const char* path) {
    if (!bundle_.Load(path)) return false;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (!p.has_filename()) p = p.parent_path();
    folder_ = p.parent_path().string();
    return true;
}

bool CLockBundle::Process(const char* importSource, CSwfMovie* movie, uint16_t* nextId, uint16_t* nextDepth,
                          int* framesBeforeFirstSlide) {
    const auto entry = reinterpret_cast<LockProcessProc>(bundle_.GetFunction(kLockProcessEntry));
    if (!entry) return true;
    return entry(importSource, folder_.c_str(), movie, nextId, nextDepth, framesBeforeFirstSlide) != 0;
}
