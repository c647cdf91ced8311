#include "params/ParameterUnit.h"

#include "platform/Text.h"

#include <algorithm>

namespace halcyra {

void TDefaultUnits::Load()
{
    table_.clear();
    stored_.clear();
    try {
        TRegistryHive& hive = settings_.RootHive();
        const std::string key = TSettingsStore::ProgramSubkey(kDefaultUnitsKey);
        if (!hive.KeyExists(key)) hive.CreateKey(key);
        for (const std::string& name : hive.GetValueNames(key)) table_.push_back({name, hive.ReadString(key, name)});
    } catch (const std::exception&) {
    }
}

std::string TDefaultUnits::Lookup(std::string_view label) const
{
    for (const TParameterUnit& entry : table_)
        if (SameTextAscii(entry.label, label)) return entry.unit;
    return {};
}

bool TDefaultUnits::Store(std::string_view label, std::string_view unit)
{
    if (unit.empty()) return false;
    try {
        settings_.RootHive().WriteString(TSettingsStore::ProgramSubkey(kDefaultUnitsKey), label, unit);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::string TDefaultUnits::ResolveUnit(std::string_view label, std::string_view unit, bool enableDefaultUnits)
{
    // A unit from the table is taken as it stands and never stored again: only an observed unit is.
    if (unit.empty()) return enableDefaultUnits ? Lookup(label) : std::string();
    std::string result = Trim(unit);
    scratch_.label = label;
    scratch_.unit = result;
    const bool known = std::any_of(table_.begin(), table_.end(), [this](const TParameterUnit& entry) {
        return SameTextAscii(entry.label, scratch_.label) && entry.unit == scratch_.unit;
    });
    if (known || storesLeft_ == 0) return result;
    // A pair this run wrote last for the label is in the registry already: written again, it would only
    // take the place of a new one.
    std::string key = UpperAscii(scratch_.label);
    const auto stored = stored_.find(key);
    if (stored != stored_.end() && stored->second == scratch_.unit) return result;
    --storesLeft_;
    if (Store(scratch_.label, scratch_.unit)) stored_[std::move(key)] = scratch_.unit;
    return result;
}

}  // namespace halcyra
