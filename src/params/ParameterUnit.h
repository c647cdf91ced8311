// Default units: the unit last seen for each label, kept in the "DefaultUnits" subkey, supplied when an
// observation arrives without one.
#pragma once

#include "settings/SettingsStore.h"

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TParameterUnit {
    std::string label;
    std::string unit;
};

class TDefaultUnits {
public:
    explicit TDefaultUnits(TSettingsStore& settings) : settings_(settings) {}

    // Empties the table and reads the subkey (created with the program key when missing), in the order
    // the registry lists the values. A registry error ends the loading; what was read stays.
    void Load();
    const std::vector<TParameterUnit>& Table() const { return table_; }

    // The unit of the first entry whose label matches ignoring ASCII case; empty when none does.
    std::string Lookup(std::string_view label) const;
    // Writes the pair to the subkey (creating it) when the unit is not empty; the table is not changed.
    // Registry errors are lost without notice.
    void Store(std::string_view label, std::string_view unit);

    // The unit an observation is taken with: an empty unit is looked up when `enableDefaultUnits` (nothing
    // is trimmed or stored then); a non-empty one is trimmed of blanks and control characters, and stored
    // unless the table already has the label (ignoring ASCII case) with exactly this unit. As the table is
    // not extended, a new pair is stored again with every observation until the next start.
    std::string ResolveUnit(std::string_view label, std::string_view unit, bool enableDefaultUnits);

    // The scratch pair ("Noname", empty unit) the decoder compares with.
    const TParameterUnit& Scratch() const { return scratch_; }

private:
    TSettingsStore& settings_;
    std::vector<TParameterUnit> table_;
    TParameterUnit scratch_{"Noname", ""};
};

}  // namespace halcyra
