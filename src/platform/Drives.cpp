#include "platform/Drives.h"

#include "platform/Text.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace halcyra {
namespace fs = std::filesystem;

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The spelling of an existing entry of `folder` that matches `name` without regard to ASCII case; the
// first in byte order when several do (on Linux "Data" and "DATA" may both exist). Plain readdir: this
// runs for every missing component, and folders of the data area can hold thousands of entries.
bool FindEntryNoCase(const fs::path& folder, const std::string& name, std::string& found)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName.size() == name.size() && SameTextAscii(entryName, name) && (!any || entryName < found)) {
            found.assign(entryName);
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

}  // namespace

TDriveMapping::TDriveMapping(fs::path prefix) : TDriveMapping(std::move(prefix), true) {}

TDriveMapping TDriveMapping::ReadOnly(fs::path prefix)
{
    return TDriveMapping(std::move(prefix), false);
}

TDriveMapping::TDriveMapping(fs::path prefix, bool createDefaultDrive)
    : prefix_(std::move(prefix)), readOnly_(!createDefaultDrive)
{
    for (std::size_t i = 0; i < roots_.size(); ++i)
        roots_[i] = prefix_ / "dosdevices" / (std::string(1, static_cast<char>('a' + i)) + ":");
    if (readOnly_) return;
    std::error_code error;
    const fs::path devices = prefix_ / "dosdevices";
    const fs::path driveC = devices / "c:";
    if (fs::exists(fs::symlink_status(driveC, error))) return;
    fs::create_directories(devices, error);
    fs::create_directories(prefix_ / "drive_c", error);
    fs::create_directory_symlink("../drive_c", driveC, error);
}

fs::path TDriveMapping::DefaultPrefix(const fs::path& option)
{
    if (!option.empty()) return option;
    if (const char* prefix = std::getenv("HALCYRA_PREFIX"); prefix != nullptr && *prefix != '\0') return prefix;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/')
        return fs::path(data) / "halcyra";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : "/") / ".local" / "share" / "halcyra";
}

const fs::path& TDriveMapping::RootPath(char letter) const
{
    const char lower = letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter;
    return roots_[static_cast<std::size_t>(lower - 'a')];
}

fs::path TDriveMapping::DriveRoot(char letter) const
{
    if (!IsDriveLetter(letter)) throw EPathError(std::string("Not a drive letter: ") + letter);
    const char lower = LowerAscii(std::string_view(&letter, 1))[0];
    const fs::path& root = RootPath(letter);
    std::error_code error;
    if (readOnly_ && lower == 'c' && !fs::exists(fs::symlink_status(root, error))) return prefix_ / "drive_c";
    if (!fs::is_directory(root, error))
        throw EPathError(std::string("Drive ") + UpperAscii(letter) + ": has no mapping (" + HostPathText(root) +
                         " is not a folder)");
    return root;
}

char TDriveMapping::SplitPath(std::string_view windowsPath, std::vector<std::string>& parts) const
{
    const auto fail = [&](const std::string& why) -> EPathError {
        std::string shown(windowsPath);
        std::replace(shown.begin(), shown.end(), '\0', '?');  // the message is read as a C string
        return EPathError("Invalid path \"" + shown + "\": " + why);
    };
    if (windowsPath.empty()) throw fail("the path is empty");
    if (windowsPath.find('\0') != std::string_view::npos) throw fail("it contains a NUL character");
    if (windowsPath.size() >= 2 && IsSeparator(windowsPath[0]) && IsSeparator(windowsPath[1]))
        throw fail("network (UNC) and device paths are not supported");
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || !IsDriveLetter(windowsPath[0]))
        throw fail("it is not an absolute path with a drive letter");
    if (windowsPath.size() > 2 && !IsSeparator(windowsPath[2]))
        throw fail("it is relative to the current folder of the drive");

    parts.clear();
    std::string_view rest = windowsPath.substr(2);
    while (!rest.empty()) {
        std::size_t end = 0;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        const std::string_view part = rest.substr(0, end);
        rest.remove_prefix(end < rest.size() ? end + 1 : end);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (parts.empty()) throw fail("it climbs above the root of the drive");
            parts.pop_back();
            continue;
        }
        parts.push_back(HostPathFromText(part).native());
    }
    return windowsPath[0];
}

fs::path TDriveMapping::ExactHostPath(std::string_view windowsPath) const
{
    ++pathsMapped_;
    std::vector<std::string> parts;
    const char letter = SplitPath(windowsPath, parts);
    // A read-only mapping may place drive C: elsewhere, which takes a look at the prefix.
    fs::path host = readOnly_ ? DriveRoot(letter) : RootPath(letter);
    for (const std::string& part : parts) host /= part;
    return host;
}

fs::path TDriveMapping::ToHost(std::string_view windowsPath) const
{
    ++pathsMapped_;
    std::vector<std::string> parts;
    const char letter = SplitPath(windowsPath, parts);
    // The usual case first: the path exists as written, and one system call settles it. An entry below the
    // drive's root proves the root is there.
    if (!parts.empty() && !readOnly_) {
        fs::path exact = RootPath(letter);
        for (const std::string& part : parts) exact /= part;
        std::error_code exactError;
        if (fs::exists(fs::symlink_status(exact, exactError))) return exact;
    }

    fs::path host;
    try {
        host = DriveRoot(letter);
    } catch (const EPathError& error) {
        std::string shown(windowsPath);
        throw EPathError("Invalid path \"" + shown + "\": " + error.what());
    }
    if (parts.empty()) return host;
    fs::path exact = host;
    for (const std::string& part : parts) exact /= part;
    std::error_code exactError;
    if (readOnly_ && fs::exists(fs::symlink_status(exact, exactError))) return exact;

    bool lookUp = true;  // once a component is missing, the ones below it are missing too
    for (const std::string& part : parts) {
        if (lookUp) {
            std::error_code error;
            std::string found;
            if (fs::exists(fs::symlink_status(host / part, error))) {
                host /= part;
                continue;
            }
            if (FindEntryNoCase(host, part, found)) {
                host /= found;
                continue;
            }
            lookUp = false;
        }
        host /= part;
    }
    return host;
}

}  // namespace halcyra
