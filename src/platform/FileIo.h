// Low-level file helpers shared by the registry stand-in and the file layer: whole-file reads and the
// atomic replacement of a file (temporary file, fsync, rename, fsync of the folder).
#pragma once

#include <sys/stat.h>

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
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd();
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    // Closes now and gives errno (0 on success): on some file systems a failed write shows only here.
    int Close();

private:
    int fd_;
};

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

// Writes `data` to `temp` (created afresh, in the target's folder), flushes it to disk, renames it over
// `target` and flushes the folder. `info` receives the fstat of the written file, which is the target's
// after the rename. Throws std::system_error; the temporary file never outlives a failure.
void ReplaceFile(const std::filesystem::path& target, const std::filesystem::path& temp, std::string_view data,
                 const TReplaceOptions& options = {}, struct stat* info = nullptr);

// A temporary file name beside `target` that no other process or call of this one uses.
std::filesystem::path UniqueTempBeside(const std::filesystem::path& target);

// Writes all bytes to an open descriptor, retrying short writes and EINTR.
void WriteAll(int fd, std::string_view data);

[[noreturn]] void ThrowErrno(int error, const char* what);

}  // namespace halcyra::fileio
