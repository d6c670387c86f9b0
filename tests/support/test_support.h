#pragma once
// Shared helpers for the unit tests.
#include <functional>
#include <string>

namespace tavrel_test {

// A fresh private folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Folder of the shared SWF checkers and corpora, or "" when it is not there.
std::string SharedDir();

// Writes bytes to a file; false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);
// Reads a whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Whether anything, even a dangling link, stands at path.
bool IsThere(const std::string& path);

// The plain user (nobody) whom tests of modes, owners and links run as
// when the tests run as root, and the group of the same number.
constexpr unsigned kPlainUser = 65534;
// Runs body in a child process in folder and returns what it returns. As
// root the child is the plain user alone, and folder is made theirs (its
// parent searchable by them); otherwise it is the user running the tests.
// -1, with why, when the child could not become that user or get there.
int RunAsPlainUser(const std::string& folder, const std::function<int()>& body, std::string* why);

}  // namespace tavrel_test
