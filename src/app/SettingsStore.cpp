#include "app/SettingsStore.h"

namespace halcyra {

void TSettingsStore::ChooseSettingsRoot()
{
    root_ = THive::LocalMachine;
    std::string hkey;
    try {
        TRegistryHive& machine = registry_.LocalMachine();
        const TRegDataType type = machine.GetDataType(kProgramKey, "HKEY");
        if (type == TRegDataType::String || type == TRegDataType::ExpandString) hkey = machine.ReadString(kProgramKey, "HKEY");
    } catch (const std::exception&) {
        hkey.clear();
    }
    if (hkey != "LOCAL_MACHINE") root_ = THive::CurrentUser;
}

void TSettingsStore::RelocateSettingsRoot(THive hive)
{
    root_ = THive::LocalMachine;
    WriteRegString("HKEY", hive == THive::LocalMachine ? "LOCAL_MACHINE" : "CURRENT_USER");
    root_ = hive;
}

std::string TSettingsStore::ProgramSubkey(std::string_view name)
{
    std::string key(kProgramKey);
    key += '\\';
    key += name;
    return key;
}

bool TSettingsStore::ProgramKeyExists()
{
    try {
        return RootHive().KeyExists(kProgramKey);
    } catch (const std::exception&) {
        return false;
    }
}

bool TSettingsStore::ReadRegBool(std::string_view name) { return ReadRegInteger(name, 0) != 0; }

std::int32_t TSettingsStore::ReadRegInteger(std::string_view name, std::int32_t defaultValue)
{
    try {
        TRegistryHive& hive = RootHive();
        if (hive.ValueExists(kProgramKey, name)) return static_cast<std::int32_t>(hive.ReadDword(kProgramKey, name));
    } catch (const std::exception&) {
    }
    return defaultValue;
}

std::string TSettingsStore::ReadRegString(std::string_view name)
{
    try {
        TRegistryHive& hive = RootHive();
        if (hive.ValueExists(kProgramKey, name)) return hive.ReadString(kProgramKey, name);
    } catch (const std::exception&) {
    }
    return {};
}

void TSettingsStore::WriteRegBool(std::string_view name, bool value) { WriteRegInteger(name, value ? 1 : 0); }

void TSettingsStore::WriteRegInteger(std::string_view name, std::int32_t value)
{
    try {
        RootHive().WriteDword(kProgramKey, name, static_cast<std::uint32_t>(value));
    } catch (const std::exception&) {
    }
}

void TSettingsStore::WriteRegString(std::string_view name, std::string_view value)
{
    try {
        RootHive().WriteString(kProgramKey, name, value);
    } catch (const std::exception&) {
    }
}

}  // namespace halcyra
