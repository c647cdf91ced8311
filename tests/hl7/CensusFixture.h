// A census on a temporary registry and drive prefix, with a manual clock.
#pragma once

#include "hl7/Census.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "support/TempDir.h"

#include <memory>
#include <string>

namespace halcyra::test {

struct TCensusFixture {
    // A patient the decoder has just seen: enabled, ticked or not.
    int Present(const std::string& id, const std::string& first, const std::string& last, bool ticked)
    {
        TPatient patient{FormatCompactStamp(clock.Now()), first, last, id, ticked};
        const int row = census.AddRow(CensusRowText(id, first + " " + last), patient);
        census.SetTicked(row, ticked);
        return row;
    }

    TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir / "registry");
    TSettingsStore settings{*registry};
    TManualClock clock{EncodeDateTime(2024, 5, 6, 12, 0, 0)};
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    TPatientIdReduction reduction;
    TPatientFolders folders{files, reduction};
    TPatientFile patientFile{files};
    TCensus census{settings, clock, reduction, folders, patientFile};
};

}  // namespace halcyra::test
