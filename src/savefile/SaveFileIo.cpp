#include "savefile/SaveFileIo.h"

#include "platform/Text.h"
#include "savefile/TovErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {
namespace {

using fileio::TFd;

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error)
{
    if (error == EWOULDBLOCK)
        throw ESaveFileIoError("Cannot write " + HostPathText(path) + ": in use by another writer");
    if (error == ESTALE) throw ESaveFileIoError("Cannot write " + HostPathText(path) + ": it keeps being replaced");
    throw ESaveFileIoError(what + " " + HostPathText(path) + ": " + std::strerror(error));
}

// Runs a file-layer call, turning its system error into the message that names the file.
template <class TCall>
auto Guarded(const char* what, const std::filesystem::path& path, TCall&& call)
{
    try {
        return call();
    } catch (const std::system_error& e) {
        Fail(what, path, e.code().value());
    }
}

}  // namespace

std::shared_ptr<TPosixSaveFileIo> TPosixSaveFileIo::Default()
{
    static const auto instance = std::make_shared<TPosixSaveFileIo>();
    return instance;
}

bool TPosixSaveFileIo::Exists(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool TPosixSaveFileIo::Stamp(const std::filesystem::path& path, TFileStamp& out)
{
    try {
        out = fileio::StampOf(path);
    } catch (const std::system_error&) {
        return false;
    }
    return out.exists;
}

std::unique_ptr<TStream> TPosixSaveFileIo::OpenRead(const std::filesystem::path& path)
{
    return std::make_unique<TFileReadStream>(path);
}

std::string TPosixSaveFileIo::ReadAll(const std::filesystem::path& path)
{
    return Guarded("Cannot read", path, [&] { return fileio::ReadWholeFile(path); });
}

void TPosixSaveFileIo::BeforeReplace(const std::filesystem::path&, const std::filesystem::path&) {}

void TPosixSaveFileIo::BeforeAppendLock(const std::filesystem::path&) {}

void TPosixSaveFileIo::ReplaceWith(const std::filesystem::path& path, std::string_view bytes, int mode,
                                   struct stat* info)
{
    fileio::TReplaceOptions options;
    if (mode >= 0) options.mode = static_cast<mode_t>(mode);
    options.beforeRename = [&](const std::filesystem::path& temporary) { BeforeReplace(temporary, path); };
    fileio::RemoveStaleTemporaries(path);
    Guarded("Cannot replace", path,
            [&] { fileio::ReplaceFile(path, fileio::UniqueTempBeside(path), bytes, options, info); });
}

void TPosixSaveFileIo::WriteWhole(const std::filesystem::path& path, std::string_view bytes)
{
    struct stat st {};
    const int mode = ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    ReplaceWith(path, bytes, mode);
}

void TPosixSaveFileIo::Update(const std::filesystem::path& path,
                              const std::function<std::string(std::string current)>& rewrite, TUpdateStamps* stamps)
{
    if (stamps != nullptr) *stamps = {};
    struct stat st {};
    // Opening for writing also refuses a file without write permission, as a read-only file is.
    TFd fd = Guarded("Cannot open", path, [&] { return fileio::OpenLocked(path, O_RDWR, &st); });
    std::string next = rewrite(Guarded("Cannot read", path, [&] { return fileio::ReadAll(fd.Get()); }));
    struct stat replaced {};
    ReplaceWith(path, next, static_cast<int>(st.st_mode & 07777), &replaced);
    if (stamps != nullptr) *stamps = {TFileStamp::Of(st), TFileStamp::Of(replaced)};
}

void TPosixSaveFileIo::Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check,
                              TFileStamp* after)
{
    // One append costs open, lock, two stats, write and close, however many records it carries. The lock
    // makes a concurrent writer fail instead of interleaving; the stats make sure the bytes go into the
    // file at the path and not into one a rewrite has just replaced.
    struct stat st {};
    TFd fd = Guarded("Cannot open", path,
                     [&] { return fileio::OpenLocked(path, O_RDWR | O_APPEND, &st, [&] { BeforeAppendLock(path); }); });
    if (check) {
        TFileReadStream file(fd.Get(), st.st_size, path);
        const std::int64_t wholeEnd = check(file, TFileStamp::Of(st));
        if (wholeEnd >= 0 && wholeEnd < st.st_size && ::ftruncate(fd.Get(), wholeEnd) != 0)
            Fail("Cannot write", path, errno);
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const int error = n < 0 ? errno : ENOSPC;
        // Leave no partial record: every record behind it would be misread.
        if (written > 0) {
            const off_t end = ::lseek(fd.Get(), 0, SEEK_END);
            // Best effort: the write's own error is the one reported.
            if (end >= static_cast<off_t>(written)) (void)!::ftruncate(fd.Get(), end - static_cast<off_t>(written));
        }
        Fail("Cannot write", path, error);
    }
    struct stat grown {};
    const bool stamped = after != nullptr && ::fstat(fd.Get(), &grown) == 0;
    if (const int error = fd.Close(); error != 0) Fail("Cannot write", path, error);
    if (stamped) *after = TFileStamp::Of(grown);
}

void TPosixSaveFileIo::Sync(const std::filesystem::path& path)
{
    const TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) Fail("Cannot open", path, errno);
    while (::fdatasync(fd.Get()) != 0) {
        if (errno != EINTR) Fail("Cannot sync", path, errno);
    }
}

TFileReadStream::TFileReadStream(const std::filesystem::path& path) : path_(path)
{
    owned_ = TFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!owned_.Valid()) Fail("Cannot open", path, errno);
    fd_ = owned_.Get();
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("Cannot read", path, errno);
    if (S_ISDIR(st.st_mode)) Fail("Cannot read", path, EISDIR);
    size_ = st.st_size;
}

TFileReadStream::TFileReadStream(int borrowedFd, std::int64_t size, const std::filesystem::path& path)
    : fd_(borrowedFd), path_(path), size_(size)
{
}

TFileReadStream::~TFileReadStream() = default;

void TFileReadStream::Fill(std::int64_t position)
{
    constexpr std::int64_t kBlock = 16384;
    blockStart_ = position;
    block_.resize(static_cast<std::size_t>(std::min(kBlock, size_ - position)));
    std::size_t got = 0;
    while (got < block_.size()) {
        const ssize_t n = ::pread(fd_, block_.data() + got, block_.size() - got, position + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read", path_, errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    block_.resize(got);
    fetched_ += got;
}

void TFileReadStream::ReadBuffer(void* data, std::size_t count)
{
    if (count == 0) return;
    if (position_ >= size_ || static_cast<std::uint64_t>(size_ - position_) < count) throw EReadError();
    auto* out = static_cast<char*>(data);
    while (count > 0) {
        const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(block_.size());
        if (position_ < blockStart_ || position_ >= blockEnd) {
            Fill(position_);
            if (block_.empty()) throw EReadError();
            continue;
        }
        const auto take = static_cast<std::size_t>(std::min<std::int64_t>(blockEnd - position_, count));
        std::memcpy(out, block_.data() + (position_ - blockStart_), take);
        out += take;
        position_ += static_cast<std::int64_t>(take);
        count -= take;
    }
}

void TFileReadStream::WriteBuffer(const void*, std::size_t)
{
    Fail("Cannot write", path_, EBADF);
}

}  // namespace halcyra
