#include "params/ParameterStore.h"

#include "platform/Text.h"

#include <string>

namespace halcyra {
namespace {

// Registry names compare without regard to ASCII case, so "param3" is as stale as "Param3".
bool StartsWithAscii(std::string_view name, std::string_view prefix)
{
    return name.size() >= prefix.size() && SameTextAscii(name.substr(0, prefix.size()), prefix);
}

}  // namespace

void LoadExclusionSettings(TSettingsStore& store, TParameters& parameters, TExclusionSettings& settings)
{
    try {
        TRegistryHive& hive = store.RootHive();
        if (!hive.KeyExists(kProgramKey)) hive.CreateKey(kProgramKey);
        for (int i = 0;; ++i) {
            const std::string paramName = std::string(kExcludedParamPrefix) + std::to_string(i);
            if (!hive.ValueExists(kProgramKey, paramName)) break;
            const std::string codeText = hive.ReadString(kProgramKey, paramName);
            std::int32_t code = 0;
            if (!TryStrToInt32(codeText, code)) return;
            const std::string labelName = std::string(kExcludedNamePrefix) + codeText;
            std::string label;
            if (hive.ValueExists(kProgramKey, labelName)) label = hive.ReadString(kProgramKey, labelName);
            TParamAndIndexConnection entry(code, std::move(label));
            settings.excluded.push_back(entry);
            if (TParameter* parameter = parameters.Find(code)) parameter->SetCollected(false);
        }

        std::optional<std::string> filterText;
        if (hive.ValueExists(kProgramKey, setting::FilterFunction.name))
            filterText = hive.ReadString(kProgramKey, setting::FilterFunction.name);
        settings.filterFunction = FilterFunctionFromText(filterText);

        // A value of another type is a read error, which ends the load with Automatic off; absent, the
        // table's default holds.
        settings.automatic = hive.ValueExists(kProgramKey, setting::Automatic.name)
                                 ? hive.ReadDword(kProgramKey, setting::Automatic.name) != 0
                                 : setting::Automatic.defaultNumber != 0;
    } catch (const std::exception&) {
    }
}

void SaveExclusionSettings(TSettingsStore& store, const TParamList& excluded, bool automaticChecked)
{
    try {
        TRegistryHive& hive = store.RootHive();
        if (automaticChecked) {
            hive.WriteDword(kProgramKey, setting::Automatic.name, 1);
            return;
        }
        if (!hive.KeyExists(kProgramKey)) hive.CreateKey(kProgramKey);
        for (const std::string& name : hive.GetValueNames(kProgramKey))
            if (StartsWithAscii(name, kExcludedParamPrefix) || StartsWithAscii(name, kExcludedNamePrefix))
                hive.DeleteValue(kProgramKey, name);
        for (std::size_t i = 0; i < excluded.size(); ++i) {
            const std::string code = std::to_string(excluded[i].Code());
            hive.WriteString(kProgramKey, std::string(kExcludedParamPrefix) + std::to_string(i), code);
            hive.WriteString(kProgramKey, std::string(kExcludedNamePrefix) + code, excluded[i].SavedLabel());
        }
        hive.WriteDword(kProgramKey, setting::Automatic.name, 0);
    } catch (const std::exception&) {
    }
}

}  // namespace halcyra
