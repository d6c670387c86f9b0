#pragma once
// Puts the process into a locale that writes numbers with a decimal comma,
// for one test: the C library's locale (de_DE, compiled into a private
// folder when the system lacks it) and the C++ global locale.
#include <clocale>
#include <cstdlib>
#include <locale>
#include <string>

#include "test_support.h"

namespace tavrel_test {

class ScopedCommaLocale {
public:
    ScopedCommaLocale()
    {
        oldC_ = std::setlocale(LC_ALL, nullptr);
        oldCpp_ = std::locale();
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
            std::string command = "localedef -i de_DE -f UTF-8 '" + dir_.path() + "/de_DE.UTF-8' >/dev/null 2>&1";
            if (std::system(command.c_str()) == 0) {
                setenv("LOCPATH", dir_.path().c_str(), 1);
                std::setlocale(LC_ALL, "de_DE.UTF-8");
            }
        }
        std::locale::global(std::locale(std::locale::classic(), new Comma));
    }
    ~ScopedCommaLocale()
    {
        std::setlocale(LC_ALL, oldC_.c_str());
        std::locale::global(oldCpp_);
        unsetenv("LOCPATH");
    }
    ScopedCommaLocale(const ScopedCommaLocale&) = delete;
    ScopedCommaLocale& operator=(const ScopedCommaLocale&) = delete;

    // Whether the C library formats with a comma now.
    static bool CLibraryUsesComma() { return std::localeconv()->decimal_point[0] == ','; }

private:
    struct Comma : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };

    TempDir dir_;
    std::string oldC_;
    std::locale oldCpp_;
};

}  // namespace tavrel_test
