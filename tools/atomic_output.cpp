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
    const std::string temp = MakeOutputTempFile(target.path, target.inPlace);
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
    if (inPlace_) Discard();  // what was written into target came from it
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
