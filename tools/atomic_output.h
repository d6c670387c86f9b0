#pragma once
// A movie is made in a new file and put in place only when complete, so a
// cancel or a failure leaves an earlier file as it was and no partial one.
// A regular file is replaced by a new file from beside it; a device, FIFO
// or terminal is written into (platform::JudgeOutput). The new file is a
// pending one (platform::PendingFile): where the file system allows, a
// killed run leaves nothing of it either.
#include <string>

#include "platform/files.h"

class CAtomicOutput {
public:
    CAtomicOutput() = default;
    ~CAtomicOutput() { Discard(); }
    CAtomicOutput(const CAtomicOutput&) = delete;
    CAtomicOutput& operator=(const CAtomicOutput&) = delete;

    // Creates the new, empty file for target (an absolute path; a link is
    // followed); false with the reason when the folder is missing or not
    // writable, or target is a folder or a locked file.
    bool Create(const std::string& target, std::string* error);
    // Where the new file is written and read by path.
    const std::string& GetTempPath() const { return temp_.GetPath(); }
    // The file the new one replaces or is written into (links followed).
    const std::string& GetTargetPath() const { return target_; }
    // Puts the new file in place of target.
    bool Commit(std::string* error);
    // Removes the new file; target is untouched.
    void Discard() { temp_.Discard(); }
    // Whether target is written into rather than replaced.
    bool IsInPlace() const { return inPlace_; }
    // Whether a failed Commit sent part of the movie into target.
    bool PartlyWritten() const { return partly_; }

private:
    std::string target_;
    platform::PendingFile temp_;
    bool inPlace_ = false;
    bool partly_ = false;
};
