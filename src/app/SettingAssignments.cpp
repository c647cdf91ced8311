#include "app/SettingAssignments.h"

#include "platform/Registry.h"
#include "platform/Text.h"
#include "relay/AllowedClients.h"

#include <cctype>
#include <charconv>

namespace halcyra {
namespace {

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

[[noreturn]] void Refuse(const TSetting& setting, std::string_view takes, std::string_view given)
{
    throw ESettingValue(std::string(setting.name) + " takes " + std::string(takes) + ", not " + Quoted(given));
}

std::uint32_t ParseBool(const TSetting& setting, std::string_view value)
{
    for (const char* yes : {"1", "true", "yes", "on"})
        if (SameTextAscii(value, yes)) return 1;
    for (const char* no : {"0", "false", "no", "off"})
        if (SameTextAscii(value, no)) return 0;
    Refuse(setting, "0 or 1", value);
}

std::uint32_t ParseInteger(const TSetting& setting, std::string_view value)
{
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() || number < setting.minNumber ||
        number > setting.maxNumber)
        Refuse(setting,
               "a whole number from " + std::to_string(setting.minNumber) + " to " + std::to_string(setting.maxNumber),
               value);
    return static_cast<std::uint32_t>(number);
}

// One IPv4 or IPv6 address, as the allow-list reads one.
bool IsAddress(std::string_view text)
{
    if (text.find_first_of("/; \t") != std::string_view::npos) return false;
    std::vector<std::string> rejected;
    const bool valid = TAllowedClients::Parse(text, rejected).AllowsAnyone();
    return valid && rejected.empty();
}

// Letters, digits and hyphens in dot-separated labels of at most 63 characters, 253 in all.
bool IsHostName(std::string_view text)
{
    if (text.empty() || text.size() > 253) return false;
    std::size_t label = 0;
    for (const char c : text) {
        if (c == '.') {
            if (label == 0) return false;
            label = 0;
            continue;
        }
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') return false;
        if (++label > 63) return false;
    }
    return label > 0;
}

// A Windows folder on a drive: "C:\TEMP\" (either separator); empty keeps the default.
bool IsDrivePath(std::string_view text)
{
    return text.empty() || (text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
                            (text[2] == '\\' || text[2] == '/'));
}

std::string ParseText(const TSetting& setting, std::string_view utf8)
{
    const std::string text = Utf8ToWin1252(utf8);
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 32) Refuse(setting, "text without control characters", utf8);
    if (&setting == &setting::HKEY) {
        for (const char* root : {"LOCAL_MACHINE", "CURRENT_USER"})
            if (SameTextAscii(text, root)) return root;
        Refuse(setting, "LOCAL_MACHINE or CURRENT_USER", utf8);
    }
    if (&setting == &setting::FilterFunction) {
        for (const char* function : {"Average", "Median", "Momentary"})
            if (SameTextAscii(text, function)) return function;
        Refuse(setting, "Average, Median or Momentary", utf8);
    }
    if (&setting == &setting::IPString && !IsHostName(text) && !IsAddress(text))
        Refuse(setting, "the central station's address or host name", utf8);
    if (&setting == &setting::DebugFolder && !IsDrivePath(text)) Refuse(setting, "a folder such as C:\\TEMP\\", utf8);
    if (&setting == &setting::RelayAllowedClients) {
        std::vector<std::string> rejected;
        TAllowedClients::Parse(text, rejected);
        if (!rejected.empty())
            Refuse(setting, "addresses and subnets separated by \";\" (" + Quoted(rejected.front()) + " is neither)",
                   utf8);
    }
    return text;
}

const TSettingAssignment* Find(const std::vector<TSettingAssignment>& assignments, const TSetting& setting)
{
    const TSettingAssignment* found = nullptr;
    for (const TSettingAssignment& a : assignments)
        if (a.setting == &setting) found = &a;
    return found;
}

std::string ShownValue(const TSettingAssignment& a)
{
    return a.setting->type == TSettingType::String ? Win1252ToUtf8(a.text) : std::to_string(a.number);
}

}  // namespace

TSettingAssignment ParseSettingAssignment(std::string_view argument)
{
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos || equals == 0)
        throw ESettingValue("--set takes NAME=VALUE, not " + Quoted(argument));
    const std::string_view name = argument.substr(0, equals);
    const std::string_view value = argument.substr(equals + 1);
    TSettingAssignment a;
    a.setting = FindSetting(name);
    if (a.setting == nullptr)
        throw ESettingValue("there is no setting " + Quoted(name) + " (halcyra --settings lists them)");
    switch (a.setting->type) {
        case TSettingType::Bool:
            a.number = ParseBool(*a.setting, value);
            break;
        case TSettingType::Integer:
            a.number = ParseInteger(*a.setting, value);
            break;
        case TSettingType::String:
            a.text = ParseText(*a.setting, value);
            break;
    }
    return a;
}

std::vector<std::string> StoreSettingAssignments(TSettingsStore& store,
                                                 const std::vector<TSettingAssignment>& assignments)
{
    // The root the settings will have once a new "HKEY" is stored.
    const TSettingAssignment* root = Find(assignments, setting::HKEY);
    if (root != nullptr)
        store.SetSettingsRoot(root->text == "LOCAL_MACHINE" ? THive::LocalMachine : THive::CurrentUser);
    else
        store.ChooseSettingsRoot();

    const TSettingAssignment* isAddress = Find(assignments, setting::IsAddress);
    const bool address = isAddress != nullptr ? isAddress->number != 0 : store.ReadRegBool(setting::IsAddress);
    const TSettingAssignment* ip = Find(assignments, setting::IPString);
    const std::string host = ip != nullptr ? ip->text : store.ReadRegString(setting::IPString);
    if (address && (ip != nullptr || isAddress != nullptr) && !IsAddress(host))
        throw ESettingValue("IPString must be an IP address while IsAddress is 1, not " + Quoted(Win1252ToUtf8(host)) +
                            " (IsAddress=0 takes a host name)");

    TRegValueChanges perMachine;
    TRegValueChanges perRoot;
    std::vector<std::string> stored;
    for (const TSettingAssignment& a : assignments) {
        TRegValueChanges& changes = a.setting->perMachine ? perMachine : perRoot;
        if (a.setting->type == TSettingType::String)
            changes.WriteString(a.setting->name, a.text);
        else
            changes.WriteDword(a.setting->name, a.number);
        stored.push_back(std::string(a.setting->name) + " = " + ShownValue(a));
    }
    if (!perMachine.Empty()) store.Registry().LocalMachine().WriteValues(kProgramKey, perMachine);
    if (!perRoot.Empty()) store.RootHive().WriteValues(kProgramKey, perRoot);
    return stored;
}

}  // namespace halcyra
