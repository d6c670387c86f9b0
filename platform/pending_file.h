#pragma once
// A new file that takes a name only once it is whole: the one rule for
// every output, replacement and scratch file, and the table of names that
// lets a signal handler remove those a run leaves behind.
#include <cstdio>
#include <string>

namespace platform {

// Where the file system allows (O_TMPFILE) the file has no name at all
// until Commit, so nothing of it outlives the process, whatever ends it (a
// kill included). Elsewhere it has a name in its folder, removed on every
// way out but a kill, and by RemovePendingNames when a signal ends the
// program: the name is noted for the handler in the same step, signals
// held, as it is given. GetPath opens it again (/proc/self/fd/N while it
// has no name) for what reads or writes by path; a writer given that path
// writes into the file where it stands (IsPendingFile), never beside it.
// A writer that holds the object uses it directly (Rewrite, Descriptor).
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile() { Discard(); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // A new, empty private file (mode 0600) in folder that never takes a
    // name (no Commit): where it cannot be made unnamed, its name goes at
    // once when /proc opens it again. prefix and suffix frame the unique
    // name it has where it must keep one. false with errno set.
    bool CreateScratch(const std::string& folder, const std::string& prefix, const std::string& suffix);
    // A new, empty file beside target (on its file system, so that Commit
    // puts it in place in one step), hidden where it has a name, with what
    // target keeps when replaced (TakeReplacedAttributes).
    bool CreateBeside(const std::string& target);
    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const std::string& GetPath() const { return path_; }
    bool HasName() const { return named_; }
    // The file emptied and open for writing from its start, through its
    // descriptor, so whatever mode it was given it stays writable; null
    // with errno set when it is not open.
    std::FILE* Rewrite() const;
    // Gives the file the name target, in its folder: replacing what stands
    // there in one step, or with replace false only where nothing does.
    // The mode of the file it replaces comes last, after every attribute.
    // A write error that shows only when the file is closed (NFS, quotas)
    // fails it first. false with errno set; the file then stays pending.
    bool Commit(const std::string& target, bool replace = true);
    // After a Commit: the file's own name where the system put it in place
    // and then would not take that name away; "" otherwise.
    const std::string& GetLeftover() const { return leftover_; }
    // Closes the file and removes it.
    void Discard();

private:
    bool Create(const std::string& folder, const std::string& prefix, const std::string& suffix, bool scratch);
    int fd_ = -1;
    std::string path_;
    bool named_ = false;
    int lastMode_ = -1;  // given at Commit; -1 keeps the mode it has
    std::string leftover_;
};

// Gives the object at from the name to (both in one folder): replacing what
// stands there in one step, or with replace false only where nothing does.
// The one place a name is taken over; false with errno set.
bool GiveName(const std::string& from, const std::string& to, bool replace);

// For writers given only a path: whether it is that of a pending file of
// this process, and that file's descriptor (-1 for any other path).
bool IsPendingFile(const std::string& path);
int PendingDescriptor(const std::string& path);
// The pending file at path, as PendingFile::Rewrite gives it; null with
// errno set for any other path.
std::FILE* RewritePendingFile(const std::string& path);
// Removes every pending file that has a name. Safe in a signal handler,
// for one that ends the program.
void RemovePendingNames();

}  // namespace platform
