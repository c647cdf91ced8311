// `halcyra --set NAME=VALUE`: settings stored by their names, with the type and the limits the settings
// table and the dialogs give them. Every assignment is checked before anything is written, so a bad one
// stores none.
#pragma once

#include "settings/SettingsStore.h"
#include "settings/SettingsTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TSettingAssignment {
    const TSetting* setting = nullptr;
    std::string text;          // String, single-byte as stored
    std::uint32_t number = 0;  // Bool and Integer
};

// A value that is not the setting's: the message names the setting, what it takes and what was given.
class ESettingValue : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "NAME=VALUE" (NAME in any letter case; VALUE in UTF-8) as the value to store; throws ESettingValue for an
// unknown name or a value outside the setting's type and limits.
TSettingAssignment ParseSettingAssignment(std::string_view argument);

// Checks the assignments against one another and what is stored ("IPString" must be an address while
// "IsAddress" is 1), then stores them, those of the per-machine hive first and then the rest in the hive
// the settings root names, each hive in one atomic write. Throws ESettingValue before anything is written;
// ERegistryError when a hive cannot be written. Gives one "Name = value" line per setting stored.
std::vector<std::string> StoreSettingAssignments(TSettingsStore& store,
                                                 const std::vector<TSettingAssignment>& assignments);

}  // namespace halcyra
