#pragma once
// A movie is written to a new file beside its target and renamed over the
// target only when complete, so a cancel or a failure leaves an earlier
// file as it was and no partial one.
#include <string>

class CAtomicOutput {
public:
    CAtomicOutput() = default;
    ~CAtomicOutput() { Discard(); }
    CAtomicOutput(const CAtomicOutput&) = delete;
    CAtomicOutput& operator=(const CAtomicOutput&) = delete;

    // Creates the new, empty file beside target (an absolute path; a link
    // is followed); false with the reason when the folder is missing or not
    // writable, or target is a folder or a locked file.
    bool Create(const std::string& target, std::string* error);
    const std::string& GetTempPath() const { return temp_; }
    // Puts the new file in place of target.
    bool Commit(std::string* error);
    // Removes the new file; target is untouched.
    void Discard();

private:
    std::string target_;
    std::string temp_;
};
