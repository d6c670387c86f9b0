#include "tools/atomic_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "foundation/path.h"
#include "platform/files.h"
#include "tools/cancel_signal.h"

bool CAtomicOutput::Create(const std::string& given, std::string* error)
{
    Discard();
    platform::OutputTarget target;
    if (!platform::JudgeOutput(given, &target, error)) return false;
    std::string temp;
    if (target.inPlace) {
        // Nothing can be made beside a device: the movie waits in the work folder.
        CPath scratch;
        errno = 0;
        if (MakeWorkTempFile(scratch, "movie", ".swf")) temp = scratch.GetFullPath();
        if (temp.empty() && errno == 0) errno = EACCES;
    } else {
        temp = platform::CreateHiddenSibling(target.path);
    }
    if (temp.empty()) {
        *error = std::strerror(errno);
        return false;
    }
    target_ = target.path;
    inPlace_ = target.inPlace;
    partly_ = false;
    temp_ = temp;
    SetAbortCleanupPath(temp_);
    return true;
}

bool CAtomicOutput::Commit(std::string* error)
{
    if (temp_.empty()) {
        *error = "nothing to put in place";
        return false;
    }
    const bool done = inPlace_ ? platform::WriteInPlace(target_, temp_, &partly_, error)
                               : ::rename(temp_.c_str(), target_.c_str()) == 0;
    if (!done) {
        if (!inPlace_) *error = std::strerror(errno);
        Discard();
        return false;
    }
    partly_ = false;
    if (inPlace_) {
        Discard();
        return true;
    }
    SetAbortCleanupPath("");
    temp_.clear();
    return true;
}

void CAtomicOutput::Discard()
{
    if (temp_.empty()) return;
    SetAbortCleanupPath("");
    ::unlink(temp_.c_str());
    temp_.clear();
}
