#include "platform/FileSystem.h"

#include "platform/FileIo.h"
#include "platform/Text.h"
#include "platform/Utf.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace halcyra {
namespace fs = std::filesystem;

namespace {

constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

EFileError Failure(const char* action, std::string_view path, const std::string& reason)
{
    return EFileError(std::string("Cannot ") + action + " " + std::string(path) + ": " + reason);
}

EFileError Failure(const char* action, std::string_view path, int error)
{
    return Failure(action, path, std::strerror(error));
}

EFileError Failure(const char* action, std::string_view path, const std::system_error& error)
{
    return Failure(action, path, error.code().message());
}

// True with `st` filled when the host path exists (following symlinks); EFileError for other failures.
bool StatPath(const fs::path& host, std::string_view path, struct stat& st)
{
    if (::stat(host.c_str(), &st) == 0) return true;
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw Failure("examine", path, errno);
}

bool IsReadOnlyMode(const struct stat& st)
{
    return (st.st_mode & kWriteBits) == 0;
}

// A regular file whose permissions the replacement must keep, or must refuse to replace.
std::optional<mode_t> ModeForReplacing(const fs::path& host, std::string_view path)
{
    struct stat st {};
    if (!StatPath(host, path, st)) return std::nullopt;
    if (S_ISDIR(st.st_mode)) throw Failure("write", path, "it is a folder");
    if (IsReadOnlyMode(st)) throw Failure("write", path, "the file is read-only");
    return st.st_mode & 07777;
}

// Single-byte text of an INI file: UTF-16 and UTF-8 are converted, other bytes taken as they are.
std::string IniText(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return Utf16LeToWin1252(bytes.substr(2, (bytes.size() - 2) & ~std::size_t{1}));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return Utf8ToWin1252(bytes.substr(3));
    // Text saved on Windows is single-byte; text written here is UTF-8. Valid multi-byte UTF-8 is rare
    // in single-byte text, so validity tells them apart.
    return utf::IsValidUtf8(bytes) ? Utf8ToWin1252(bytes) : std::string(bytes);
}

}  // namespace

