// Windows paths of the system ("C:\KVD\DATA\123456\Patient") mapped onto host paths, the way Wine does:
// the prefix holds dosdevices/c:, a folder or symlink that is the root of drive C:, and so on.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class EPathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TDriveMapping {
public:
    // Creates dosdevices/c: as a symlink to ../drive_c (and drive_c itself) when missing. When that is
    // not possible (a read-only prefix) drive C: simply has no mapping.
    explicit TDriveMapping(std::filesystem::path prefix);
    // A mapping that never writes (for listings): a missing dosdevices/c: maps to where it would be made.
    static TDriveMapping ReadOnly(std::filesystem::path prefix);

    // The program's prefix: `option` (--prefix) when not empty, else $HALCYRA_PREFIX, else
    // $XDG_DATA_HOME/halcyra (default ~/.local/share/halcyra).
    static std::filesystem::path DefaultPrefix(const std::filesystem::path& option = {});

    const std::filesystem::path& Prefix() const { return prefix_; }

    // Both '\' and '/' separate components; "." is skipped, ".." climbs but never above the drive root.
    // Each component is matched without regard to case among the existing entries (an existing
    // entry's spelling wins; a missing one is taken as written). Names are Windows-1252 here and UTF-8 on
    // the host. Throws EPathError, naming the path, for an empty, relative, drive-relative ("C:x") or UNC
    // path, a drive without mapping, a NUL character, or a path that leaves the drive root. ".." is
    // resolved on the text, so it never climbs out through a symlink; symlinks inside a drive are followed.
    std::filesystem::path ToHost(std::string_view windowsPath) const;
    // The host path of the Windows path as written, with no look-up: what ToHost gives whenever an entry of
    // exactly that spelling exists. No file-system call (a read-only mapping looks for drive C:); the same
    // EPathError as ToHost for a path it refuses by its text.
    std::filesystem::path ExactHostPath(std::string_view windowsPath) const;

    // Paths mapped so far (ToHost and ExactHostPath): every file operation maps its path first, so work that
    // mapped none made no file-system call through the file layer.
    std::uint64_t PathsMapped() const { return pathsMapped_; }

    // The host folder of a drive letter, or EPathError when the drive has no mapping.
    std::filesystem::path DriveRoot(char letter) const;

private:
    TDriveMapping(std::filesystem::path prefix, bool createDefaultDrive);
    // The drive letter and the components of an absolute path, checked as ToHost describes.
    char SplitPath(std::string_view windowsPath, std::vector<std::string>& parts) const;
    // Where a drive's root is, whether or not it exists: dosdevices/x: under the prefix.
    const std::filesystem::path& RootPath(char letter) const;

    std::filesystem::path prefix_;
    bool readOnly_ = false;
    // The root path of each drive letter, built once.
    std::array<std::filesystem::path, 26> roots_;
    mutable std::uint64_t pathsMapped_ = 0;
};

}  // namespace halcyra
