#include "platform/FileIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/file.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace halcyra::fileio {

TFd::~TFd()
{
    if (fd_ >= 0) ::close(fd_);
}

TFd& TFd::operator=(TFd&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

int TFd::Close()
{
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}
namespace {

void SyncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // best effort: some file systems refuse fsync on folders
    ::close(fd);
}

}  // namespace

void ThrowErrno(int error, const char* what)
{
    throw std::system_error(error, std::generic_category(), what);
}

void WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "write");
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

TFileStamp TFileStamp::Of(const struct stat& st)
{
    return {true, static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size > 0 ? st.st_size : 0),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

TFileStamp StampOf(const std::filesystem::path& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) return TFileStamp::Of(st);
    if (errno == ENOENT || errno == ENOTDIR) return {};
    ThrowErrno(errno, "stat");
}

std::string ReadAll(int fd, struct stat* info)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) ThrowErrno(errno, "stat");
    if (S_ISDIR(st.st_mode)) ThrowErrno(EISDIR, "read");
    std::string bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "read");
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
    if (info != nullptr) *info = st;
    return bytes;
}

std::string ReadWholeFile(const std::filesystem::path& file, struct stat* info)
{
    TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) ThrowErrno(errno, "open");
    return ReadAll(fd.Get(), info);
}

TFd OpenLocked(const std::filesystem::path& file, int flags, struct stat* info, const std::function<void()>& beforeLock)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        TFd fd(::open(file.c_str(), flags | O_CLOEXEC));
        if (!fd.Valid()) ThrowErrno(errno, "open");
        if (beforeLock) beforeLock();
        while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            if (errno != EINTR) ThrowErrno(errno, "lock");
        struct stat opened {};
        if (::fstat(fd.Get(), &opened) != 0) ThrowErrno(errno, "stat");
        if (S_ISDIR(opened.st_mode)) ThrowErrno(EISDIR, "open");
        struct stat atPath {};
        if (::stat(file.c_str(), &atPath) == 0 && atPath.st_ino == opened.st_ino && atPath.st_dev == opened.st_dev) {
            if (info != nullptr) *info = opened;
            return fd;
        }
        // Replaced (or removed) between open and lock: the descriptor holds a file nobody reads any more.
    }
    ThrowErrno(ESTALE, "open");
}

namespace {

// A new file without a name in `folder`, or an invalid descriptor where the file system has no O_TMPFILE.
TFd OpenAnonymous(const std::filesystem::path& folder)
{
    return TFd(::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
}

// Gives an anonymous file the name `name`; false (with errno) when that fails, also where it cannot be
// done this way (no /proc). A leftover of that name is removed first when `replaceLeftover` is set.
bool LinkAnonymous(int fd, const std::filesystem::path& name, bool replaceLeftover)
{
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno == EEXIST && replaceLeftover) {
        ::unlink(name.c_str());  // a leftover of a crashed writer
        if (::linkat(AT_FDCWD, self, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    }
    return false;
}

}  // namespace

void ReplaceFile(const std::filesystem::path& target, const std::filesystem::path& temp, std::string_view data,
                 const TReplaceOptions& options, struct stat* info)
{
    struct stat st {};
    const auto writeAndSync = [&](int fd) {
        if (options.mode && ::fchmod(fd, *options.mode & 07777) != 0) ThrowErrno(errno, "chmod");
        WriteAll(fd, data);
        if (::fsync(fd) != 0) ThrowErrno(errno, "fsync");
        if (::fstat(fd, &st) != 0) ThrowErrno(errno, "stat");
    };
    // Until it is linked, a crash leaves nothing of an anonymous file behind.
    TFd fd = OpenAnonymous(target.parent_path());
    bool written = false;
    if (fd.Valid()) {
        writeAndSync(fd.Get());
        if (options.noReplace && !options.beforeRename) {
            // Linking refuses an existing target, so no temporary name is needed at all.
            if (LinkAnonymous(fd.Get(), target, false)) {
                if (const int error = fd.Close(); error != 0) ThrowErrno(error, "close");
                if (info != nullptr) *info = st;
                SyncFolder(target.parent_path());
                return;
            }
            if (errno == EEXIST) ThrowErrno(errno, "rename");
        }
        written = LinkAnonymous(fd.Get(), temp, true);
    }
    if (!written) {
        ::unlink(temp.c_str());  // a leftover of a crashed writer
        fd = TFd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.Valid()) ThrowErrno(errno, "create");
    }
    try {
        if (!written) writeAndSync(fd.Get());
        if (const int error = fd.Close(); error != 0) ThrowErrno(error, "close");
        if (options.beforeRename) options.beforeRename(temp);
        if (options.noReplace)
            RenameNoReplace(temp, target);
        else if (::rename(temp.c_str(), target.c_str()) != 0)
            ThrowErrno(errno, "rename");
        if (info != nullptr) *info = st;
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    SyncFolder(target.parent_path());
}

void RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno != EINVAL && errno != ENOSYS) ThrowErrno(errno, "rename");
    // A file system without RENAME_NOREPLACE: a hard link refuses an existing target just as well.
    if (::link(from.c_str(), to.c_str()) != 0) ThrowErrno(errno, "rename");
    ::unlink(from.c_str());
}

std::filesystem::path UniqueTempBeside(const std::filesystem::path& target)
{
    static std::atomic<unsigned> counter{0};
    std::string name = ".";
    name += target.filename().string();
    name += ".tmp";
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(counter.fetch_add(1));
    return target.parent_path() / name;
}

void RemoveStaleTemporaries(const std::filesystem::path& target)
{
    const std::string prefix = "." + target.filename().string() + ".tmp";
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        // ".NAME.tmpPID-N": the writer is gone when no process has that id any more.
        const std::string rest = name.substr(prefix.size());
        char* endOfPid = nullptr;
        const long pid = std::strtol(rest.c_str(), &endOfPid, 10);
        if (pid <= 0 || endOfPid == rest.c_str() || *endOfPid != '-' || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlink(it->path().c_str());
    }
}

}  // namespace halcyra::fileio
