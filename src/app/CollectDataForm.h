// The main window: the view of the run's engine. Its handlers keep their names and forward to the engine;
// it holds the controls, the tray icon, the dialogs and the collection timer, and no state of the run.
#pragma once

#include "app/Environment.h"
#include "app/RunEngine.h"
#include "ui_CollectDataForm.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace halcyra {

class TCensusListView;
class TConnectAnimation;
class TConnectedClientsList;
class TFormCollectView;
class TPatientGridPane;
class TfrmNewPatient;
class TSettingsDialogs;

// The form's widgets are private: the window's own view reaches them as a friend, tests by object name.
class TfrmCollectData : public QMainWindow, private Ui::TfrmCollectData {
    Q_OBJECT
public:
    // Builds the controls; the creator runs FormCreate once it can take the window's log lines.
    explicit TfrmCollectData(TEnvironment& environment, QWidget* parent = nullptr);
    ~TfrmCollectData() override;

    // The collection timer and the tray icon, which the dialogs and the views drive.
    QTimer* Timer1 = nullptr;
    TTaskbarIconControler* TaskbarIconControler1 = nullptr;

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
    // What the run did since the last tick: the grid's latest values, each patient's row status.
    void ShowRunState();
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

    void AddLogLine(std::string_view message) { engine_->AddLogLine(message); }
    void AddLogLine(std::string_view message, TLogPriority priority) { engine_->AddLogLine(message, priority); }

    // The run this window shows.
    TRunEngine& Engine() { return *engine_; }
    bool CloseConfirmed() const { return closeConfirmed_; }
    // The connection animation on Animate.
    TConnectAnimation& Animation() { return *animation_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TFormCollectView;

    void BuildControls();
    // Creates the views and connects the controls to the engine.
    void BuildRun();
    void ShowTrayIcon();
    // Each census row's last written point and count, and its current problem, as the engine has them.
    void ShowPatientStatus();
    void ShowDataManagerState(const TDataManagerState& state);

    // Made in code beside the form's widgets.
    QMenu* PopupMenuCBList = nullptr;
    QAction* DeleteAction = nullptr;
    TfrmNewPatient* frmNewPatient = nullptr;

    TEnvironment& env_;
    // The views exist before the engine, which reports to them from its construction on.
    std::unique_ptr<TPatientGridPane> gridPane_;
    std::unique_ptr<TFormCollectView> collectView_;
    std::unique_ptr<TConnectedClientsList> connectedClients_;
    std::unique_ptr<TRunEngine> engine_;
    TCensusListView* censusView_ = nullptr;
    std::unique_ptr<TSettingsDialogs> dialogs_;
    TConnectAnimation* animation_ = nullptr;
    bool closeConfirmed_ = false;
    bool endingSession_ = false;
    bool noTrayLogged_ = false;
};

}  // namespace halcyra
