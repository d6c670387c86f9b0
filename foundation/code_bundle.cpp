#include "foundation/code_bundle.h"

#include "foundation/sibling_bundle.h"

bool CBundle::Load(const CPath& path)
{
    if (path.IsEmpty()) {
        code_.Close();
        return false;
    }
    return code_.Open(path.GetFullPath());
}

void* CBundle::GetFunction(const char* name) const
{
    return code_.Symbol(name);
}

bool CBundle::Unload()
{
    code_.Close();
    return true;
}

bool CLockBundle::Locate(CPath& out)
{
    return SiblingBundle::FindLock(out);
}

bool CLockBundle::Load(const CPath& path)
{
    if (!bundle_.Load(path)) return false;
    folder_ = CPath(path.GetFullPath()).GetParent(false);
    return true;
}

bool CLockBundle::Process(const char* importSource, CSwfMovie* movie, uint16_t* nextId, uint16_t* nextDepth,
                          int* framesBeforeFirstSlide)
{
    const auto entry = reinterpret_cast<LockProcessProc>(bundle_.GetFunction(kLockProcessEntry));
    if (!entry) return true;
    return entry(importSource, folder_.c_str(), movie, nextId, nextDepth, framesBeforeFirstSlide) != 0;
}
