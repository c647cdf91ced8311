// The parameter state the main window owns, in one place: the parameter table, the exclusion list
// ExcludedParams, the Automatic flag, the collected count, the filter choice and the default units.
#pragma once

#include "params/FilterChoice.h"
#include "params/ParamAndIndexConnection.h"
#include "params/Parameter.h"
#include "params/ParameterUnit.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

class TParameterModel {
public:
    // Creates the scratch unit pair and the empty tables; nothing is read yet.
    explicit TParameterModel(TSettingsStore& settings);

    // Loads the default-unit table from "DefaultUnits" (created, with the program key, when missing).
    void LoadDefaultUnits() { defaultUnits_.Load(); }
    // First show: the exclusion list, the filter choice and the Automatic flag. A read error keeps the
    // entries read so far and leaves the filter choice and Automatic (false until loaded) as they were.
    void LoadFirstShow();

    TParameters& Parameters() { return parameters_; }
    const TParameters& Parameters() const { return parameters_; }
    TParamList& ExcludedParams() { return excluded_; }
    const TParamList& ExcludedParams() const { return excluded_; }
    TDefaultUnits& DefaultUnits() { return defaultUnits_; }

    bool Automatic() const { return automatic_; }
    void SetAutomatic(bool automatic) { automatic_ = automatic; }
    TFilterFunction FilterFunction() const { return filterFunction_; }
    // Parameters not on the exclusion list when they first arrived; the parameter dialog resets it.
    int CollectedCount() const { return collectedCount_; }
    void SetCollectedCount(int count) { collectedCount_ = count; }

    bool IsExcluded(std::string_view label) const { return halcyra::IsExcluded(excluded_, label); }

    // A numeric observation's parameter: a new code is appended with this label and unit (which never
    // change afterwards) and counted when its label is not excluded. True when the code was new. Once the
    // table holds kMaxParametersPerRun parameters a new code is not appended, only counted as refused.
    bool RegisterParameter(std::int32_t code, std::string_view label, std::string_view unit, TDateTime now);
    // Observations whose new code found the table full.
    std::size_t RefusedParameters() const { return refusedParameters_; }

    // Start and the parameter dialog: every parameter collected, except those whose code is excluded.
    void ApplyCollectedFlags();

    // "Set As Default" of the parameter dialog with its list and "Automatic Parameters" box.
    void SaveAsDefault(const TParamList& excluded, bool automaticChecked);

private:
    TSettingsStore& settings_;
    TParameters parameters_;
    TParamList excluded_;
    TDefaultUnits defaultUnits_;
    bool automatic_ = false;
    TFilterFunction filterFunction_ = ffMedian;
    int collectedCount_ = 0;
    std::size_t refusedParameters_ = 0;
};

}  // namespace halcyra
