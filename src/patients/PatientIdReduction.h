// Patient IDs as the census keys them: an optional "MR" suffix filter and a cut to the first or last
// characters of long IDs. The reduced ID also names the patient's folder.
#pragma once

#include "settings/SettingsStore.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

enum class TPatientIdReductionMode : std::int32_t { None = 0, FirstCharacters = 1, LastCharacters = 2 };

struct TPatientIdReductionSettings {
    bool filterMR = false;                                         // "FilterMR"
    TPatientIdReductionMode mode = TPatientIdReductionMode::None;  // "PatientIDReduction"
    std::int32_t nrOfChars = 10;                                   // "NrOfChars"
};

class TPatientIdReduction {
public:
    TPatientIdReduction() = default;
    explicit TPatientIdReduction(const TPatientIdReductionSettings& settings) : settings_(settings) {}

    // Reads "FilterMR", "PatientIDReduction" and "NrOfChars"; called at start-up and after the settings
    // dialog changed them.
    void LoadSettings(TSettingsStore& store);
    const TPatientIdReductionSettings& Settings() const { return settings_; }
    void SetSettings(const TPatientIdReductionSettings& settings) { settings_ = settings; }

    // Drops a trailing upper-case "MR" (when filtered and the ID is longer than 2), then cuts an ID longer
    // than 10 characters to its first or last NrOfChars characters. A result that is empty or only dots
    // would name the data folder or its parent: the ID is then returned as it was given.
    std::string ReducePatientID(std::string_view id) const;

private:
    TPatientIdReductionSettings settings_;
};

}  // namespace halcyra
