// The run's engine: owns every part of a run (settings, log, parameters, census, patient folders and
// files, writer, data-manager link, collection cycle, message handling, readers, relay), wires them to one
// another and to the views it is given, and offers the entry points the window's handlers, the service,
// the import, tests and benchmarks call. No Qt.
#pragma once

#include "app/CensusCollectTargets.h"
#include "app/CollectionCycle.h"
#include "app/EngineEnvironment.h"
#include "app/HeadlessView.h"
#include "app/PatientStatusBoard.h"
#include "app/ReaderCycle.h"
#include "app/RelayReaderCycle.h"
#include "app/RunNotices.h"
#include "app/RunStatus.h"
#include "datamanager/DataManagerLink.h"
#include "hl7/Census.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageHandler.h"
#include "params/ParameterModel.h"
#include "patients/FolderOwners.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "patients/PatientIdReduction.h"
#include "patients/PatientMonitorFile.h"
#include "platform/Log.h"
#include "relay/RelayClient.h"
#include "relay/RelayServer.h"
#include "relay/RelaySupervisionLink.h"
#include "savefile/SaveITNew.h"
#include "settings/SettingsStore.h"
#include "ui/HostSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace halcyra {

// How long the end of a run waits for the data manager's outstanding answers: a service ends well within the
// 15 s a service manager allows, whatever the data manager does.
inline constexpr double kEndAnswerSeconds = 3.0;

// Where the engine shows what happens; a null view is the headless one.
struct TEngineViews {
    ICollectView* collect = nullptr;
    IMessageView* messages = nullptr;
    ICentralStationView* centralStation = nullptr;
    IParameterGrid* parameterGrid = nullptr;
    IConnectedClientsView* connectedClients = nullptr;
};

// The collect-interval dialog's answer after OK.
struct TCollectIntervalAnswer {
    std::int32_t seconds = 10;
    bool useHalcyraSettings = false;
};

class TRunEngine {
public:
    TRunEngine(const TEngineEnvironment& environment, const TEngineViews& views = {});
    ~TRunEngine();
    TRunEngine(const TRunEngine&) = delete;
    TRunEngine& operator=(const TRunEngine&) = delete;

    // Start-up: the settings root, the log, the data folder, the relay server, every part's settings and the
    // data-manager link; then `hostStartUp` (a window goes to the tray), then the data source opens and the
    // stored census comes back. An error ends start-up with a log line; the program goes on.
    void StartUp(const std::function<void()>& hostStartUp = {});
    // Called during start-up when the data manager's object cannot be created: the run must end.
    std::function<void()> OnStartRefused;
    bool TerminateRequested() const { return terminateRequested_; }

    // Every show of the run; the first one reads the first-show settings (filter, interval, timer) and sets
    // the interval in force. True on the first.
    bool Show();
    bool FirstShowDone() const { return firstShowDone_; }
    // The collection timer's period in milliseconds, as the settings give it.
    std::int32_t TimerPeriodMs() const { return timerPeriodMs_; }
    // The collect-interval dialog's median-filter value.
    std::int32_t MedianFilterValue() const { return medianFilterValue_; }

    // The timer tick, then the reads the sockets announced while the tick held the re-entrancy flag.
    void Tick();
    void Start() { cycle_->Start(); }
    void Stop() { cycle_->Stop(); }
    // The end of the run: the collected series are closed, the sockets and the relay server closed.
    void Close();

    // The sockets' events.
    void CentralStationConnected()
    {
        socketError_ = 0;
        reader_->ClientSocketCentralStationConnect();
    }
    void CentralStationDisconnected() { reader_->ClientSocketCentralStationDisconnect(); }
    void CentralStationError(int windowsSocketsError)
    {
        socketError_ = windowsSocketsError;
        reader_->ClientSocketCentralStationError(windowsSocketsError);
    }
    void CentralStationRead() { reader_->ClientSocketCentralStationRead(); }
    void RelayConnected()
    {
        socketError_ = 0;
        relayClient_->ClientSocketRelayConnect();
    }
    void RelayDisconnected() { relayClient_->ClientSocketRelayDisconnect(); }
    void RelayError(int windowsSocketsError) { relayClient_->ClientSocketRelayError(windowsSocketsError); }
    void RelayRead() { relayClient_->ClientSocketRelayRead(); }

