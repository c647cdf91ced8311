// A collection cycle on a temporary registry and drive prefix, with a manual clock and recording stand-ins
// for the window, the census and patient files, the data manager and the sockets. No Qt.
#pragma once

#include "app/CollectionCycle.h"
#include "support/FakeClientSocket.h"
#include "support/RecordingDataManager.h"
#include "support/TempDir.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace halcyra::test {

class TRecordingView final : public ICollectView {
public:
    void ApplyStatusControls(const TStatusControls& c) override
    {
        controls.push_back(c);
        if (c.trayVisible) trayVisible = true;
        if (!c.trayVisible) trayVisible = false;
        if (c.disableParameters) parametersEnabled = false;
    }
    std::string CountdownText() const override { return countdown; }
    void SetCountdownText(const std::string& text) override
    {
        countdown = text;
        ++countdownSets;
    }
    void SetTrayHint(const std::string& hint) override { trayHint = hint; }
    bool TrayIconVisible() const override { return trayVisible; }
    void ShowTrayIcon() override
    {
        if (trayFails) throw std::runtime_error("Exception: Could not Add Icon");
        trayVisible = true;
    }
    bool ParametersButtonEnabled() const override { return parametersEnabled; }
    void EnableParametersButton() override { parametersEnabled = true; }
    void HideWindow() override { ++hides; }
    void SetNoNetworkVisible(bool visible) override { noNetwork = visible; }
    void ShowConnectionWarning(const std::string& text) override { warning = text; }

    std::vector<TStatusControls> controls;
    std::string countdown;
    int countdownSets = 0;
    std::string trayHint;
    bool trayVisible = false;
    bool trayFails = false;
    bool parametersEnabled = false;
    int hides = 0;
    bool noNetwork = false;
    std::string warning;
};

struct TDelimiterCall {
    std::string patientID;
    std::string label;
    std::string unit;
    TDateTime time;
};

class TRecordingTargets final : public ICollectTargets {
public:
    std::vector<TCensusRowState> PatientRows() const override { return rows; }
    void DisablePatientRows() override
    {
        for (auto& row : rows) row.enabled = false;
    }
    TMonotonic LastCensusSave() const override { return lastCensusSave; }
    void SaveCensus() override
    {
        if (censusFails) throw std::runtime_error("registry gone");
        censusSaves.push_back(lastCensusSave = clock->Monotonic());
        censusChanged = false;
    }
    bool CensusChanged() const override { return censusChanged; }
    bool OpenPatientMonitorFile(const std::string& patientID, const std::string& patientName) override
    {
        opened.push_back(patientID + "|" + patientName);
        open = patientID;
        return std::find(unopenable.begin(), unopenable.end(), patientID) == unopenable.end();
    }
    // Every series is open and its latest point lies `seriesLatest` after the last written time, except the
    // labels of `closed`, which have nothing to close.
    std::optional<TDateTime> AppendDelimiter(const std::string& label, const std::string& unit,
                                             TDateTime after) override
    {
        if (open == failingPatient && label == failingLabel) throw std::runtime_error("disk full");
        if (onAppendDelimiter) std::exchange(onAppendDelimiter, nullptr)();
        if (std::find(closed.begin(), closed.end(), label) != closed.end()) return std::nullopt;
        const TDateTime time = after + seriesLatest + kOneSecond;
        delimiters.push_back({open, label, unit, time});
        return time;
    }
    std::vector<TSeriesName> UnclosedSeries() const override { return unclosed; }
    bool MakeDurable() override
    {
        durable.push_back(open);
        return true;
    }
    TDateTime LastWrittenTime() const override { return lastWritten; }

    const IClock* clock = nullptr;
    std::vector<std::string> durable;  // the patient whose file was synced, each time
    std::vector<TCensusRowState> rows;
    TMonotonic lastCensusSave = 0;
    bool censusChanged = false;
    std::vector<TMonotonic> censusSaves;
    bool censusFails = false;
    std::vector<std::string> opened;
    std::vector<std::string> unopenable;
    std::string open;
    std::string failingPatient;
    std::string failingLabel;
    std::vector<TDelimiterCall> delimiters;
    std::vector<std::string> closed;
    std::vector<TSeriesName> unclosed;  // what the open file reports as still open
    TDateTime seriesLatest = 0;
    // Called once, at the next delimiter: what a message pumped meanwhile would do.
    std::function<void()> onAppendDelimiter;
    TDateTime lastWritten = 0;
};

// What every engine test stands on: a temporary registry and prefix, a manual clock at 12:00:07.250, the
// settings, the log (its lines kept), the parameter model and a recorded data manager.
class TCoreEnvironment {
public:
    TCoreEnvironment()
        : registry(dir / "registry" / "HKEY_CURRENT_USER.reg", dir / "registry" / "HKEY_LOCAL_MACHINE.reg"),
          drives(dir / "prefix"),
          files(drives),
          clock(EncodeDateTime(2024, 5, 6, 12, 0, 7, 250)),
          settings(registry),
          log(clock, files),
          params(settings)
    {
        log.SetMirror([this](const TLogEntry& entry) {
            logLines.push_back(entry.line);
            logPriorities.push_back(entry.priority);
        });
        dataManager.CreateDataManagerLink(autoObject, "", false);
        // The program key exists once start-up is through; the central station is then the source.
        settings.WriteRegBool("DataSourceIsCentralStation", true);
    }

    std::vector<std::string> CallsStartingWith(const std::string& prefix) const
    {
        return autoObject.CallsStartingWith(prefix);
    }

    TTempDir dir;
    TRegistry registry;
    TDriveMapping drives;
    TFileSystem files;
    TManualClock clock;
    TSettingsStore settings;
    TLog log;
    std::vector<std::string> logLines;
    std::vector<TLogPriority> logPriorities;  // of logLines
    TParameterModel params;
    TRecordingDataManager autoObject;
    TDataManagerLink dataManager{clock};
};

class TCycleFixture : public TCoreEnvironment {
public:
    TCycleFixture()
        : cycle(TCollectionCycle::TParts{clock, settings, log, params, dataManager, view, targets, centralStation})
    {
        targets.clock = &clock;
        targets.lastCensusSave = clock.Monotonic();
        cycle.FirstShow(10);
    }

    // Status 1 with one parameter seen, as after the first valid message.
    void Connected()
    {
        params.RegisterParameter(1, "HR", "bpm", clock.Now());
        cycle.SetStatus(csConnected);
    }

    TRecordingView view;
    TRecordingTargets targets;
    TFakeClientSocket centralStation;
    TCollectionCycle cycle;
};

inline TDateTime At(int hour, int minute, int second, int millisecond = 0)
{
    return EncodeDateTime(2024, 5, 6, hour, minute, second, millisecond);
}

}  // namespace halcyra::test
