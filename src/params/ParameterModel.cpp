#include "params/ParameterModel.h"

#include "params/ParameterStore.h"

namespace halcyra {

TParameterModel::TParameterModel(TSettingsStore& settings) : settings_(settings), defaultUnits_(settings) {}

void TParameterModel::LoadFirstShow()
{
    TExclusionSettings loaded;
    loaded.excluded = std::move(excluded_);
    loaded.filterFunction = filterFunction_;
    loaded.automatic = automatic_;
    LoadExclusionSettings(settings_, parameters_, loaded);
    excluded_ = std::move(loaded.excluded);
    filterFunction_ = loaded.filterFunction;
    automatic_ = loaded.automatic;
}

bool TParameterModel::RegisterParameter(std::int32_t code, std::string_view label, std::string_view unit, TDateTime now)
{
    if (parameters_.IsKnown(code)) return false;
    if (parameters_.Count() >= kMaxParametersPerRun) {
        ++refusedParameters_;
        return false;
    }
    parameters_.Append(code, std::string(label), std::string(unit), now);
    if (!IsExcluded(label)) ++collectedCount_;
    return true;
}

void TParameterModel::ApplyCollectedFlags()
{
    parameters_.SetAllCollected();
    parameters_.ClearCollected(excluded_);
}

void TParameterModel::SaveAsDefault(const TParamList& excluded, bool automaticChecked)
{
    SaveExclusionSettings(settings_, excluded, automaticChecked);
}

}  // namespace halcyra
