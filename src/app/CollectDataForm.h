// The main window: owns every list and object of the run, and the start-up and shutdown sequence.
#pragma once

#include "app/CensusCollectTargets.h"
#include "app/CollectionCycle.h"
#include "app/Environment.h"
#include "app/ReaderCycle.h"
#include "app/RelayReaderCycle.h"
#include "datamanager/DataManagerLink.h"
#include "hl7/Census.h"
#include "hl7/MessageHandler.h"
#include "params/ParameterModel.h"
#include "patients/FolderOwners.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "patients/PatientIdReduction.h"
#include "patients/PatientMonitorFile.h"
#include "platform/DateTime.h"
#include "platform/Log.h"
#include "relay/ConnectedClientsList.h"
#include "relay/RelayClient.h"
#include "relay/RelayServer.h"
#include "relay/RelaySupervisionLink.h"
#include "savefile/SaveITNew.h"
#include "settings/SettingsStore.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSplitter;
class QTableWidget;
class QTimer;
class QWidget;

namespace halcyra {

class TCensusListView;
class TConnectAnimation;
class TFormCollectView;
class TPatientGridPane;
class TfrmNewPatient;
class TSettingsDialogs;

class TfrmCollectData : public QMainWindow {
    Q_OBJECT
public:
    // Builds the controls; the creator runs FormCreate once it can take the window's log lines.
    explicit TfrmCollectData(TEnvironment& environment, QWidget* parent = nullptr);
    ~TfrmCollectData() override;

    // --- Controls, named as the handlers and the other subsystems refer to them.
    QWidget* Panel1 = nullptr;
    QLabel* LabelMonitor = nullptr;
    QLabel* Animate = nullptr;
    QLabel* LabelConnected = nullptr;
    QLabel* LabelVersionID = nullptr;
    QLabel* lblTime = nullptr;
    QLabel* lblStartPos = nullptr;
    QLabel* lblStopPos = nullptr;
    QLabel* LabelParameter = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnHide = nullptr;
    QPushButton* btnParameters = nullptr;
    QPushButton* btnInterval = nullptr;
    QPushButton* btnServerSelect = nullptr;
    QGroupBox* FilterFunction = nullptr;
    QRadioButton* FilterFunctionAverage = nullptr;
    QRadioButton* FilterFunctionMedian = nullptr;
    QRadioButton* FilterFunctionMomentary = nullptr;
    QGroupBox* gbConnectedDataClients = nullptr;
    QListWidget* ListBoxConnectedClients = nullptr;
    QLabel* lblNoNetwork = nullptr;
    QCheckBox* cbLogFile = nullptr;
    QCheckBox* cbSaveDataStream = nullptr;
    QPushButton* BitBtnClose = nullptr;
    QListWidget* CBListPatients = nullptr;
    QMenu* PopupMenuCBList = nullptr;
    QAction* DeleteAction = nullptr;
    QSplitter* Splitter1 = nullptr;
    QTableWidget* StringGrid1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QTimer* Timer1 = nullptr;
    TTaskbarIconControler* TaskbarIconControler1 = nullptr;
    TfrmNewPatient* frmNewPatient = nullptr;

    // --- Handlers.
    void FormCreate();
    void FormShow();
    // Decides a close request; true allows it.
    bool FormCloseQuery();
    void FormClose();
    void BitBtnCloseClick();
    void cbLogFileClick();
    void TaskbarIconControler1Click();
    // Shows the window, restored when minimised, on top of the others: the tray click and a second start.
    void BringToFront();
    void btnHideClick();
    // Hides the window to the tray; without a tray icon it is minimised, so it stays reachable.
    void HideToTray();
    void Timer1Timer();
    void btnStartClick();
    void btnStopClick();
    // The dialogs, each modal and at most once at a time.
    void btnParametersClick();
    void btnIntervalClick();
    void btnServerSelectClick();
    TSettingsDialogs& Dialogs() { return *dialogs_; }
    // The central-station socket's events.
    void ClientSocketCentralStationConnect();
    void ClientSocketCentralStationDisconnect();
    void ClientSocketCentralStationError(int windowsSocketsError);
    void ClientSocketCentralStationRead();
    // The relay client socket's events.
    void ClientSocketRelayConnect();
    void ClientSocketRelayDisconnect();
    void ClientSocketRelayRead();
    void CBListPatientsClickCheck();
    void CBListPatientsClick();
    void DeleteActionClick();
    void Splitter1Moved();
    void Panel1Resize();
    void StringGrid1DblClick();
    void lblNoNetworkClick();
    // The end of the desktop session or SIGTERM: the close is confirmed and the program ends.
    void EndSession();
    // Errors that escaped an event handler: shown in LabelConnected and logged, never a dialog.
    void ApplicationException(const std::string& message);

    void AddLogLine(std::string_view message) { log_.AddLogLine(message); }

