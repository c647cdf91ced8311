#include "ui/InstanceLock.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

std::string ErrnoText(int error)
{
    return std::strerror(error);
}

// A folder of this user's alone: made with mode 0700 when missing, never through a symbolic link. One the
// user owns but others may enter is closed to them; one of another owner is refused.
bool PrivateFolder(const fs::path& folder, std::string& error)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make " + folder.string() + ": " + ErrnoText(errno);
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        error = folder.string() + ": " + ErrnoText(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        error = folder.string() + " is not a folder of this user";
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot close " + folder.string() + " to other users: " + ErrnoText(errno);
        return false;
    }
    return true;
}

}  // namespace

std::string CanonicalSettingsFile(const fs::path& settingsFile)
{
    std::error_code error;
    fs::path absolute = fs::absolute(settingsFile, error);
    if (error) absolute = settingsFile;
    fs::path canonical = fs::weakly_canonical(absolute, error);
    if (error) canonical = absolute.lexically_normal();
    return canonical.string();
}

bool FindInstancePaths(const fs::path& settingsFile, bool create, TInstancePaths& paths, std::string& error)
{
    const std::string canonical = CanonicalSettingsFile(settingsFile);
    const std::string digest = QCryptographicHash::hash(QByteArray::fromStdString(canonical), QCryptographicHash::Sha1)
                                   .toHex()
                                   .left(16)
                                   .toStdString();
    const auto use = [&](const fs::path& folder, const std::string& prefix) {
        paths = {folder, folder / (prefix + digest + ".lock"), folder / (prefix + digest + ".socket")};
        return true;
    };
    // The runtime folder's halcyra/ is made even by a query: an empty folder of the user's own changes
    // nothing, and every start and query on the same settings then agrees on where to look.
    std::string runtimeProblem;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') {
        const fs::path folder = fs::path(runtime) / "halcyra";
        if (PrivateFolder(folder, runtimeProblem)) return use(folder, "");
    }
    // No runtime folder (or an unusable one): the settings folder, which is the user's anyway; a lock file of
    // another user there is refused when it is opened.
    const fs::path folder = fs::path(canonical).parent_path();
    std::error_code made;
    if (create) fs::create_directories(folder, made);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 && (create || errno != ENOENT)) {
        error = folder.string() + ": " + ErrnoText(errno);
        if (!runtimeProblem.empty()) error += "; " + runtimeProblem;
        return false;
    }
    return use(folder, "halcyra-");
}

TInstanceLock::~TInstanceLock()
{
    if (fd_ >= 0) ::close(fd_);
}

TInstanceLock::TResult TInstanceLock::Take()
{
    error_.clear();
    if (fd_ < 0) {
        fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            error_ = "cannot open " + file_.string() + ": " + ErrnoText(errno);
            return Failed;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || info.st_uid != ::geteuid()) {
            error_ = file_.string() + " belongs to another user";
            ::close(fd_);
            fd_ = -1;
            return Failed;
        }
    }
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return Held;
        error_ = "cannot lock " + file_.string() + ": " + ErrnoText(errno);
        return Failed;
    }
    return Taken;
}

pid_t TInstanceLock::HolderIn(const std::string& table, dev_t device, ino_t inode)
{
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953051 0 EOF"; a waiter's line has "->" after the number.
        std::istringstream words(line);
        std::string id, kind, advisory, mode, pid, where;
        if (!(words >> id >> kind) || kind == "->") continue;
        if (!(words >> advisory >> mode >> pid >> where)) continue;
        unsigned major = 0, minor = 0;
        unsigned long long number = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &number) != 3) continue;
        if (makedev(major, minor) != device || number != inode) continue;
        const long holder = std::strtol(pid.c_str(), nullptr, 10);
        if (holder > 0) return static_cast<pid_t>(holder);
    }
    return 0;
}

pid_t TInstanceLock::Holder(const fs::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return 0;
    std::ifstream in("/proc/locks");
    std::stringstream table;
    table << in.rdbuf();
    return HolderIn(table.str(), info.st_dev, info.st_ino);
}

}  // namespace halcyra
