// Where the instance of a settings file is told apart from others: a lock file and a socket file in a folder
// only the user can enter. Whoever holds the lock is the instance; the socket is only how it is asked.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace halcyra {

// The settings file as one text however it was named: absolute, with "." and ".." and symbolic links
// resolved (as far as the path exists).
std::string CanonicalSettingsFile(const std::filesystem::path& settingsFile);

struct TInstancePaths {
    std::filesystem::path folder;  // the user's own, mode 0700
    std::filesystem::path lock;
    std::filesystem::path socket;
};

// The lock and socket of the instance on settingsFile: in $XDG_RUNTIME_DIR/halcyra/, or in the settings
// file's folder when there is no runtime folder (or its halcyra/ is not the user's alone). Both are named
// by a digest of the canonical settings path. The runtime folder's halcyra/ is made when missing (0700); a
// missing settings folder only with create (without, nothing can run there). False with `error` when no
// such folder can be had.
bool FindInstancePaths(const std::filesystem::path& settingsFile, bool create, TInstancePaths& paths,
                       std::string& error);

// An exclusive advisory lock (flock) on a file, held from Take() until the object goes or the process
// ends, however it ends.
class TInstanceLock {
public:
    enum TResult { Taken, Held, Failed };

    explicit TInstanceLock(std::filesystem::path file) : file_(std::move(file)) {}
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Never waits: Held when another open file description holds it; Failed (Error() says why) when the
    // file cannot be opened or locked.
    TResult Take();
    const std::string& Error() const { return error_; }

    // The process holding a lock on `file`, from the kernel's lock table (/proc/locks); 0 when none does or
    // it cannot be told. Looks without locking, so a start at the same moment never finds it taken.
    static pid_t Holder(const std::filesystem::path& file);
    // The same for a lock table's text (the format of /proc/locks) and the file's device and inode.
    static pid_t HolderIn(const std::string& table, dev_t device, ino_t inode);

private:
    std::filesystem::path file_;
    int fd_ = -1;
    std::string error_;
};

}  // namespace halcyra
