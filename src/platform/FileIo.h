// Low-level file helpers shared by the registry stand-in and the file layer: whole-file reads and the
// atomic replacement of a file (temporary file, fsync, rename, fsync of the folder).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace halcyra::fileio {

// A file descriptor closed on scope exit (and with it any lock taken on it).
class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd();
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    TFd(TFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TFd& operator=(TFd&& other) noexcept;
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now and gives errno (0 on success): on some file systems a failed write shows only here.
    int Close();

private:
    int fd_;
};

// What tells one state of a file from another: a rewrite replaces the file (another inode), an append
// changes its size, and either changes its modification time.
struct TFileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;

    static TFileStamp Of(const struct stat& st);
    bool operator==(const TFileStamp&) const = default;
};

// The stamp of the file at `file`; `exists` is false when there is none. Throws std::system_error
// for any other failure of stat.
TFileStamp StampOf(const std::filesystem::path& file);

// Reads everything from an open descriptor, from offset 0. `info` receives its fstat.
std::string ReadAll(int fd, struct stat* info = nullptr);

// Opens an existing file (`flags` as for open) and takes an exclusive advisory lock without waiting;
// EWOULDBLOCK when another holds it. Once locked, the descriptor is checked to still be the file at
// that path: a rewrite replaces a file by rename, and a writer that opened the old file just before
// must not write into the replaced one; it opens the new file instead. `info` receives the fstat of
// the locked file. Throws std::system_error (EISDIR for a folder, ESTALE when the file keeps being
// replaced).
// `beforeLock` (a test seam) runs between each open and its lock.
TFd OpenLocked(const std::filesystem::path& file, int flags, struct stat* info = nullptr,
               const std::function<void()>& beforeLock = {});

// Reads the whole file. Throws std::system_error (with errno) when it cannot be opened or read.
// `info`, when given, receives the fstat of the opened file, so it describes exactly the bytes read.
std::string ReadWholeFile(const std::filesystem::path& file, struct stat* info = nullptr);

struct TReplaceOptions {
    // Permission bits for the new file; without them it gets 0666 less the umask.
    std::optional<mode_t> mode;
    // Called with the temporary file written and flushed, just before the rename. A test seam: an
    // exception thrown here leaves the target untouched and the temporary file removed.
    std::function<void(const std::filesystem::path& temp)> beforeRename;
    // Fail with EEXIST instead of replacing an existing target (atomically).
    bool noReplace = false;
};

// Renames without replacing: EEXIST when `to` exists. Throws std::system_error.
void RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes `data` to a new file in the target's folder, flushes it to disk, renames it over `target` and
// flushes the folder. Where the file system allows, the new file is written without a name (O_TMPFILE)
// and linked as `temp` only for the rename, so a crash while writing leaves nothing behind; elsewhere
// it is written as `temp`. `info` receives the fstat of the written file, which is the target's after
// the rename. Throws std::system_error; the temporary file never outlives a failure.
void ReplaceFile(const std::filesystem::path& target, const std::filesystem::path& temp, std::string_view data,
                 const TReplaceOptions& options = {}, struct stat* info = nullptr);

// A temporary file name beside `target` that no other process or call of this one uses; it names the
// process, so RemoveStaleTemporaries can tell a dead writer's leftover from a live one's.
std::filesystem::path UniqueTempBeside(const std::filesystem::path& target);
// Removes the temporary files UniqueTempBeside named for `target` whose process no longer runs (left by
// a crash). Best effort: what cannot be removed stays.
void RemoveStaleTemporaries(const std::filesystem::path& target);

// Writes all bytes to an open descriptor, retrying short writes and EINTR.
void WriteAll(int fd, std::string_view data);

[[noreturn]] void ThrowErrno(int error, const char* what);

}  // namespace halcyra::fileio
