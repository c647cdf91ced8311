// Default units: the unit last seen for each label, kept in the "DefaultUnits" subkey, supplied when an
// observation arrives without one.
#pragma once

#include "params/Parameter.h"
#include "platform/Clock.h"
#include "settings/SettingsStore.h"

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halcyra {

// The most new pairs one message stores; a pair left over is stored by a later message that brings it.
inline constexpr std::size_t kMaxUnitsStoredPerMessage = 20;
// The least time between two rewrites of the hive file for new default units. A rewrite waits on the disk
// (some milliseconds), so a station that brings new labels in every message would otherwise pay one per
// message.
inline constexpr double kDefaultUnitsFlushSeconds = 30;

struct TParameterUnit {
    std::string label;
    std::string unit;
};

class TDefaultUnits {
public:
    explicit TDefaultUnits(TSettingsStore& settings) : settings_(settings) {}
    // Writes what is still waiting.
    ~TDefaultUnits();
    TDefaultUnits(const TDefaultUnits&) = delete;
    TDefaultUnits& operator=(const TDefaultUnits&) = delete;

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
    // takes its label's place in the table at once, or joins it at the end as the registry lists it, and
    // waits for Flush. A run adds at most kMaxParametersPerRun labels: a label beyond them is not stored.
    std::string ResolveUnit(std::string_view label, std::string_view unit, bool enableDefaultUnits);
    // Writes the pairs stored since the last flush with one rewrite of the hive file. On a registry error
    // the pairs wait for the next flush. True when a write was made.
    bool Flush();
    // Flush, when pairs wait and kDefaultUnitsFlushSeconds have passed since the last one that was due (the
    // first is due at once): the handling of each message calls it at its end.
    bool FlushIfDue(TMonotonic now);
    // Labels this run added to the table, and observed labels not stored because the run added its most.
    std::size_t LabelsAdded() const { return labelsAdded_; }
    std::size_t LabelsNotStored() const { return labelsNotStored_; }
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
    // Pairs waiting for Flush, one per label (the last unit seen), in the order they came.
    std::vector<TParameterUnit> pending_;
    std::unordered_map<std::string, std::size_t> pendingIndex_;
    std::size_t labelsAdded_ = 0;
    std::size_t labelsNotStored_ = 0;
    bool flushedOnce_ = false;
    TMonotonic lastFlush_ = 0;

    const TParameterUnit* Find(std::string_view label) const;
    void Remember(std::string_view label, std::string_view unit);
};

}  // namespace halcyra
