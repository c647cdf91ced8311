#include "datamanager/DataFolder.h"

#include <exception>

namespace halcyra {

std::string ExtractFileDir(std::string_view path)
{
    const std::size_t pos = path.find_last_of("\\:");
    if (pos == std::string_view::npos) return {};
    std::size_t length = pos + 1;  // keep the delimiter ...
    // ... unless it is a '\' that ends a folder name rather than a root.
    if (path[pos] == '\\' && pos > 0 && path[pos - 1] != '\\' && path[pos - 1] != ':') length = pos;
    return std::string(path.substr(0, length));
}

namespace {

// Opens the key as the data manager's settings code does: an existing key is used as it is, a missing
// one is created. False when it neither exists nor can be created (for example a per-machine hive the
// user cannot write).
bool OpenOrCreateKey(TRegistryHive& hive, std::string_view key, bool readOnly)
{
    if (readOnly) return true;
    try {
        if (hive.KeyExists(key)) return true;
        hive.CreateKey(key);
        return hive.KeyExists(key);
    } catch (const std::exception&) {
        return false;
    }
}

// The text value, or nothing when it is missing, of another type or cannot be read. Both string types
// count: the data manager's installer may write an expandable string; it is taken unexpanded.
std::optional<std::string> ReadText(TRegistryHive& hive, std::string_view key, std::string_view name)
{
    try {
        const TRegDataType type = hive.GetDataType(key, name);
        if (type != TRegDataType::String && type != TRegDataType::ExpandString) return std::nullopt;
        return hive.ReadString(key, name);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::string DataManagerFolder(const std::optional<std::string>& kvdData)
{
    if (!kvdData) return std::string(kVelgardDefaultFolder);
    std::string folder = ExtractFileDir(*kvdData);
    // An empty value, or one with no folder in it, would give a rootless "\DATA\" that lands wherever
    // the program happens to run; the default folder is the sound reading of both.
    if (folder.empty()) return std::string(kVelgardDefaultFolder);
    if (folder.back() != '\\') folder += '\\';
    return folder;
}

TDataFolderInfo GetDataFolder(TRegistryHive& settingsRoot, std::string_view subFolder, bool readOnly)
{
    TDataFolderInfo info;
    info.dataFolder = std::string(subFolder);
    info.compatibilityMode = false;

    if (OpenOrCreateKey(settingsRoot, kVelgardFilePathsKey, readOnly)) {
        info.dataFolder = DataManagerFolder(ReadText(settingsRoot, kVelgardFilePathsKey, kVelgardDataValue));
        info.dataFolder += subFolder;
        if (OpenOrCreateKey(settingsRoot, kVelgardGeneralKey, readOnly)) {
            const auto compatibility = ReadText(settingsRoot, kVelgardGeneralKey, kVelgardCompatibilityValue);
            info.compatibilityMode = compatibility && *compatibility == "Vexa";
        }
    } else if (OpenOrCreateKey(settingsRoot, kVelgardOldFilePathsKey, readOnly)) {
        info.dataFolder = DataManagerFolder(ReadText(settingsRoot, kVelgardOldFilePathsKey, kVelgardDataValue));
        info.dataFolder += subFolder;
    } else {
        info.dataFolder = std::string(kVelgardDefaultFolder) + std::string(subFolder);
    }
    return info;
}

}  // namespace halcyra
