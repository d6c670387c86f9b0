#pragma once
// Points the preferences store at private user and system folders for one
// test ($XDG_CONFIG_HOME and $XDG_CONFIG_DIRS).
#include <string>

#include "scoped_env.h"
#include "test_support.h"

namespace tavrel_test {

class ScopedPreferencesFolders {
public:
    ScopedPreferencesFolders() = default;
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
    TempDir dir_;
    ScopedEnv home_{"XDG_CONFIG_HOME", UserConfig().c_str()};
    ScopedEnv dirs_{"XDG_CONFIG_DIRS", SystemConfig().c_str()};
};

}  // namespace tavrel_test