    // The dialogs' answers, each applied in one call.
    void ApplyParameterChoice(bool automatic, int collectedCount);
    // Null when the dialog was cancelled: the next boundary still follows the previous one by the interval.
    void ApplyCollectInterval(const std::optional<TCollectIntervalAnswer>& answer);
    void ApplyHostSettings(const THostSettings& chosen);
    // The "Log File" check box.
    void SetLogEnabled(bool enabled);

    void AddLogLine(std::string_view line) { log_.AddLogLine(line); }
    void AddLogLine(std::string_view line, TLogPriority priority) { log_.AddLogLine(line, priority); }

    // The run now, every census patient with what this run wrote for it; the host fills in its mode and
    // process. Changes nothing; reads only whether each patient's file exists.
    TRunStatus RunStatus() const;
    const TPatientStatusBoard& StatusBoard() const { return statusBoard_; }
    TDateTime Now() const { return env_.clock->Now(); }

    // The parts, for the views that show them and for tests.
    TSettingsStore& Settings() { return settings_; }
    TLog& Log() { return log_; }
    TParameterModel& Params() { return params_; }
    TDataManagerLink& DataManager() { return dataManager_; }
    const std::string& DebugFolder() const { return debugFolder_; }
    // The data manager's data folder (a Windows path ending in '\') and its compatibility mode.
    const std::string& DataFolder() const { return dataFolder_; }
    bool CompatibilityMode() const { return compatibilityMode_; }
    TPatientIdReduction& IdReduction() { return idReduction_; }
    TPatientFolders& PatientFolders() { return patientFolders_; }
    TFolderOwners& FolderOwners() { return folderOwners_; }
    TPatientFile& PatientFile() { return patientFile_; }
    TPatientMonitorFile& MonitorFile() { return monitorFile_; }
    TCensus& Census() { return census_; }
    TCollectionCycle& Cycle() { return *cycle_; }
    TMessageHandler& Messages() { return *messages_; }
    TCentralStationReader& CentralStationReader() { return *reader_; }
    IClientSocket& CentralStationSocket() { return *centralStationSocket_; }
    TRelayServer& RelayServer() { return *relayServer_; }
    TRelayClient& RelayClient() { return *relayClient_; }

private:
    void Wire(const TEngineViews& views);
    void ReadWaitingBytes();

    TEngineEnvironment env_;
    TSettingsStore settings_;
    TLog log_;
    THeadlessView headless_;
    TParameterModel params_;
    TDataManagerLink dataManager_{env_.linkClock != nullptr ? *env_.linkClock : *env_.clock};
    TPatientStatusBoard statusBoard_{*env_.clock};
    TRunNotices notices_{dataManager_, statusBoard_};
    TPatientIdReduction idReduction_;
    TPatientFolders patientFolders_;
    TPatientFile patientFile_;
    TCensus census_;
    std::shared_ptr<ISaveFileIo> saveFileIo_;
    TSaveItNew writer_;
    TPatientMonitorFile monitorFile_;
    TFolderOwners folderOwners_;
    std::unique_ptr<IClientSocket> centralStationSocket_;
    std::unique_ptr<TCensusCollectTargets> collectTargets_;
    std::unique_ptr<TCollectionCycle> cycle_;
    std::unique_ptr<TMessageHandler> messages_;
    std::unique_ptr<TReaderCycle> readerCycle_;
    std::unique_ptr<TCentralStationReader> reader_;
    std::unique_ptr<IClientSocket> relayClientSocket_;
    std::unique_ptr<IRelayListener> relayListener_;
    std::unique_ptr<TRelayServer> relayServer_;
    std::unique_ptr<TRelayReaderCycle> relayReaderCycle_;
    std::unique_ptr<TRelayClient> relayClient_;
    std::unique_ptr<TRelaySupervisionLink> relaySupervision_;

    std::string debugFolder_;
    int socketError_ = 0;               // the central station's last socket error since it last connected
    bool autoStartConfigured_ = false;  // "AutoStart" as read at start-up; the cycle clears its copy once used
    std::string dataFolder_ = "C:\\KVD\\DATA\\";
    bool compatibilityMode_ = false;
    bool terminateRequested_ = false;
    bool firstShowDone_ = false;
    std::int32_t timerPeriodMs_ = 1000;
    std::int32_t medianFilterValue_ = 15;
};

}  // namespace halcyra
