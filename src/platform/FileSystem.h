// Every file operation of the system goes through here, on Windows paths mapped by TDriveMapping.
// Every operation throws EPathError when its path cannot be mapped (the existence checks too: a path
// outside the drives is a configuration fault to report, not a missing file). Names of entries are
// Windows-1252 here and UTF-8 on the host; file contents are bytes, not converted.
// Windows semantics kept: a read-only file (no write permission bits) is not replaced, appended to or
// deleted; a rename or a copy without overwrite fails when the target exists.
#pragma once

#include "platform/DateTime.h"
#include "platform/Drives.h"
#include "platform/Text.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// Raised for a failed file operation; the message names the Windows path and the reason.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The longest name (host bytes) that WriteFileAtomic can write: the name of its temporary file beside the
// target adds to the target's.
inline constexpr std::size_t kMaxAtomicFileNameBytes = kMaxFileNameBytes - 32;

class TFileSystem {
public:
    explicit TFileSystem(const TDriveMapping& drives) : drives_(drives) {}

    const TDriveMapping& Drives() const { return drives_; }
    // EPathError (a kind of runtime_error) when the path cannot be mapped.
    std::filesystem::path HostPath(std::string_view path) const { return drives_.ToHost(path); }
    // The host path as written, without looking at the file system: HostPath's answer whenever an entry of
    // exactly that spelling exists.
    std::filesystem::path ExactHostPath(std::string_view path) const { return drives_.ExactHostPath(path); }

    bool FileExists(std::string_view path) const;       // a regular file (false for a folder)
    bool DirectoryExists(std::string_view path) const;  // a folder
    // Creates the folder with all missing parents; true when it exists afterwards.
    bool ForceDirectories(std::string_view path) const;

    std::string ReadFile(std::string_view path) const;  // EFileError when it cannot be read
    // Written to a temporary file beside the target, flushed, then renamed over it.
    void WriteFileAtomic(std::string_view path, std::string_view data) const;
    void AppendFile(std::string_view path, std::string_view data) const;  // creates the file when missing
    void RenameFile(std::string_view from, std::string_view to) const;
    void CopyFile(std::string_view from, std::string_view to, bool overwrite) const;
    bool DeleteFile(std::string_view path) const;  // false when there was nothing to delete
    // Names of the entries of a folder (files and folders), unsorted; empty when the folder is missing.
    std::vector<std::string> ListDirectory(std::string_view path) const;

    // Read-only means no write permission for anyone. EFileError when the file does not exist.
    bool IsReadOnly(std::string_view path) const;
    // Read-only removes every write permission bit; writable gives the owner write permission.
    void SetReadOnly(std::string_view path, bool readOnly) const;
    // EFileError when the file does not exist.
    TDateTime LastModified(std::string_view path) const;

    // The value of key in [section] of an INI file (names ignore ASCII case), or the default when the file,
    // section or key is missing. Values are trimmed and lose one pair of enclosing quotes; lines starting
    // with ';' are comments; the first matching key counts. UTF-8 or UTF-16 files are converted to
    // Windows-1252, other bytes taken as they are. EFileError when the file exists but cannot be read.
    std::string ReadIniString(std::string_view path, std::string_view section, std::string_view key,
                              std::string_view defaultValue) const;

private:
    const TDriveMapping& drives_;
};

}  // namespace halcyra
