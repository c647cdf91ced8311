#include "settings/SettingsStore.h"

namespace halcyra {
namespace {

bool IsText(TRegDataType type)
{
    return type == TRegDataType::String || type == TRegDataType::ExpandString;
}

}  // namespace

void TSettingsStore::ChooseSettingsRoot()
{
    root_ = THive::LocalMachine;
    const std::string hkey = StoredText(setting::HKEY).value_or(std::string());
    if (hkey != "LOCAL_MACHINE") root_ = THive::CurrentUser;
}

void TSettingsStore::RelocateSettingsRoot(THive hive)
{
    WriteRegString(setting::HKEY, hive == THive::LocalMachine ? "LOCAL_MACHINE" : "CURRENT_USER");
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

bool TSettingsStore::ReadRegBool(std::string_view name)
{
    return ReadRegInteger(name, 0) != 0;
}

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

void TSettingsStore::WriteRegBool(std::string_view name, bool value)
{
    WriteRegInteger(name, value ? 1 : 0);
}

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

std::optional<std::uint32_t> TSettingsStore::StoredNumber(const TSetting& setting)
{
    try {
        TRegistryHive& hive = HiveOf(setting);
        if (hive.GetDataType(kProgramKey, setting.name) == TRegDataType::Dword)
            return hive.ReadDword(kProgramKey, setting.name);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

std::optional<std::string> TSettingsStore::StoredText(const TSetting& setting)
{
    try {
        TRegistryHive& hive = HiveOf(setting);
        if (IsText(hive.GetDataType(kProgramKey, setting.name))) return hive.ReadString(kProgramKey, setting.name);
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

bool TSettingsStore::ReadRegBool(const TSetting& setting)
{
    if (const auto stored = StoredNumber(setting)) return *stored != 0;
    if (setting.trueWithoutProgramKey && !ProgramKeyExists()) return true;
    return setting.defaultNumber != 0;
}

std::int32_t TSettingsStore::ReadRegInteger(const TSetting& setting)
{
    const std::int32_t value = static_cast<std::int32_t>(StoredNumber(setting).value_or(setting.defaultNumber));
    return setting.useNumber != nullptr ? setting.useNumber(value) : value;
}

std::string TSettingsStore::ReadRegString(const TSetting& setting)
{
    std::string value = StoredText(setting).value_or(std::string(setting.defaultText));
    return setting.useText != nullptr ? setting.useText(std::move(value)) : value;
}

void TSettingsStore::WriteRegBool(const TSetting& setting, bool value)
{
    WriteRegInteger(setting, value ? 1 : 0);
}

void TSettingsStore::WriteRegInteger(const TSetting& setting, std::int32_t value)
{
    try {
        HiveOf(setting).WriteDword(kProgramKey, setting.name, static_cast<std::uint32_t>(value));
    } catch (const std::exception&) {
    }
}

void TSettingsStore::WriteRegString(const TSetting& setting, std::string_view value)
{
    try {
        HiveOf(setting).WriteString(kProgramKey, setting.name, value);
    } catch (const std::exception&) {
    }
}

std::optional<std::string> TSettingsStore::StoredValue(const TSetting& setting)
{
    if (setting.type == TSettingType::String) return StoredText(setting);
    const auto number = StoredNumber(setting);
    if (!number) return std::nullopt;
    return std::to_string(static_cast<std::int32_t>(*number));
}

}  // namespace halcyra