    // --- State fixed at start-up, used by the other subsystems.
    TSettingsStore& Settings() { return settings_; }
    TLog& Log() { return log_; }
    // The parameter table, ExcludedParams, Automatic, the default units and the filter choice.
    TParameterModel& Params() { return params_; }
    const std::string& DebugFolder() const { return debugFolder_; }
    // The data manager's data folder (a Windows path ending in '\') and its compatibility mode.
    const std::string& DataFolder() const { return dataFolder_; }
    bool CompatibilityMode() const { return compatibilityMode_; }
    TDataManagerLink& DataManager() { return dataManager_; }
    // Start-up could not create the data manager's automation object: the run must end.
    bool TerminateRequested() const { return terminateRequested_; }
    bool CloseConfirmed() const { return closeConfirmed_; }
    bool FirstShowDone() const { return firstShowDone_; }
    IClientSocket& ClientSocketCentralStation() { return *centralStationSocket_; }
    // The census of CBListPatients, the patient folders and files, and the monitor-data writer with the
    // patient's open monitor-data file.
    TCensus& Census() { return census_; }
    TPatientIdReduction& IdReduction() { return idReduction_; }
    TPatientFolders& PatientFolders() { return patientFolders_; }
    TFolderOwners& FolderOwners() { return folderOwners_; }
    TPatientFile& PatientFile() { return patientFile_; }
    TPatientMonitorFile& MonitorFile() { return monitorFile_; }
    // The collection cycle (status, boundaries, marks, supervision) and the handling of each message.
    TCollectionCycle& Cycle() { return *cycle_; }
    TMessageHandler& Messages() { return *messages_; }
    TCentralStationReader& CentralStationReader() { return *reader_; }
    // The connection animation on Animate.
    TConnectAnimation& Animation() { return *animation_; }
    TRelayServer& RelayServer() { return *relayServer_; }
    TRelayClient& RelayClient() { return *relayClient_; }

    bool AutoHide = false;
    bool AutoStart = false;
    bool AutoCreate = false;
    bool FilterMR = false;
    bool NoVelgard = false;
    bool EnableDefaultUnits = false;
    bool UseHalcyraSettings = false;
    std::uint8_t PatientIDReduction = 0;
    std::int32_t NrOfChars = 10;
    std::int32_t RelayPort = 13999;
    bool RelayConnected = false;
    std::string FirstArgument;

    // Values the first show reads; the collection cycle keeps the interval in force.
    std::int32_t MedianFilterValue = 15;
    std::int32_t CollectInterval = 10;
    std::int32_t TimerPeriod = 1000;
    TDateTime LastRelayJob = 0;
    TDateTime LastRelayLifeTick = 0;
    std::int32_t RelayReconnectCountdown = 10;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    // Creates the run's engine and connects it to the controls and the sockets.
    void BuildRun();
    void ShowTrayIcon();
    // Reads what the sockets announced while the re-entrancy flag was held.
    void ReadWaitingBytes();

    TEnvironment& env_;
    TSettingsStore settings_;
    TLog log_;
    TParameterModel params_;
    std::unique_ptr<IClientSocket> centralStationSocket_;
    std::string debugFolder_;
    std::string dataFolder_ = "C:\\KVD\\DATA\\";
    bool compatibilityMode_ = false;
    TDataManagerLink dataManager_;
    bool terminateRequested_ = false;
    bool closeConfirmed_ = false;
    bool endingSession_ = false;
    bool firstShowDone_ = false;
    TPatientIdReduction idReduction_;
    TPatientFolders patientFolders_;
    TPatientFile patientFile_;
    TCensus census_;
    TCensusListView* censusView_ = nullptr;
    std::unique_ptr<TSettingsDialogs> dialogs_;
    std::shared_ptr<ISaveFileIo> saveFileIo_;
    TSaveItNew saveIt1_;
    TPatientMonitorFile monitorFile_;
    TFolderOwners folderOwners_;
    bool noTrayLogged_ = false;
    TConnectAnimation* animation_ = nullptr;
    std::unique_ptr<TPatientGridPane> gridPane_;
    std::unique_ptr<TFormCollectView> collectView_;
    std::unique_ptr<TCensusCollectTargets> collectTargets_;
    std::unique_ptr<TCollectionCycle> cycle_;
    std::unique_ptr<TMessageHandler> messages_;
    std::unique_ptr<TReaderCycle> readerCycle_;
    std::unique_ptr<TCentralStationReader> reader_;
    std::unique_ptr<IClientSocket> relayClientSocket_;
    std::unique_ptr<IRelayListener> relayListener_;
    std::unique_ptr<TConnectedClientsList> connectedClients_;
    std::unique_ptr<TRelayServer> relayServer_;
    std::unique_ptr<TRelayReaderCycle> relayReaderCycle_;
    std::unique_ptr<TRelayClient> relayClient_;
    std::unique_ptr<TRelaySupervisionLink> relaySupervision_;
};

}  // namespace halcyra
