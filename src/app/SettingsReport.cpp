#include "app/SettingsReport.h"

#include "datamanager/DataFolder.h"
#include "platform/Text.h"
#include "relay/AllowedClients.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace halcyra {
namespace {

class TReporter {
public:
    explicit TReporter(TSettingsStore& settings) : settings_(settings), hive_(settings.RootHive()) {}

    // The value the program uses, " (default)" when it is not stored with the setting's type.
    void Setting(const TSetting& setting)
    {
        std::string value;
        switch (setting.type) {
            case TSettingType::Bool:
                value = settings_.ReadRegBool(setting) ? "true" : "false";
                break;
            case TSettingType::Integer:
                value = std::to_string(settings_.ReadRegInteger(setting));
                break;
            case TSettingType::String:
                value = settings_.ReadRegString(setting);
                break;
        }
        Add(setting.name, value, !settings_.StoredValue(setting).has_value());
    }

    // The exclusion list: "Param0", "Param1", ... up to the first gap, each with its "Name" + code.
    void ExclusionList()
    {
        int entries = 0;
        for (;; ++entries) {
            const std::string param = std::string(kExcludedParamPrefix) + std::to_string(entries);
            const std::optional<std::string> code = Text(kProgramKey, param);
            if (!code) break;
            Add(param, *code, false);
            const std::string name = std::string(kExcludedNamePrefix) + *code;
            const std::optional<std::string> label = Text(kProgramKey, name);
            Add(name, label.value_or(std::string()), !label);
        }
        if (entries == 0) lines.push_back(std::string(kExcludedParamPrefix) + "0 = (none)");
    }

    void Census()
    {
        int patients = 0;
        for (const std::string& name : Names(kProgramKey)) {
            if (!IsCensusName(name)) continue;
            const std::optional<std::string> value = Text(kProgramKey, name);
            Add(name, value.value_or(std::string()), !value);
            ++patients;
        }
        if (patients == 0) lines.push_back(std::string(kCensusPrefix) + "1 = (none)");
    }

    // Whether the relay server will listen, which follows from the allow-list.
    void RelayServer()
    {
        std::vector<std::string> rejected;
        const bool on =
            TAllowedClients::Parse(settings_.ReadRegString(setting::RelayAllowedClients), rejected).AllowsAnyone();
        lines.push_back(on ? "Relay server = listening on port " +
                                 std::to_string(settings_.ReadRegInteger(setting::ClientSocketPort)) +
                                 " on every address, for RelayAllowedClients only"
                           : std::string("Relay server = off: RelayAllowedClients names no valid client"));
    }

    void DefaultUnits()
    {
        const std::string key = TSettingsStore::ProgramSubkey(kDefaultUnitsKey);
        const std::vector<std::string> labels = Names(key);
        for (const std::string& label : labels)
            if (const std::optional<std::string> unit = Text(key, label))
                lines.push_back(std::string(kDefaultUnitsKey) + "\\" + label + " = " + *unit);
        if (labels.empty()) lines.push_back(std::string(kDefaultUnitsKey) + " = (none)");
    }

    void Add(std::string_view name, const std::string& value, bool isDefault)
    {
        lines.push_back(std::string(name) + " = " + value + (isDefault ? " (default)" : ""));
    }

    std::vector<std::string> lines;

private:
    std::optional<std::string> Text(std::string_view key, std::string_view name)
    {
        try {
            const TRegDataType type = hive_.GetDataType(key, name);
            if (type == TRegDataType::String || type == TRegDataType::ExpandString) return hive_.ReadString(key, name);
        } catch (const std::exception&) {
        }
        return std::nullopt;
    }

    std::vector<std::string> Names(std::string_view key)
    {
        try {
            return hive_.GetValueNames(key);
        } catch (const std::exception&) {
            return {};
        }
    }

    static bool IsCensusName(std::string_view name)
    {
        const std::size_t prefix = kCensusPrefix.size();
        if (name.size() <= prefix || name.compare(0, prefix, kCensusPrefix) != 0) return false;
        for (char c : name.substr(prefix))
            if (c < '0' || c > '9') return false;
        return true;
    }

    TSettingsStore& settings_;
    TRegistryHive& hive_;
};

// Whether the program could write the hive file: a file without write permission bits is never written;
// a missing one is created with its folder.
bool CanWrite(const std::filesystem::path& hiveFile)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(hiveFile, error);
    if (!fs::exists(status)) return true;
    constexpr fs::perms kWriteBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return (status.permissions() & kWriteBits) != fs::perms::none && ::access(hiveFile.c_str(), W_OK) == 0;
}

}  // namespace

std::vector<std::string> ReportSettings(TSettingsStore& settings,
                                        const std::function<std::string(const std::string&)>& hostPath)
{
    settings.ChooseSettingsRoot();
    TReporter r(settings);
    // Start-up creates the program key (with "DefaultUnits") before anything reads the data source, so a
    // missing key means what a present one without the value means, unless the key cannot be created.
    const bool keyAtRunTime = settings.ProgramKeyExists() || CanWrite(settings.RootHive().File());
    for (const TSetting* s : kSettingsTable) {
        if (s == &setting::FilterFunction) r.ExclusionList();
        if (s->trueWithoutProgramKey && keyAtRunTime && !settings.StoredValue(*s))
            r.Add(s->name, s->defaultNumber != 0 ? "true" : "false", true);
        else
            r.Setting(*s);
        if (s == &setting::RelayAllowedClients) r.RelayServer();
    }
    r.Census();
    r.DefaultUnits();

    const std::string debugFolder = settings.ReadRegString(setting::DebugFolder);
    r.lines.push_back(std::string("SettingsRoot = ") + HiveRootName(settings.SettingsRoot()));
    r.lines.push_back("DebugFolder host path = " + hostPath(debugFolder));
    const TDataFolderInfo data = GetDataFolder(settings.RootHive(), kDataSubFolder, true);
    r.lines.push_back("DataFolder = " + data.dataFolder);
    r.lines.push_back("DataFolder host path = " + hostPath(data.dataFolder));
    r.lines.push_back(std::string("CompatibilityMode = ") + (data.compatibilityMode ? "true" : "false"));
    for (std::string& line : r.lines) line = EscapeControlCharacters(line);
    return r.lines;
}

}  // namespace halcyra
