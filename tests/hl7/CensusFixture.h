// A census on a temporary registry and drive prefix, with a manual clock and its log lines kept.
#pragma once

#include "hl7/Census.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "support/TempDir.h"

#include <memory>
#include <string>
#include <vector>

namespace halcyra::test {

struct TCensusFixture {
    TCensusFixture()
    {
        census.SetLogger([this](const std::string& line) { log.push_back(line); });
    }

    // A patient the decoder has just seen: enabled, ticked or not.
    int Present(const std::string& id, const std::string& first, const std::string& last, bool ticked)
    {
        TPatient patient{FormatCompactStamp(clock.Now()), first, last, id, ticked};
        const int row = census.AddRow(CensusRowText(id, first + " " + last), patient);
        census.SetTicked(row, ticked);
        return row;
    }

    // One message of each of these listed patients, as the message handling reports it: the station is
    // heard, and the patient's row enabled.
    void Sends(const std::vector<std::string>& ids)
    {
        for (const std::string& id : ids) {
            census.StationHeard();
            census.SetEnabled(census.FindRow(id), true);
        }
    }
    // Three present patients, 111 ticked and 222 not, all heard once; then 333 (ticked as given) goes away.
    void TwoSendOneAway(bool awayTicked)
    {
        Present("111", "Tick", "Ed", true);
        Present("222", "Un", "Ticked", false);
        Present("333", "Ab", "Sent", awayTicked);
        Sends({"111", "222", "333"});
        census.SetEnabled(census.FindRow("333"), false);
    }
    // The station sends for `minutes` minutes: a message of each sender every minute, and, unless told
    // otherwise, the census saved after each full hour of it, as the timer does.
    void SendMinutes(int minutes, const std::vector<std::string>& senders, bool saveHourly = true)
    {
        for (int minute = 1; minute <= minutes; ++minute) {
            clock.AdvanceSeconds(60);
            Sends(senders);
            if (saveHourly && minute % 60 == 0) census.SaveCensus(false);
        }
    }
    // The IDs of the rows, in order.
    std::vector<std::string> RowIDs() const
    {
        std::vector<std::string> ids;
        for (int row = 1; row < census.RowCount(); ++row) ids.push_back(census.Patient(row).PatientID);
        return ids;
    }

    TRegistryHive& Hive() { return registry->CurrentUser(); }
    std::string Stored(const std::string& name) { return Hive().ReadString(kProgramKey, name); }
    std::vector<std::string> CensusNames()
    {
        std::vector<std::string> names;
        for (const std::string& name : Hive().GetValueNames(kProgramKey))
            if (IsCensusValueName(name)) names.push_back(name);
        return names;
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
    std::vector<std::string> log;
};

}  // namespace halcyra::test
