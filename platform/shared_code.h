#pragma once
// Outside code loaded at run time: a bundle folder holding a shared object,
// or a shared object itself, opened with dlopen and searched with dlsym.
#include <string>
#include <vector>

namespace platform {

// The code file a bundle or application path names: the file itself, or for
// a folder "X.bundle" or "X.app" its Contents/MacOS/X (or X.so), or else the
// only such file in Contents/MacOS. With executable set, only files we may
// execute count. "" when there is none.
std::string BundleCodeFile(const std::string& path, bool executable);

class SharedCode {
public:
    SharedCode() = default;
    ~SharedCode() { Close(); }
    SharedCode(const SharedCode&) = delete;
    SharedCode& operator=(const SharedCode&) = delete;

    // Loads the bundle's code, closing what was open before. false with the
    // loader's reason in LastError() when it cannot be loaded.
    bool Open(const std::string& bundlePath);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The exported symbol's address, or null.
    void* Symbol(const char* name) const;
    const std::string& LastError() const { return error_; }

private:
    void* handle_ = nullptr;
    std::vector<void*> needed_;  // the libraries it needs, loaded first
    std::string error_;
};

}  // namespace platform
