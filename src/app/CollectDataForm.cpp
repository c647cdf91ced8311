#include "app/CollectDataForm.h"
#include "app/SettingsDialogs.h"

#include "app/FormCollectView.h"
#include "app/PatientGridPane.h"
#include "app/ShownText.h"
#include "datamanager/DataFolder.h"
#include "hl7/CensusListView.h"
#include "patients/NewPatient.h"
#include "platform/Text.h"
#include "relay/ConnectedClientsList.h"
#include "ui/ApplicationIcon.h"
#include "ui/ConnectAnimation.h"
#include "ui/FileVersionScanner.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>

namespace halcyra {
namespace {

constexpr int kHintHidePauseMs = 7000;

std::string FromQt(const QString& text)
{
    return Utf8ToWin1252(text.toStdString());
}

}  // namespace

TfrmCollectData::TfrmCollectData(TEnvironment& environment, QWidget* parent) : QMainWindow(parent), env_(environment)
{
    setObjectName("frmCollectData");
    BuildControls();
    TaskbarIconControler1 = new TTaskbarIconControler(this, env_.trayShell ? env_.trayShell() : nullptr);
    TaskbarIconControler1->SetHint(tr("Halcyra Data Input Module"));
    setWindowIcon(ApplicationIcon());
    TaskbarIconControler1->SetIcon(ApplicationIcon());
    TaskbarIconControler1->OnClick = [this] { TaskbarIconControler1Click(); };
    TaskbarIconControler1->OnError = [this](const std::string& message) { ApplicationException(message); };
    BuildRun();

    connect(btnStart, &QPushButton::clicked, this, [this] { btnStartClick(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });
    connect(cbLogFile, &QCheckBox::clicked, this, [this] { cbLogFileClick(); });
    connect(btnHide, &QPushButton::clicked, this, [this] { btnHideClick(); });
    dialogs_ = std::make_unique<TSettingsDialogs>(*this, *env_.prompter);
    connect(btnParameters, &QPushButton::clicked, this, [this] { btnParametersClick(); });
    connect(btnInterval, &QPushButton::clicked, this, [this] { btnIntervalClick(); });
    connect(btnServerSelect, &QPushButton::clicked, this, [this] { btnServerSelectClick(); });
    connect(BitBtnClose, &QPushButton::clicked, this, [this] { BitBtnCloseClick(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(DeleteAction, &QAction::triggered, this, [this] { DeleteActionClick(); });
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { Splitter1Moved(); });
    connect(StringGrid1, &QTableWidget::doubleClicked, this, [this] { StringGrid1DblClick(); });
    Panel1->installEventFilter(this);
    lblNoNetwork->installEventFilter(this);
    // The grid's own resize comes after the layout has placed the list: its size is then final.
    StringGrid1->installEventFilter(this);
}

TfrmCollectData::~TfrmCollectData()
{
    // The census's list and the new-patient window refer to the engine's parts, which go before the controls.
    delete censusView_;
    delete frmNewPatient;
}

void TfrmCollectData::FormCreate()
{
    setWindowTitle(tr("Central Station Data Client (Ver. %1)").arg(ShownText(TFileVersionScanner::GetVersion())));
    for (QWidget* w : findChildren<QWidget*>()) w->setToolTipDuration(kHintHidePauseMs);
    engine_->OnStartRefused = [this] {
        env_.prompter->ShowMessage(FromQt(tr("Unable to start, please contact Tovarin")));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    };
    // The window goes to the tray before the data source opens; a desktop without a tray must not stop
    // start-up.
    engine_->StartUp([this] {
        ShowTrayIcon();
        hide();
    });
}

void TfrmCollectData::ShowTrayIcon()
{
    try {
        TaskbarIconControler1->SetVisible(true);
    } catch (const std::exception& e) {
        AddLogLine(e.what());
    }
}

void TfrmCollectData::FormShow()
{
    if (!engine_->FirstShowDone()) {
        TLog& log = engine_->Log();
        if (cbLogFile->isChecked() != log.EnableLogfile) {
            cbLogFile->setChecked(log.EnableLogfile);
            cbLogFileClick();
        }
    }
    if (engine_->Show()) {
        QRadioButton* filter[] = {FilterFunctionAverage, FilterFunctionMedian, FilterFunctionMomentary};
        filter[engine_->Params().FilterFunction()]->setChecked(true);
        Timer1->start(engine_->TimerPeriodMs());
    }
}

void TfrmCollectData::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

bool TfrmCollectData::FormCloseQuery()
{
    // Without a tray the window is only minimised, so the end of the session cannot rely on hiding it.
    if (!isVisible() || endingSession_) return true;
    bool canClose = closeConfirmed_;
    const bool collecting = !btnStop->isHidden();
    if (collecting && engine_->CentralStationSocket().IsOpen()) {
        ShowTrayIcon();
        HideToTray();
        return false;
    }
    if (!closeConfirmed_) {
        Timer1->stop();
        if (env_.prompter->AskYesNo(FromQt(tr("Do you really want to close")))) {
            AddLogLine("Closing application ...");
            canClose = true;
        } else {
            Timer1->start();
        }
    }
    return canClose;
}

void TfrmCollectData::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TfrmCollectData::FormClose()
{
    engine_->Close();
    Timer1->stop();
    // A tray program does not end when its last window closes: the main window's close ends the run.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void TfrmCollectData::BitBtnCloseClick()
{
    closeConfirmed_ = env_.prompter->AskYesNo(FromQt(tr("Do you really want to close")));
    AddLogLine("Closing application ...");
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TfrmCollectData::EndSession()
{
    closeConfirmed_ = true;
    endingSession_ = true;
    AddLogLine("Closing application ...");
    close();
}

void TfrmCollectData::cbLogFileClick()
{
    engine_->SetLogEnabled(cbLogFile->isChecked());
}

void TfrmCollectData::TaskbarIconControler1Click()
{
    BringToFront();
}

void TfrmCollectData::BringToFront()
{
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TfrmCollectData::btnHideClick()
{
    animation_->Stop();
    HideToTray();
}

void TfrmCollectData::HideToTray()
{
    // The status may have taken the icon away; a hidden window needs it back.
    if (!TaskbarIconControler1->Visible()) ShowTrayIcon();
    if (TaskbarIconControler1->Visible()) {
        hide();
        return;
    }
    // A hidden window without a tray icon could not be brought back: it is minimised instead.
    if (!noTrayLogged_) {
        AddLogLine("No system tray: the window is minimised instead of hidden");
        noTrayLogged_ = true;
    }
    showMinimized();
}

void TfrmCollectData::Timer1Timer()
{
    // The window shows what happened once per tick, not with every message.
    try {
        engine_->Tick();
    } catch (...) {
        ShowRunState();
        throw;
    }
    ShowRunState();
}

void TfrmCollectData::ClientSocketCentralStationConnect()
{
    engine_->CentralStationConnected();
}

void TfrmCollectData::ClientSocketCentralStationDisconnect()
{
    engine_->CentralStationDisconnected();
}

void TfrmCollectData::ClientSocketCentralStationError(int windowsSocketsError)
{
    engine_->CentralStationError(windowsSocketsError);
}

void TfrmCollectData::ClientSocketCentralStationRead()
{
    engine_->CentralStationRead();
}

void TfrmCollectData::ClientSocketRelayConnect()
{
    engine_->RelayConnected();
}

void TfrmCollectData::ClientSocketRelayDisconnect()
{
    engine_->RelayDisconnected();
}

void TfrmCollectData::ClientSocketRelayRead()
{
    engine_->RelayRead();
}

void TfrmCollectData::btnStartClick()
{
    engine_->Start();
}

void TfrmCollectData::btnStopClick()
{
    engine_->Stop();
}

void TfrmCollectData::btnParametersClick()
{
    dialogs_->btnParametersClick();
}

void TfrmCollectData::btnIntervalClick()
{
    dialogs_->btnIntervalClick();
}

void TfrmCollectData::btnServerSelectClick()
{
    dialogs_->btnServerSelectClick();
}

void TfrmCollectData::CBListPatientsClickCheck()
{
    engine_->Census().CBListPatientsClickCheck();
}

void TfrmCollectData::CBListPatientsClick()
{
    engine_->Census().CBListPatientsClick();
}

void TfrmCollectData::DeleteActionClick()
{
    engine_->Census().DeleteActionClick();
}

void TfrmCollectData::Splitter1Moved()
{
    gridPane_->Splitter1Moved();
}

void TfrmCollectData::Panel1Resize()
{
    gridPane_->Panel1Resize();
}

void TfrmCollectData::StringGrid1DblClick()
{
    gridPane_->StringGrid1DblClick();
}

void TfrmCollectData::lblNoNetworkClick()
{
    env_.prompter->ShowMessage(std::string());
}

void TfrmCollectData::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Splitter1Moved();
}

bool TfrmCollectData::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Panel1 && event->type() == QEvent::Resize) Panel1Resize();
    if (watched == StringGrid1 && event->type() == QEvent::Resize) Splitter1Moved();
    if (watched == lblNoNetwork && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        lblNoNetworkClick();
    return QMainWindow::eventFilter(watched, event);
}

void TfrmCollectData::ApplicationException(const std::string& message)
{
    LabelConnected->setText(ShownText(message));
    AddLogLine(message);
}

}  // namespace halcyra
