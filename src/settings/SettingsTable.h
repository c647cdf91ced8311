// Every named value of the program key, declared once: its name, type and default, and how a stored value
// becomes the value the program uses. The program, `--settings` and the settings dialogs read them from
// here, so a default cannot differ between them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

enum class TSettingType { Bool, Integer, String };

struct TSetting {
    std::string_view name;
    TSettingType type = TSettingType::Bool;
    // Bool (0 or 1) and Integer.
    std::int32_t defaultNumber = 0;
    // String.
    std::string_view defaultText{};
    // Turns a stored number into the number the program uses; null keeps it as stored.
    std::int32_t (*useNumber)(std::int32_t stored) = nullptr;
    // Turns stored text into the text the program uses; null keeps it as stored.
    std::string (*useText)(std::string stored) = nullptr;
    // Read from and written to the per-machine hive, whatever the settings root is.
    bool perMachine = false;
    // A Bool that reads as true while the program key cannot be opened at all.
    bool trueWithoutProgramKey = false;
    // Integer: the values an administrator may store (`halcyra --set`), as the dialogs offer them.
    std::int32_t minNumber = 0;
    std::int32_t maxNumber = INT32_MAX;
};

// The debug folder as used: "C:\TEMP\" for empty text, and always a trailing backslash.
std::string DebugFolderInUse(std::string stored);
// Held in one byte.
std::int32_t LowByte(std::int32_t stored);
// The collection timer's period: below 10 ms runs at 10 ms, as the system timer does; a negative value
// would give no timer at all and counts as the default.
std::int32_t TimerIntervalInUse(std::int32_t stored);

namespace setting {

using enum TSettingType;

inline constexpr TSetting HKEY{.name = "HKEY", .type = String, .perMachine = true};
inline constexpr TSetting EnableLogfile{.name = "EnableLogfile", .type = Bool};
inline constexpr TSetting DebugFolder{
    .name = "DebugFolder", .type = String, .defaultText = "C:\\TEMP\\", .useText = DebugFolderInUse};
inline constexpr TSetting ClientSocketPort{
    .name = "ClientSocketPort", .type = Integer, .defaultNumber = 13999, .minNumber = 1, .maxNumber = 65535};
// Who may take the relayed stream: addresses and subnets separated by ";". Without a valid entry the relay
// server does not listen.
inline constexpr TSetting RelayAllowedClients{.name = "RelayAllowedClients", .type = String};
inline constexpr TSetting AutoHide{.name = "AutoHide", .type = Bool};
inline constexpr TSetting AutoStart{.name = "AutoStart", .type = Bool};
inline constexpr TSetting AutoCreate{.name = "AutoCreate", .type = Bool};
inline constexpr TSetting FilterMR{.name = "FilterMR", .type = Bool};
inline constexpr TSetting NoVelgard{.name = "NoVelgard", .type = Bool};
inline constexpr TSetting EnableDefaultUnits{.name = "EnableDefaultUnits", .type = Bool};
// 0 none, 1 the first, 2 the last "NrOfChars" characters.
inline constexpr TSetting PatientIDReduction{
    .name = "PatientIDReduction", .type = Integer, .useNumber = LowByte, .minNumber = 0, .maxNumber = 2};
inline constexpr TSetting NrOfChars{
    .name = "NrOfChars", .type = Integer, .defaultNumber = 10, .minNumber = 5, .maxNumber = 20};
inline constexpr TSetting DataSourceIsCentralStation{
    .name = "DataSourceIsCentralStation", .type = Bool, .trueWithoutProgramKey = true};
// Absent counts as false: "IPString" then names a host.
inline constexpr TSetting IsAddress{.name = "IsAddress", .type = Bool};
inline constexpr TSetting IPString{.name = "IPString", .type = String};
inline constexpr TSetting UseHalcyraSettings{.name = "UseHalcyraSettings", .type = Bool};
// Seconds; at most 1:59:30, the interval dialog's longest.
inline constexpr TSetting Interval{
    .name = "Interval", .type = Integer, .defaultNumber = 10, .minNumber = 1, .maxNumber = 7170};
// Seconds.
inline constexpr TSetting MedianFilterValue{
    .name = "MedianFilterValue", .type = Integer, .defaultNumber = 15, .minNumber = 1, .maxNumber = 3600};
// Milliseconds.
inline constexpr TSetting TimerInterval{.name = "TimerInterval",
                                        .type = Integer,
                                        .defaultNumber = 1000,
                                        .useNumber = TimerIntervalInUse,
                                        .minNumber = 10,
                                        .maxNumber = 60000};
inline constexpr TSetting FilterFunction{.name = "FilterFunction", .type = String, .defaultText = "Median"};
inline constexpr TSetting Automatic{.name = "Automatic", .type = Bool, .defaultNumber = 1};

}  // namespace setting

// The named values in the order `--settings` lists them; the exclusion list ("Param<i>", "Name<code>")
// goes before "FilterFunction", the census ("Patient<n>") and "DefaultUnits" after "Automatic".
inline constexpr std::array kSettingsTable{
    &setting::HKEY,
    &setting::EnableLogfile,
    &setting::DebugFolder,
    &setting::ClientSocketPort,
    &setting::RelayAllowedClients,
    &setting::AutoHide,
    &setting::AutoStart,
    &setting::AutoCreate,
    &setting::FilterMR,
    &setting::NoVelgard,
    &setting::EnableDefaultUnits,
    &setting::PatientIDReduction,
    &setting::NrOfChars,
    &setting::DataSourceIsCentralStation,
    &setting::IsAddress,
    &setting::IPString,
    &setting::UseHalcyraSettings,
    &setting::Interval,
    &setting::MedianFilterValue,
    &setting::TimerInterval,
    &setting::FilterFunction,
    &setting::Automatic,
};

// The values that come in families, and the subkey of the default units.
inline constexpr std::string_view kExcludedParamPrefix = "Param";  // "Param0", "Param1", ... decimal code
inline constexpr std::string_view kExcludedNamePrefix = "Name";    // "Name<code>": the saved label
inline constexpr std::string_view kCensusPrefix = "Patient";       // "Patient1", "Patient2", ...
inline constexpr std::string_view kDefaultUnitsKey = "DefaultUnits";

// The table entry of that name (ignoring ASCII case, as registry names do); null when there is none.
const TSetting* FindSetting(std::string_view name);

}  // namespace halcyra
