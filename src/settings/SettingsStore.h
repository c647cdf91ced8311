// The program's settings: values under the program key in the hive chosen as SettingsRoot.
#pragma once

#include "platform/Registry.h"
#include "settings/SettingsTable.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr std::string_view kProgramKey = "\\SOFTWARE\\Tovarin\\Quarzel\\External Collect\\1.0\\Halcyra";

class TSettingsStore {
public:
    explicit TSettingsStore(TRegistry& registry) : registry_(registry) {}

    TRegistry& Registry() { return registry_; }
    // The hive that holds the program key for all reads and writes.
    THive SettingsRoot() const { return root_; }
    void SetSettingsRoot(THive hive) { root_ = hive; }
    TRegistryHive& RootHive() { return registry_.Hive(root_); }

    // The per-machine hive's "HKEY" reading exactly "LOCAL_MACHINE" selects it; anything else, or any
    // failure, selects the per-user hive.
    void ChooseSettingsRoot();
    // Writes "HKEY" in the per-machine hive for the chosen hive and makes it the root; values are not
    // copied. Errors are swallowed like every write (the root still changes).
    void RelocateSettingsRoot(THive hive);

    // A subkey of the program key, for the stores that keep lists there ("DefaultUnits").
    static std::string ProgramSubkey(std::string_view name);

    bool ProgramKeyExists();

    // Read without creating the key; a missing value, a value of another type, or any registry error
    // gives the default. Strings are read from both string types (REG_SZ and REG_EXPAND_SZ, unexpanded).
    bool ReadRegBool(std::string_view name);
    std::int32_t ReadRegInteger(std::string_view name, std::int32_t defaultValue);
    std::string ReadRegString(std::string_view name);
    // Create the key when missing; failures are lost without notice.
    void WriteRegBool(std::string_view name, bool value);
    void WriteRegInteger(std::string_view name, std::int32_t value);
    void WriteRegString(std::string_view name, std::string_view value);

    // A setting of the table as the program uses it: the stored value when it has the setting's type,
    // else the table's default, turned into the value in use by the table's rule.
    bool ReadRegBool(const TSetting& setting);
    std::int32_t ReadRegInteger(const TSetting& setting);
    std::string ReadRegString(const TSetting& setting);
    void WriteRegBool(const TSetting& setting, bool value);
    void WriteRegInteger(const TSetting& setting, std::int32_t value);
    void WriteRegString(const TSetting& setting, std::string_view value);

    // The value as stored, as text ("1", "300", or the string), when it is there with the setting's type.
    std::optional<std::string> StoredValue(const TSetting& setting);

private:
    TRegistryHive& HiveOf(const TSetting& setting)
    {
        return setting.perMachine ? registry_.LocalMachine() : RootHive();
    }
    std::optional<std::uint32_t> StoredNumber(const TSetting& setting);
    std::optional<std::string> StoredText(const TSetting& setting);

    TRegistry& registry_;
    THive root_ = THive::CurrentUser;
};

}  // namespace halcyra