bool TFileSystem::FileExists(std::string_view path) const
{
    struct stat st {};
    // A file of exactly that spelling is the one the look-up would find: one stat settles the usual case.
    if (::stat(ExactHostPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return true;
    return StatPath(HostPath(path), path, st) && S_ISREG(st.st_mode);
}

bool TFileSystem::DirectoryExists(std::string_view path) const
{
    struct stat st {};
    return StatPath(HostPath(path), path, st) && S_ISDIR(st.st_mode);
}

bool TFileSystem::ForceDirectories(std::string_view path) const
{
    const fs::path host = HostPath(path);
    std::error_code error;
    fs::create_directories(host, error);
    return fs::is_directory(host, error);
}

std::string TFileSystem::ReadFile(std::string_view path) const
{
    try {
        return fileio::ReadWholeFile(HostPath(path));
    } catch (const std::system_error& error) {
        throw Failure("read", path, error);
    }
}

void TFileSystem::WriteFileAtomic(std::string_view path, std::string_view data) const
{
    const fs::path host = HostPath(path);
    const std::optional<mode_t> mode = ModeForReplacing(host, path);
    fileio::RemoveStaleTemporaries(host);
    try {
        fileio::ReplaceFile(host, fileio::UniqueTempBeside(host), data, {mode, {}, false});
    } catch (const std::system_error& error) {
        throw Failure("write", path, error);
    }
}

void TFileSystem::AppendFile(std::string_view path, std::string_view data) const
{
    const fs::path host = HostPath(path);
    fileio::TFd fd(::open(host.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.Valid()) throw Failure("append to", path, errno);
    try {
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0) fileio::ThrowErrno(errno, "stat");
        if (IsReadOnlyMode(st)) throw Failure("append to", path, "the file is read-only");
        fileio::WriteAll(fd.Get(), data);
    } catch (const std::system_error& error) {
        throw Failure("append to", path, error);
    }
    if (const int error = fd.Close(); error != 0) throw Failure("append to", path, error);
}

void TFileSystem::RenameFile(std::string_view from, std::string_view to) const
{
    const fs::path hostFrom = HostPath(from);
    const fs::path hostTo = HostPath(to);
    try {
        fileio::RenameNoReplace(hostFrom, hostTo);
    } catch (const std::system_error& error) {
        throw Failure("rename", std::string(from) + " to " + std::string(to), error);
    }
}

void TFileSystem::CopyFile(std::string_view from, std::string_view to, bool overwrite) const
{
    const fs::path hostFrom = HostPath(from);
    const fs::path hostTo = HostPath(to);
    struct stat st {};
    std::string data;
    try {
        data = fileio::ReadWholeFile(hostFrom, &st);
    } catch (const std::system_error& error) {
        throw Failure("copy", from, error);
    }
    if (overwrite) ModeForReplacing(hostTo, to);
    try {
        fileio::ReplaceFile(hostTo, fileio::UniqueTempBeside(hostTo), data, {st.st_mode & 07777, {}, !overwrite});
    } catch (const std::system_error& error) {
        throw Failure("copy", std::string(from) + " to " + std::string(to), error);
    }
}

bool TFileSystem::DeleteFile(std::string_view path) const
{
    const fs::path host = HostPath(path);
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw Failure("delete", path, errno);
    }
    if (S_ISDIR(st.st_mode)) throw Failure("delete", path, "it is a folder");
    if (S_ISREG(st.st_mode) && IsReadOnlyMode(st)) throw Failure("delete", path, "the file is read-only");
    if (::unlink(host.c_str()) != 0) {
        if (errno == ENOENT) return false;
        throw Failure("delete", path, errno);
    }
    return true;
}

std::vector<std::string> TFileSystem::ListDirectory(std::string_view path) const
{
    const fs::path host = HostPath(path);
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator it(host, error);
    if (error) {
        if (error == std::errc::no_such_file_or_directory) return names;
        throw Failure("list", path, error.message());
    }
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) throw Failure("list", path, error.message());
        names.push_back(HostPathText(it->path().filename()));
    }
    return names;
}

bool TFileSystem::IsReadOnly(std::string_view path) const
{
    struct stat st {};
    if (!StatPath(HostPath(path), path, st)) throw Failure("examine", path, ENOENT);
    return IsReadOnlyMode(st);
}

void TFileSystem::SetReadOnly(std::string_view path, bool readOnly) const
{
    const fs::path host = HostPath(path);
    struct stat st {};
    if (!StatPath(host, path, st)) throw Failure("change attributes of", path, ENOENT);
    const mode_t mode = readOnly ? (st.st_mode & ~kWriteBits) : (st.st_mode | S_IWUSR);
    if (::chmod(host.c_str(), mode & 07777) != 0) throw Failure("change attributes of", path, errno);
}

TDateTime TFileSystem::LastModified(std::string_view path) const
{
    struct stat st {};
    if (!StatPath(HostPath(path), path, st)) throw Failure("examine", path, ENOENT);
    return FromUnixTime(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
}

std::string TFileSystem::ReadIniString(std::string_view path, std::string_view section, std::string_view key,
                                       std::string_view defaultValue) const
{
    std::string bytes;
    try {
        bytes = fileio::ReadWholeFile(HostPath(path));
    } catch (const std::system_error& error) {
        if (error.code() == std::errc::no_such_file_or_directory || error.code() == std::errc::not_a_directory)
            return std::string(defaultValue);
        throw Failure("read", path, error);
    }
    const std::string text = IniText(bytes);
    const std::string wantedSection = Trim(section);
    const std::string wantedKey = Trim(key);
    bool inSection = false;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t newline = rest.find('\n');
        const std::string line = Trim(rest.substr(0, newline));
        rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            inSection = close != std::string::npos && SameTextAscii(Trim(line.substr(1, close - 1)), wantedSection);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || !SameTextAscii(Trim(line.substr(0, equals)), wantedKey))
            continue;
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 &&
            ((value.front() == '"' && value.back() == '"') || (value.front() == '\'' && value.back() == '\'')))
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::string(defaultValue);
}

}  // namespace halcyra
