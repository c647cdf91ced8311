// File access of the monitor-data file, behind a small seam so tests can make it fail or stop it
// half-way. All paths are host paths.
#pragma once

#include "platform/FileIo.h"
#include "savefile/Streams.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halcyra {

// A file operation failed; the message names the file and the reason.
class ESaveFileIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What tells one state of a file from another: a rewrite, an append and a replacement all change it,
// even within one tick of the file system's clock.
using TFileStamp = fileio::TFileStamp;

// Called by an append with the file as it is under the writers' lock: returns where its last whole
// record ends (at most its size). Bytes behind that, a record cut short, are cut away before the new
// bytes are written. Raising refuses the append and leaves the file as it is.
using TAppendCheck = std::function<std::int64_t(TStream& file, const TFileStamp& stamp)>;

// A replacement's file before and after.
struct TUpdateStamps {
    TFileStamp before;
    TFileStamp after;
};

class ISaveFileIo {
public:
    virtual ~ISaveFileIo() = default;

    // A file or a folder of that name.
    virtual bool Exists(const std::filesystem::path& path) = 0;
    virtual bool Stamp(const std::filesystem::path& path, TFileStamp& out) = 0;
    // A stream that reads the file on demand, so a reader that stops early reads only a prefix.
    virtual std::unique_ptr<TStream> OpenRead(const std::filesystem::path& path) = 0;
    virtual std::string ReadAll(const std::filesystem::path& path) = 0;
    // Writes the whole file atomically: the old content or the new, never part of either.
    virtual void WriteWhole(const std::filesystem::path& path, std::string_view bytes) = 0;
    // Read-modify-write of an existing file under an exclusive lock, replaced atomically. When
    // rewrite raises, the file is left as it was. `stamps`, when given, receives the stamp of the file as
    // read under the lock and that of its replacement (`exists` false where unknown).
    virtual void Update(const std::filesystem::path& path,
                        const std::function<std::string(std::string current)>& rewrite,
                        TUpdateStamps* stamps = nullptr) = 0;
    // Appends to an existing file; a short write is rolled back. Raises on any failure. `after`, when
    // given, receives the stamp of the file with the bytes in it, taken under the lock.
    virtual void Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check = {},
                        TFileStamp* after = nullptr) = 0;
    // The file's bytes reach the disk (fdatasync). Raises on any failure.
    virtual void Sync(const std::filesystem::path& path) = 0;
};

// The real file system. Writers take an exclusive advisory lock without waiting, so a concurrent
// writer makes the operation fail instead of interleaving, and make sure the locked file is still the
// one at the path (a rewrite replaces it).
class TPosixSaveFileIo : public ISaveFileIo {
public:
    bool Exists(const std::filesystem::path& path) override;
    bool Stamp(const std::filesystem::path& path, TFileStamp& out) override;
    std::unique_ptr<TStream> OpenRead(const std::filesystem::path& path) override;
    std::string ReadAll(const std::filesystem::path& path) override;
    void WriteWhole(const std::filesystem::path& path, std::string_view bytes) override;
    void Update(const std::filesystem::path& path, const std::function<std::string(std::string current)>& rewrite,
                TUpdateStamps* stamps = nullptr) override;
    void Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check = {},
                TFileStamp* after = nullptr) override;
    void Sync(const std::filesystem::path& path) override;

    // A shared instance: it holds no state.
    static std::shared_ptr<TPosixSaveFileIo> Default();

protected:
    // Called when the complete new content is in the temporary file and flushed, just before it
    // replaces the target. Tests raise here to stand for a crash at the worst moment.
    virtual void BeforeReplace(const std::filesystem::path& temporary, const std::filesystem::path& target);

    // Called between opening a file for an append and locking it. Tests replace the file here to
    // stand for a rewrite by another process at that moment.
    virtual void BeforeAppendLock(const std::filesystem::path& path);

private:
    void ReplaceWith(const std::filesystem::path& path, std::string_view bytes, int modeFromFd,
                     struct stat* info = nullptr);
};

// A file opened for reading, read in blocks as the position asks for them.
class TFileReadStream : public TStream {
public:
    explicit TFileReadStream(const std::filesystem::path& path);
    // Reads the first `size` bytes through a descriptor the caller keeps open (and closes).
    TFileReadStream(int borrowedFd, std::int64_t size, const std::filesystem::path& path);
    ~TFileReadStream() override;
    TFileReadStream(const TFileReadStream&) = delete;
    TFileReadStream& operator=(const TFileReadStream&) = delete;

    std::int64_t Size() const override { return size_; }
    std::int64_t Position() const override { return position_; }
    void Seek(std::int64_t position) override { position_ = position < 0 ? 0 : position; }
    void ReadBuffer(void* data, std::size_t count) override;
    void WriteBuffer(const void* data, std::size_t count) override;

    // Bytes fetched from the file so far.
    std::uint64_t BytesFetched() const { return fetched_; }

private:
    void Fill(std::int64_t position);

    fileio::TFd owned_;
    int fd_ = -1;
    std::filesystem::path path_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::string block_;
    std::int64_t blockStart_ = 0;
    std::uint64_t fetched_ = 0;
};

}  // namespace halcyra
