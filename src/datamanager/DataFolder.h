// Where the data manager keeps its patient folders, and whether it runs in compatibility mode, as read
// from the data manager's own registry settings at start-up.
#pragma once

#include "platform/Registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr std::string_view kVelgardFilePathsKey = "\\Software\\Tovarin\\Velgard\\2.0\\File Paths";
inline constexpr std::string_view kVelgardGeneralKey = "\\Software\\Tovarin\\Velgard\\2.0\\General";
inline constexpr std::string_view kVelgardOldFilePathsKey = "\\Software\\Tovarin\\Velgard\\1.0\\File Paths";
inline constexpr std::string_view kVelgardDataValue = "KVDData";
inline constexpr std::string_view kVelgardCompatibilityValue = "Compatibility";
inline constexpr std::string_view kVelgardDefaultFolder = "C:\\KVD\\";
inline constexpr std::string_view kDataSubFolder = "DATA\\";

struct TDataFolderInfo {
    std::string dataFolder;          // a Windows path ending in '\'
    bool compatibilityMode = false;  // the data manager runs for the Vexa analyser
};

// The directory part of a path: everything before its last '\' or ':'. A ':' stays, and so does a '\'
// that directly follows ':' or another '\' ("C:\" stays "C:\", "D:\Apps\KVD" gives "D:\Apps").
std::string ExtractFileDir(std::string_view path);

// The data manager's own folder, ending in '\', from its "KVDData" value (nullopt when missing): the
// value's directory part. A missing or empty value, or one with no folder in it, gives "C:\KVD\".
std::string DataManagerFolder(const std::optional<std::string>& kvdData);

// The data folder for `subFolder` (the program passes "DATA\") under the data manager's folder, from
// "KVDData" of the 2.0 file paths (the 1.0 key only when the 2.0 key cannot be opened or created), and
// the compatibility mode from the 2.0 "Compatibility" value. Missing keys are created as the data
// manager itself would; a key that cannot be opened, a value of another type, an empty value or one
// without a folder gives the default "C:\KVD\" + subFolder. Never throws for registry trouble.
// With readOnly nothing is created: a missing key counts as one that would be created (for listings).
TDataFolderInfo GetDataFolder(TRegistryHive& settingsRoot, std::string_view subFolder = kDataSubFolder,
                              bool readOnly = false);

}  // namespace halcyra
