#pragma once
// Points the preferences store at private user and system folders for one
// test ($XDG_CONFIG_HOME and $XDG_CONFIG_DIRS).
#include <cstdlib>
#include <optional>
#include <string>

#include "test_support.h"

namespace tavrel_test {

class ScopedPreferencesFolders {
public:
    ScopedPreferencesFolders() : home_("XDG_CONFIG_HOME"), dirs_("XDG_CONFIG_DIRS")
    {
        setenv("XDG_CONFIG_HOME", UserConfig().c_str(), 1);
        setenv("XDG_CONFIG_DIRS", SystemConfig().c_str(), 1);
    }
    ScopedPreferencesFolders(const ScopedPreferencesFolders&) = delete;
    ScopedPreferencesFolders& operator=(const ScopedPreferencesFolders&) = delete;

    std::string UserConfig() const { return dir_.path() + "/config"; }
    std::string SystemConfig() const { return dir_.path() + "/system"; }
    // Where the store keeps the domain's file in each scope.
    std::string UserFile(const std::string& domain) const
    {
        return UserConfig() + "/tavrel/preferences/" + domain + ".xml";
    }
    std::string SystemFile(const std::string& domain) const
    {
        return SystemConfig() + "/tavrel/preferences/" + domain + ".xml";
    }

private:
    class SavedVariable {
    public:
        explicit SavedVariable(const char* name) : name_(name)
        {
            if (const char* value = std::getenv(name)) value_ = value;
        }
        ~SavedVariable()
        {
            if (value_)
                setenv(name_, value_->c_str(), 1);
            else
                unsetenv(name_);
        }

    private:
        const char* name_;
        std::optional<std::string> value_;
    };

    TempDir dir_;
    SavedVariable home_;
    SavedVariable dirs_;
};

}  // namespace tavrel_test
