#include "tools/atomic_output.h"

#include <cerrno>
#include <cstring>

#include "foundation/path.h"

bool CAtomicOutput::Create(const std::string& given, std::string* error)
{
    Discard();
    platform::OutputTarget target;
    if (!platform::JudgeOutput(given, &target, error)) return false;
    if (!MakeOutputTempFile(temp_, target.path, target.inPlace)) {
        *error = std::strerror(errno);
        return false;
    }
    target_ = target.path;
    inPlace_ = target.inPlace;
    partly_ = false;
    return true;
}

bool CAtomicOutput::Commit(std::string* error)
{
    if (!temp_.IsOpen()) {
        *error = "nothing to put in place";
        return false;
    }
    const bool done =
        inPlace_ ? platform::WriteInPlace(target_, temp_.GetPath(), &partly_, error) : temp_.Commit(target_);
    if (!done && !inPlace_) *error = std::strerror(errno);
    // What was written into target came from it, or it failed.
    Discard();
    return done;
}
