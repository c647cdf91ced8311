#include "params/ParameterUnit.h"

#include "platform/Text.h"

namespace halcyra {

void TDefaultUnits::Load()
{
    table_.clear();
    index_.clear();
    try {
        TRegistryHive& hive = settings_.RootHive();
        const std::string key = TSettingsStore::ProgramSubkey(kDefaultUnitsKey);
        if (!hive.KeyExists(key)) hive.CreateKey(key);
        for (const std::string& name : hive.GetValueNames(key)) {
            table_.push_back({name, hive.ReadString(key, name)});
            index_.emplace(UpperAscii(name), table_.size() - 1);
        }
    } catch (const std::exception&) {
    }
}

const TParameterUnit* TDefaultUnits::Find(std::string_view label) const
{
    const auto found = index_.find(UpperAscii(label));
    return found == index_.end() ? nullptr : &table_[found->second];
}

void TDefaultUnits::Remember(std::string_view label, std::string_view unit)
{
    // The registry keeps the name a label was first written with, so the entry keeps its label too.
    const auto [found, added] = index_.emplace(UpperAscii(label), table_.size());
    if (added)
        table_.push_back({std::string(label), std::string(unit)});
    else
        table_[found->second].unit = unit;
}

std::string TDefaultUnits::Lookup(std::string_view label) const
{
    const TParameterUnit* entry = Find(label);
    return entry != nullptr ? entry->unit : std::string();
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
    if (result.empty()) return result;
    const TParameterUnit* known = Find(scratch_.label);
    if ((known != nullptr && known->unit == scratch_.unit) || storesLeft_ == 0) return result;
    if (known == nullptr) {
        // A station that invents labels would otherwise grow the table and the hive without end.
        if (labelsAdded_ >= kMaxParametersPerRun) {
            ++labelsNotStored_;
            return result;
        }
        ++labelsAdded_;
    }
    --storesLeft_;
    Remember(scratch_.label, scratch_.unit);
    const auto [found, added] = pendingIndex_.emplace(UpperAscii(scratch_.label), pending_.size());
    if (added)
        pending_.push_back(scratch_);
    else
        pending_[found->second].unit = scratch_.unit;
    return result;
}

TDefaultUnits::~TDefaultUnits()
{
    try {
        Flush();
    } catch (...) {
    }
}

bool TDefaultUnits::FlushIfDue(TMonotonic now)
{
    if (pending_.empty() || (flushedOnce_ && now - lastFlush_ < kDefaultUnitsFlushSeconds)) return false;
    // Due again only after the pause, also when this one fails: a broken hive is not tried per message.
    flushedOnce_ = true;
    lastFlush_ = now;
    return Flush();
}

bool TDefaultUnits::Flush()
{
    if (pending_.empty()) return false;
    TRegValueChanges changes;
    for (const TParameterUnit& pair : pending_) changes.WriteString(pair.label, pair.unit);
    try {
        settings_.RootHive().WriteValues(TSettingsStore::ProgramSubkey(kDefaultUnitsKey), changes);
    } catch (const std::exception&) {
        return false;
    }
    pending_.clear();
    pendingIndex_.clear();
    return true;
}

}  // namespace halcyra
