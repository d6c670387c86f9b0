#include "tools/atomic_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/files.h"
#include "tools/cancel_signal.h"

bool CAtomicOutput::Create(const std::string& given, std::string* error)
{
    Discard();
    // A link is followed, so the movie replaces the file it points at.
    std::error_code ec;
    std::string target = given;
    if (std::filesystem::is_symlink(given, ec)) target = std::filesystem::weakly_canonical(given, ec).string();
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = "is a folder";
        return false;
    }
    if (platform::IsLocked(target)) {
        *error = "the file is locked";
        return false;
    }
    const std::string temp = platform::CreateHiddenSibling(target);
    if (temp.empty()) {
        *error = std::strerror(errno);
        return false;
    }
    target_ = target;
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
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        *error = std::strerror(errno);
        Discard();
        return false;
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
