#include "app/CensusCollectTargets.h"

#include "hl7/PatientIdentity.h"

namespace halcyra {

namespace {
// The code a delimiter point carries; nothing reads it.
constexpr std::int32_t kDelimiterCode = 0;
}  // namespace

std::vector<TCensusRowState> TCensusCollectTargets::PatientRows() const
{
    std::vector<TCensusRowState> rows;
    for (int r = 1; r < census_.RowCount(); ++r) {
        const TCensusRow& row = census_.Row(r);
        rows.push_back({row.patient.PatientID, row.patient.FirstName, row.patient.LastName, row.ticked, row.enabled});
    }
    return rows;
}

bool TCensusCollectTargets::OpenPatientMonitorFile(const std::string& patientID, const std::string& patientName)
{
    if (patientID == kNoPatientID) return false;
    const std::string folder = folders_.PatientFolderFor(patientID);
    if (!owners_.MayWrite(folder, patientID)) return false;
    monitorFile_.OpenExistingPatientMonitorFile(writer_, folder, patientID, patientName);
    return monitorFile_.IsOpen();
}

bool TCensusCollectTargets::MakeDurable()
{
    return monitorFile_.SyncOpenFile();
}

std::optional<TDateTime> TCensusCollectTargets::AppendDelimiter(const std::string& label, const std::string& unit,
                                                                TDateTime after)
{
    return monitorFile_.AppendDelimiter(label, "", "", unit, kDelimiterCode, after);
}

std::vector<TSeriesName> TCensusCollectTargets::UnclosedSeries() const
{
    std::vector<TSeriesName> names;
    for (auto& [label, unit] : monitorFile_.UnclosedSeries()) names.push_back({std::move(label), std::move(unit)});
    return names;
}

}  // namespace halcyra
