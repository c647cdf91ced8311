// The collection cycle's targets on the census rows and the patients' monitor-data files.
#pragma once

#include "app/CollectTargets.h"
#include "hl7/Census.h"
#include "patients/FolderOwners.h"
#include "patients/PatientFolders.h"
#include "patients/PatientMonitorFile.h"
#include "savefile/SaveITNew.h"

namespace halcyra {

class TCensusCollectTargets final : public ICollectTargets {
public:
    TCensusCollectTargets(TCensus& census, const TPatientFolders& folders, TFolderOwners& owners,
                          TPatientMonitorFile& monitorFile, TSaveItNew& writer)
        : census_(census), folders_(folders), owners_(owners), monitorFile_(monitorFile), writer_(writer)
    {
    }

    std::vector<TCensusRowState> PatientRows() const override;
    void DisablePatientRows() override { census_.DisableAllPatientRows(); }
    TMonotonic LastCensusSave() const override { return census_.LastCensusSave(); }
    void SaveCensus() override { census_.SaveCensus(false); }
    bool CensusChanged() const override { return census_.ChangedSinceSave(); }
    // A patient without identity, or one whose folder belongs to another patient ID, has no file here.
    bool OpenPatientMonitorFile(const std::string& patientID, const std::string& patientName) override;
    bool MakeDurable() override;
    std::optional<TDateTime> AppendDelimiter(const std::string& label, const std::string& unit,
                                             TDateTime after) override;
    std::vector<TSeriesName> UnclosedSeries() const override;
    TDateTime LastWrittenTime() const override { return monitorFile_.LastWrittenTime(); }

private:
    TCensus& census_;
    const TPatientFolders& folders_;
    TFolderOwners& owners_;
    TPatientMonitorFile& monitorFile_;
    TSaveItNew& writer_;
};

}  // namespace halcyra
