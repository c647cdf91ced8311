#include "patients/PatientIdReduction.h"

#include <algorithm>

namespace halcyra {
namespace {

constexpr std::size_t kReductionThreshold = 10;

bool EmptyOrDots(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '.'; });
}

}  // namespace

void TPatientIdReduction::LoadSettings(TSettingsStore& store)
{
    settings_.filterMR = store.ReadRegBool(setting::FilterMR);
    settings_.mode = static_cast<TPatientIdReductionMode>(store.ReadRegInteger(setting::PatientIDReduction));
    settings_.nrOfChars = store.ReadRegInteger(setting::NrOfChars);
}

std::string TPatientIdReduction::ReducePatientID(std::string_view id) const
{
    std::string_view reduced = id;
    if (settings_.filterMR && reduced.size() > 2 && reduced.substr(reduced.size() - 2) == "MR")
        reduced.remove_suffix(2);
    if (reduced.size() > kReductionThreshold) {
        const std::size_t n = settings_.nrOfChars < 0 ? 0 : static_cast<std::size_t>(settings_.nrOfChars);
        if (settings_.mode == TPatientIdReductionMode::FirstCharacters)
            reduced = reduced.substr(0, n);
        else if (settings_.mode == TPatientIdReductionMode::LastCharacters && n < reduced.size())
            reduced = reduced.substr(reduced.size() - n);
    }
    // The ID names a folder inside the data folder: never "", "." or "..".
    if (EmptyOrDots(reduced)) return std::string(id);
    return std::string(reduced);
}

}  // namespace halcyra
