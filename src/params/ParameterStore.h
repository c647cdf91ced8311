// The exclusion list, the filter choice and the Automatic flag in the program key:
// "Param<i>" = decimal code (i from 0 without gaps), "Name<code>" = saved label, "FilterFunction",
// "Automatic".
#pragma once

#include "params/FilterChoice.h"
#include "params/ParamAndIndexConnection.h"
#include "params/Parameter.h"
#include "settings/SettingsStore.h"

namespace halcyra {

struct TExclusionSettings {
    TParamList excluded;
    TFilterFunction filterFunction = ffMedian;
    bool automatic = false;
};

// Appends the stored entries to `settings.excluded` (clearing the collected flag of each entry's
// parameter), then sets the filter choice, then Automatic (true when absent). A read error - a "Param"
// value that is not a decimal number, a value of the wrong type, a program key that cannot be created -
// ends the loading there: the entries read so far stay, and the filter choice and Automatic keep the
// values they had.
void LoadExclusionSettings(TSettingsStore& store, TParameters& parameters, TExclusionSettings& settings);

// "Set As Default" of the parameter dialog. With `automaticChecked` only "Automatic" is written, as true.
// Otherwise every value whose name begins with "Param" or "Name" is deleted first, so a shorter list
// leaves nothing stale, then the list is written and "Automatic" as false. Errors end the save silently.
void SaveExclusionSettings(TSettingsStore& store, const TParamList& excluded, bool automaticChecked);

}  // namespace halcyra
