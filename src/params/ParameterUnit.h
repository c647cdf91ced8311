// Default units: the unit last seen for each label, kept in the "DefaultUnits" subkey, supplied when an
// observation arrives without one.
#pragma once

#include "settings/SettingsStore.h"

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halcyra {

// The most new pairs one message stores. Every store rewrites the hive file (some milliseconds), so a message
// of a thousand new labels would hold the run for seconds; a pair left over is stored by a later message
// that brings it.
inline constexpr std::size_t kMaxUnitsStoredPerMessage = 20;

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
    // Registry errors are lost without notice; true when the pair was written.
    bool Store(std::string_view label, std::string_view unit);

    // The unit an observation is taken with: an empty unit is looked up when `enableDefaultUnits` (nothing
    // is trimmed or stored then); a non-empty one is trimmed of blanks and control characters, and stored
    // unless the table already has the label (ignoring ASCII case) with exactly this unit. A stored pair
    // takes its label's place in the table, or joins it at the end as the registry lists it, so a
    // parameter whose unit stays the same costs one registry write per run.
    std::string ResolveUnit(std::string_view label, std::string_view unit, bool enableDefaultUnits);
    // From now on, ResolveUnit stores at most `count` pairs (the handling of a message sets it); the pairs
    // it does not store are stored again when they come again. Unlimited until set.
    void AllowStores(std::size_t count) { storesLeft_ = count; }

    // The scratch pair ("Noname", empty unit) the decoder compares with.
    const TParameterUnit& Scratch() const { return scratch_; }

private:
    TSettingsStore& settings_;
    std::vector<TParameterUnit> table_;
    TParameterUnit scratch_{"Noname", ""};
    std::size_t storesLeft_ = std::numeric_limits<std::size_t>::max();
    // The table's position of the first entry of each upper-case label.
    std::unordered_map<std::string, std::size_t> index_;

    const TParameterUnit* Find(std::string_view label) const;
    void Remember(std::string_view label, std::string_view unit);
};

}  // namespace halcyra
