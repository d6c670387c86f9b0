#pragma once
// Sets an environment variable for one test and puts the old value back.
#include <cstdlib>
#include <string>

namespace tavrel_test {

class ScopedEnv {
public:
    // value null unsets the variable.
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (hadOld_)
            setenv(name_.c_str(), old_.c_str(), 1);
        else
            unsetenv(name_.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace tavrel_test
