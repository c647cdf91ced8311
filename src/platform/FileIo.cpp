#include "platform/FileIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace halcyra::fileio {

TFd::~TFd()
{
    if (fd_ >= 0) ::close(fd_);
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

std::string ReadWholeFile(const std::filesystem::path& file, struct stat* info)
{
    TFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) ThrowErrno(errno, "open");
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) ThrowErrno(errno, "stat");
    if (S_ISDIR(st.st_mode)) ThrowErrno(EISDIR, "open");
    std::string bytes;
    if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "read");
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    if (info != nullptr) *info = st;
    return bytes;
}

void ReplaceFile(const std::filesystem::path& target, const std::filesystem::path& temp, std::string_view data,
                 const TReplaceOptions& options, struct stat* info)
{
    ::unlink(temp.c_str());  // a leftover of a crashed writer
    TFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Get() < 0) ThrowErrno(errno, "create");
    try {
        if (options.mode && ::fchmod(fd.Get(), *options.mode & 07777) != 0) ThrowErrno(errno, "chmod");
        WriteAll(fd.Get(), data);
        if (::fsync(fd.Get()) != 0) ThrowErrno(errno, "fsync");
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) ThrowErrno(errno, "stat");
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

}  // namespace halcyra::fileio
