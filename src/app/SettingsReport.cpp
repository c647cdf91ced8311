#include "app/SettingsReport.h"

#include "datamanager/DataFolder.h"

#include <string_view>

namespace halcyra {
namespace {

class TReporter {
public:
    explicit TReporter(TRegistryHive& hive) : hive_(hive) {}

    bool Stored(std::string_view name, TRegDataType type)
    {
        try {
            return hive_.GetDataType(kProgramKey, name) == type;
        } catch (const std::exception&) {
            return false;
        }
    }

    void Bool(std::string_view name, bool defaultValue)
    {
        if (Stored(name, TRegDataType::Dword))
            Add(name, hive_.ReadDword(kProgramKey, name) != 0 ? "true" : "false", false);
        else
            Add(name, defaultValue ? "true" : "false", true);
    }

    std::int64_t Integer(std::string_view name, std::int64_t defaultValue, bool oneByte = false)
    {
        if (Stored(name, TRegDataType::Dword)) {
            std::int64_t value = static_cast<std::int32_t>(hive_.ReadDword(kProgramKey, name));
            if (oneByte) value &= 0xFF;
            Add(name, std::to_string(value), false);
            return value;
        }
        Add(name, std::to_string(defaultValue), true);
        return defaultValue;
    }

    std::string String(std::string_view name, const std::string& defaultValue)
    {
        if (Stored(name, TRegDataType::String)) {
            std::string value = hive_.ReadString(kProgramKey, name);
            Add(name, value, false);
            return value;
        }
        Add(name, defaultValue, true);
        return defaultValue;
    }

    void Add(std::string_view name, const std::string& value, bool isDefault)
    {
        lines.push_back(std::string(name) + " = " + value + (isDefault ? " (default)" : ""));
    }

    std::vector<std::string> lines;

private:
    TRegistryHive& hive_;
};

bool IsDigits(std::string_view text)
{
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::vector<std::string> ReportSettings(TSettingsStore& settings,
                                        const std::function<std::string(const std::string&)>& hostPath)
{
    settings.ChooseSettingsRoot();
    TReporter machine(settings.Registry().LocalMachine());
    machine.String("HKEY", "");
    const std::vector<std::string> hkeyLine = machine.lines;

    TReporter r(settings.RootHive());
    r.lines = hkeyLine;
    r.Bool("EnableLogfile", false);
    // The program adds the missing trailing backslash and falls back on C:\TEMP\ for an empty value.
    std::string debugFolder;
    if (r.Stored("DebugFolder", TRegDataType::String)) debugFolder = settings.RootHive().ReadString(kProgramKey, "DebugFolder");
    const bool debugDefault = debugFolder.empty();
    if (debugDefault) debugFolder = "C:\\TEMP\\";
    if (debugFolder.back() != '\\') debugFolder += '\\';
    r.Add("DebugFolder", debugFolder, debugDefault);
    r.Integer("ClientSocketPort", 13999);
    for (const char* name : {"AutoHide", "AutoStart", "AutoCreate", "FilterMR", "NoVelgard", "EnableDefaultUnits"})
        r.Bool(name, false);
    r.Integer("PatientIDReduction", 0, true);
    r.Integer("NrOfChars", 10);
    r.Bool("DataSourceIsCentralStation", !settings.ProgramKeyExists());
    r.Bool("IsAddress", false);
    r.String("IPString", "");
    r.Bool("UseHalcyraSettings", false);
    r.Integer("Interval", 10);
    r.Integer("MedianFilterValue", 15);
    r.Integer("TimerInterval", 1000);

    // The exclusion list: "Param0", "Param1", ... up to the first gap, each with its "Name" + code.
    int entries = 0;
    for (;; ++entries) {
        const std::string param = "Param" + std::to_string(entries);
        if (!r.Stored(param, TRegDataType::String)) break;
        const std::string code = r.String(param, "");
        r.String("Name" + code, "");
    }
    if (entries == 0) r.lines.push_back("Param0 = (none)");
    r.String("FilterFunction", "Median");
    r.Bool("Automatic", true);

    int patients = 0;
    std::vector<std::string> names;
    try {
        names = settings.RootHive().GetValueNames(kProgramKey);
    } catch (const std::exception&) {
    }
    for (const std::string& name : names) {
        if (name.size() > 7 && name.compare(0, 7, "Patient") == 0 && IsDigits(std::string_view(name).substr(7))) {
            r.String(name, "");
            ++patients;
        }
    }
    if (patients == 0) r.lines.push_back("Patient1 = (none)");

    const std::string unitsKey = TSettingsStore::ProgramSubkey("DefaultUnits");
    std::vector<std::string> labels;
    try {
        labels = settings.RootHive().GetValueNames(unitsKey);
        for (const std::string& label : labels)
            if (settings.RootHive().GetDataType(unitsKey, label) == TRegDataType::String)
                r.lines.push_back("DefaultUnits\\" + label + " = " + settings.RootHive().ReadString(unitsKey, label));
    } catch (const std::exception&) {
    }
    if (labels.empty()) r.lines.push_back("DefaultUnits = (none)");

    r.lines.push_back(std::string("SettingsRoot = ") + HiveRootName(settings.SettingsRoot()));
    r.lines.push_back("DebugFolder host path = " + hostPath(debugFolder));
    const TDataFolderInfo data = GetDataFolder(settings.RootHive(), kDataSubFolder, true);
    r.lines.push_back("DataFolder = " + data.dataFolder);
    r.lines.push_back("DataFolder host path = " + hostPath(data.dataFolder));
    r.lines.push_back(std::string("CompatibilityMode = ") + (data.compatibilityMode ? "true" : "false"));
    return r.lines;
}

}  // namespace halcyra
