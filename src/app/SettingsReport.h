// The settings as the program would use them now, for `halcyra --settings`. Reads only.
#pragma once

#include "settings/SettingsStore.h"

#include <functional>
#include <string>
#include <vector>

namespace halcyra {

// One "Name = value" line per setting of the table (and per entry of the exclusion list, the census and the
// default units), showing the value the program will use, " (default)" after a value that is not stored
// (or stored with a type the program cannot use); then the settings root, the debug folder with its host
// path, and the data manager's data folder with its host path and the compatibility mode. Control
// characters are shown escaped.
// hostPath maps a Windows path to a host path for display (and may describe an error instead).
std::vector<std::string> ReportSettings(TSettingsStore& settings,
                                        const std::function<std::string(const std::string&)>& hostPath);

}  // namespace halcyra
