// The run's engine as the program builds it, without a window: a real census, real patient folders and
// monitor-data files in a temporary prefix, a manual clock, and recording stand-ins for the views, the data
// manager and the sockets. Started up and shown as the program does; the parts under the names tests use.
#pragma once

#include "app/CycleFixture.h"
#include "app/RunEngine.h"
#include "support/CountingSaveFileIo.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
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

class TEngineFixture {
public:
    TEngineFixture()
        : registry(dir / "registry" / "HKEY_CURRENT_USER.reg", dir / "registry" / "HKEY_LOCAL_MACHINE.reg"),
          drives(dir / "prefix"),
          files(drives),
          clock(EncodeDateTime(2024, 5, 6, 12, 0, 7, 250)),
          engine(Environment(), Views()),
          settings(engine.Settings()),
          log(engine.Log()),
          params(engine.Params()),
          dataManager(engine.DataManager()),
          reduction(engine.IdReduction()),
          folders(engine.PatientFolders()),
          patientFile(engine.PatientFile()),
          census(engine.Census()),
          monitorFile(engine.MonitorFile()),
          owners(engine.FolderOwners()),
          cycle(engine.Cycle()),
          handler(engine.Messages()),
          centralStation(*centralStationSocket_),
          io(TPosixSaveFileIo::Default())
    {
        // The central station is the data source; the data folder is the default one.
        settings.WriteRegBool("DataSourceIsCentralStation", true);
        engine.StartUp();
        engine.Show();
        params.SetAutomatic(true);
        centralStation.open = true;
        // What start-up told the data manager is not what the tests look at.
        autoObject.calls.clear();
        autoObject.delimiterTimes.clear();
    }

    // One complete message, as the reader hands it over.
    void Receive(std::vector<std::string> segments)
    {
        cycle.CompleteMessageReceived();
        handler.DecodeMessage(segments);
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

    std::vector<std::string> CallsStartingWith(const std::string& prefix) const
    {
        return autoObject.CallsStartingWith(prefix);
    }

    TTempDir dir;
    TRegistry registry;
    TDriveMapping drives;
    TFileSystem files;
    TManualClock clock;
    std::vector<std::string> logLines;
    TRecordingDataManager autoObject;
    TRecordingView cycleView;
    TRecordingMessageView view;
    std::shared_ptr<TCountingSaveFileIo> countingIo = std::make_shared<TCountingSaveFileIo>();

private:
    TEngineEnvironment Environment()
    {
        TEngineEnvironment env;
        env.clock = &clock;
        env.registry = &registry;
        env.files = &files;
        env.dataManager = &autoObject;
        env.saveFileIo = countingIo;
        env.centralStationSocket = [this] {
            auto socket = std::make_unique<TFakeClientSocket>(TFakeClientSocket::TOnOpen::Ignored);
            centralStationSocket_ = socket.get();
            return socket;
        };
        env.logMirror = [this](const TLogEntry& entry) { logLines.push_back(entry.line); };
        return env;
    }
    TEngineViews Views()
    {
        TEngineViews views;
        views.collect = &cycleView;
        views.messages = &view;
        return views;
    }
    TFakeClientSocket* centralStationSocket_ = nullptr;

public:
    TRunEngine engine;
    TSettingsStore& settings;
    TLog& log;
    TParameterModel& params;
    TDataManagerLink& dataManager;
    TPatientIdReduction& reduction;
    TPatientFolders& folders;
    TPatientFile& patientFile;
    TCensus& census;
    TPatientMonitorFile& monitorFile;
    TFolderOwners& owners;
    TCollectionCycle& cycle;
    TMessageHandler& handler;
    TFakeClientSocket& centralStation;
    std::shared_ptr<ISaveFileIo> io;
};

// Everything a monitor-data file holds, read back whole as the data manager would: its patient ID, then
// "label time value" for every value point and "label time delimiter" for every delimiter point.
inline std::vector<std::string> FileContent(const TEngineFixture& f, const std::string& path)
{
    TSaveItNew reader(std::make_shared<TPosixSaveFileIo>());
    reader.SetFileName(f.files.HostPath(path));
    reader.ReloadStructure();
    std::vector<std::string> content{reader.MonitorInfo() != nullptr ? reader.MonitorInfo()->PatientId : "?"};
    for (const TParameterSerie* serie : reader.ParameterSeries()) {
        if (!serie->Serie) continue;
        for (const auto& point : serie->Serie->DataSet().Points()) {
            std::ostringstream line;
            line << serie->Info.ParameterName() << " " << FormatIsoMilliseconds(point->XValue) << " " << point->YValue;
            content.push_back(line.str());
        }
        for (const auto& point : serie->Serie->DataSet().ControlPoints())
            content.push_back(serie->Info.ParameterName() + " " + FormatIsoMilliseconds(point->XValue) + " delimiter");
    }
    return content;
}

}  // namespace halcyra::test
