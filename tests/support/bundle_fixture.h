#pragma once
// Points the program at a private application bundle for one test.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace tavrel_test {

class ScopedBundle {
public:
    // A bundle whose English string table holds the given .strings text.
    explicit ScopedBundle(const std::string& stringsTable)
    {
        const char* old = std::getenv("TAVREL_BUNDLE");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        std::filesystem::create_directories(Resources() + "/en.lproj");
        WriteFile(Resources() + "/en.lproj/Localizable.strings", stringsTable);
        setenv("TAVREL_BUNDLE", dir_.path().c_str(), 1);
    }
    ~ScopedBundle()
    {
        if (hadOld_)
            setenv("TAVREL_BUNDLE", old_.c_str(), 1);
        else
            unsetenv("TAVREL_BUNDLE");
    }
    ScopedBundle(const ScopedBundle&) = delete;
    ScopedBundle& operator=(const ScopedBundle&) = delete;

    const std::string& Path() const { return dir_.path(); }
    std::string Resources() const { return dir_.path() + "/Contents/Resources"; }

private:
    TempDir dir_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace tavrel_test
