// The collection engine without a window: the cycle and the message handling on a real census, real
// patient folders and monitor-data files in a temporary prefix, a manual clock, and recording stand-ins
// for the window, the data manager and the sockets.
#pragma once

#include "app/CensusCollectTargets.h"
#include "app/CycleFixture.h"
#include "hl7/MessageHandler.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace halcyra::test {

class TRecordingMessageView final : public IMessageView {
public:
    void ShowBadVersion(const std::string& text) override { versionText = text; }
    void HideVersion() override { versionText.clear(); }
    void SetParameterLabel(const std::string& text) override { parameterLabel = text; }
    void EnableParametersButton() override
    {
        ++parametersEnabled;
        if (onEnableParameters) onEnableParameters();
    }
    bool SaveDataStream() const override { return saveDataStream; }
    void Beep() override { ++beeps; }

    std::string versionText;
    std::string parameterLabel;
    int parametersEnabled = 0;
    bool saveDataStream = false;
    int beeps = 0;
    std::function<void()> onEnableParameters;
};

// A segment from its items: item 1 is the segment's name.
inline std::string Segment(std::initializer_list<std::string> items)
{
    std::string line;
    for (const std::string& item : items) {
        if (!line.empty()) line += '|';
        line += item;
    }
    return line;
}

inline std::string Msh(const std::string& version = "2.3")
{
    return Segment({"MSH", "^~\\&", "CS", "WARD", "", "", "20240506120000", "", "ORU^R01", "1", "P", version});
}
inline std::string Pid(const std::string& id, const std::string& name)
{
    return Segment({"PID", "1", "", id, "", name});
}
inline std::string Obr(const std::string& time)
{
    return Segment({"OBR", "1", "", "", "MON", "", "", time});
}
// Observation identifiers of the monitor the tests play.
inline const std::string kHR = "0002-4182^HR^MDIL";
inline const std::string kSpO2 = "150456^SpO2^MDIL";
inline const std::string kNBP = "0002-4A05^NBPs^MDIL";

inline std::string Obx(const std::string& identifier, const std::string& value, const std::string& unit,
                       const std::string& type = "NM")
{
    return Segment({"OBX", "1", type, identifier, "", value, unit});
}
inline std::string AperiodicObx(const std::string& identifier, const std::string& value, const std::string& unit,
                                const std::string& time)
{
    return Segment({"OBX", "1", "NM", identifier, "", value, unit, "", "", "", "", "", "", "APERIODIC", time});
}

class TEngineFixture : public TCoreEnvironment {
public:
    TEngineFixture()
        : folders(files, reduction),
          patientFile(files),
          census(settings, clock, reduction, folders, patientFile),
          io(TPosixSaveFileIo::Default()),
          writer(io),
          monitorFile(files, io, params, dataManager),
          owners(files, io, folders),
          targets(census, folders, owners, monitorFile, writer),
          cycle(
              TCollectionCycle::TParts{clock, settings, log, params, dataManager, cycleView, targets, centralStation}),
          handler(TMessageHandler::TParts{clock, files, log, cycle, census, folders, owners, patientFile, monitorFile,
                                          writer, params, dataManager, view})
    {
        params.SetAutomatic(true);
        folders.SetDataFolder("C:\\KVD\\DATA\\", false);
        census.SetStopDelimiterWriter([this](const TPatient& patient) {
            cycle.WritePatientStopDelimiters(patient.PatientID, patient.FirstName, patient.LastName);
        });
        census.SetFolderOwners(&owners);
        cycle.FirstShow(10);
        centralStation.open = true;
    }

    // One complete message, as the reader hands it over.
    void Receive(std::vector<std::string> segments)
    {
        cycle.CompleteMessageReceived();
        handler.SegmentList() = std::move(segments);
        handler.DecodeMessage();
    }
    void ReceiveAt(TDateTime now, std::vector<std::string> segments)
    {
        clock.Set(now);
        Receive(std::move(segments));
    }

    // Connected and collecting, with patients created and ticked as they arrive.
    void Collecting()
    {
        handler.Settings().autoCreate = true;
        cycle.SetStatus(csConnected);
        cycle.Start();
    }

    void TickAt(TDateTime now)
    {
        clock.Set(now);
        cycle.Tick();
    }

    // "id label unit time value" of every value the data manager was told of.
    std::vector<std::string> Values() const
    {
        std::vector<std::string> out;
        for (const auto& c : CallsStartingWith("AddValue ")) out.push_back(c.substr(9));
        return out;
    }
    int Count(const std::string& call) const
    {
        int n = 0;
        for (const auto& c : autoObject.calls) n += c == call;
        return n;
    }
    int RowOf(const std::string& id) const { return census.FindRow(id); }

    TPatientIdReduction reduction;
    TPatientFolders folders;
    TPatientFile patientFile;
    TCensus census;
    std::shared_ptr<ISaveFileIo> io;
    TSaveItNew writer;
    TPatientMonitorFile monitorFile;
    TFolderOwners owners;
    TRecordingView cycleView;
    TCensusCollectTargets targets;
    TFakeClientSocket centralStation;
    TCollectionCycle cycle;
    TRecordingMessageView view;
    TMessageHandler handler;
};

}  // namespace halcyra::test
