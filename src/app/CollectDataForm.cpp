#include "app/CollectDataForm.h"
#include "app/SettingsDialogs.h"

#include "app/FormCollectView.h"
#include "app/PatientGridPane.h"
#include "datamanager/DataFolder.h"
#include "hl7/CensusListView.h"
#include "patients/NewPatient.h"
#include "platform/Text.h"
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

// An environment without a data manager: creating its object always fails.
class TNoDataManager final : public IDataManagerLinkFactory {
public:
    std::unique_ptr<IQuarzelAutoObject> Create() override { throw EDataManagerError("no data manager is installed"); }
};

QString ToQt(std::string_view text)
{
    return QString::fromStdString(Win1252ToUtf8(text));
}
std::string FromQt(const QString& text)
{
    return Utf8ToWin1252(text.toStdString());
}

}  // namespace

TfrmCollectData::TfrmCollectData(TEnvironment& environment, QWidget* parent)
    : QMainWindow(parent),
      env_(environment),
      settings_(*environment.registry),
      log_(*environment.clock, *environment.files),
      params_(settings_),
      patientFolders_(*environment.files, idReduction_),
      patientFile_(*environment.files),
      census_(settings_, *environment.clock, idReduction_, patientFolders_, patientFile_),
      saveFileIo_(TPosixSaveFileIo::Default()),
      saveIt1_(saveFileIo_),
      monitorFile_(*environment.files, saveFileIo_, params_, dataManager_),
      folderOwners_(*environment.files, saveFileIo_, patientFolders_)
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

TfrmCollectData::~TfrmCollectData() = default;

void TfrmCollectData::FormCreate()
{
    try {
        // Only the per-machine hive's "HKEY" can move the settings there; every later read depends on it.
        settings_.ChooseSettingsRoot();
        log_.EnableLogfile = settings_.ReadRegBool(setting::EnableLogfile);
        debugFolder_ = settings_.ReadRegString(setting::DebugFolder);
        // A log that cannot be loaded is worth a line but never stops start-up.
        try {
            if (!env_.files->DirectoryExists(debugFolder_) && !env_.files->ForceDirectories(debugFolder_))
                throw EFileError("Cannot create folder " + debugFolder_);
            log_.SetLogPath(debugFolder_ + std::string(kLogFileName));
            log_.LoadExisting();
        } catch (const std::exception& e) {
            AddLogLine(std::string("Error: ") + e.what());
        }
        AddLogLine("");
        AddLogLine("Opening application " + env_.executablePath);
        const TDataFolderInfo dataFolder = GetDataFolder(settings_.RootHive(), "DATA\\");
        dataFolder_ = dataFolder.dataFolder;
        compatibilityMode_ = dataFolder.compatibilityMode;
        patientFolders_.SetDataFolder(dataFolder_, compatibilityMode_);
        // The one-minute relay job runs on the first timer tick.
        LastRelayJob = EncodeDateTime(1900, 1, 1);
        LastRelayLifeTick = EncodeDateTime(1900, 1, 1);
        RelayReconnectCountdown = 10;
        RelayPort = settings_.ReadRegInteger(setting::ClientSocketPort);
        RelayConnected = false;
        relayServer_->Start(RelayPort, settings_.ReadRegString(setting::RelayAllowedClients));
        for (QWidget* w : findChildren<QWidget*>()) w->setToolTipDuration(kHintHidePauseMs);
        MedianFilterValue = 15;
        UseHalcyraSettings = settings_.ReadRegBool(setting::UseHalcyraSettings);
        setWindowTitle(tr("Central Station Data Client (Ver. %1)").arg(ToQt(TFileVersionScanner::GetVersion())));
        // Creates "DefaultUnits" with the program key when missing, so the key exists from here on.
        params_.LoadDefaultUnits();
        AutoHide = settings_.ReadRegBool(setting::AutoHide);
        AutoStart = settings_.ReadRegBool(setting::AutoStart);
        AutoCreate = settings_.ReadRegBool(setting::AutoCreate);
        FilterMR = settings_.ReadRegBool(setting::FilterMR);
        NoVelgard = settings_.ReadRegBool(setting::NoVelgard);
        EnableDefaultUnits = settings_.ReadRegBool(setting::EnableDefaultUnits);
        PatientIDReduction = static_cast<std::uint8_t>(settings_.ReadRegInteger(setting::PatientIDReduction));
        NrOfChars = settings_.ReadRegInteger(setting::NrOfChars);
        idReduction_.LoadSettings(settings_);
        // Only the first argument is ever examined.
        FirstArgument = env_.arguments.empty() ? std::string() : UpperAscii(env_.arguments.front());
        // Without the data manager the run cannot go on; the rest of start-up still runs.
        dataManager_.SetLogger([this](const std::string& line) { AddLogLine(line); });
        TNoDataManager none;
        IDataManagerLinkFactory& factory = env_.dataManager != nullptr ? *env_.dataManager : none;
        if (dataManager_.CreateDataManagerLink(factory, FirstArgument, NoVelgard) == TDataManagerLinkResult::Failed) {
            // Set before the box: a run ended while it is open ends as a refused start.
            terminateRequested_ = true;
            env_.prompter->ShowMessage(FromQt(tr("Unable to start, please contact Tovarin")));
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
        }
        // A desktop without a tray must not stop start-up.
        ShowTrayIcon();
        hide();
        cycle_->SetLastCompleteMessage(env_.clock->Now() - 1000);
        TCycleSettings& cycle = cycle_->Settings();
        cycle.autoStart = AutoStart;
        cycle.autoHide = AutoHide;
        cycle.useHalcyraSettings = UseHalcyraSettings;
        cycle.relayPort = static_cast<std::uint16_t>(RelayPort);
        TMessageSettings& messages = messages_->Settings();
        messages.autoCreate = AutoCreate;
        messages.enableDefaultUnits = EnableDefaultUnits;
        messages.debugFolder = debugFolder_;
        reader_->SetDebugFolder(debugFolder_);
        cycle_->Connect();
        // Stored patients come back as absent rows with their ticks; expired ones are forgotten.
        census_.SaveCensus(true);
    } catch (const std::exception& e) {
        AddLogLine(std::string("Start up - ") + e.what());
    }
}

void TfrmCollectData::ShowTrayIcon()
{
    if (env_.serviceMode) return;  // a service has no desktop to show an icon on
    try {
        TaskbarIconControler1->SetVisible(true);
    } catch (const std::exception& e) {
        AddLogLine(e.what());
    }
}

void TfrmCollectData::FormShow()
{
    if (!firstShowDone_) {
        if (cbLogFile->isChecked() != log_.EnableLogfile) {
            cbLogFile->setChecked(log_.EnableLogfile);
            cbLogFileClick();
        }
        Timer1->start();
        params_.LoadFirstShow();
        QRadioButton* filter[] = {FilterFunctionAverage, FilterFunctionMedian, FilterFunctionMomentary};
        filter[params_.FilterFunction()]->setChecked(true);
        CollectInterval = settings_.ReadRegInteger(setting::Interval);
        MedianFilterValue = settings_.ReadRegInteger(setting::MedianFilterValue);
        TimerPeriod = settings_.ReadRegInteger(setting::TimerInterval);
        Timer1->setInterval(TimerPeriod);
        cycle_->FirstShow(CollectInterval);
        firstShowDone_ = true;
    }
    cycle_->ReapplyStatus();
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
    if (collecting && centralStationSocket_->IsOpen()) {
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
    // A collected series never runs on across the end of the run.
    if (cycle_->Status() == csCollecting || cycle_->Status() == csConnectionLost) cycle_->WriteStopDelimiters();
    centralStationSocket_->Close();
    if (reader_->MessagesReceived() > 0) AddLogLine(reader_->CountersText());
    relayClientSocket_->Close();
    relayServer_->Stop();
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
    const bool checked = cbLogFile->isChecked();
    if (checked != log_.EnableLogfile) {
        log_.EnableLogfile = true;
        AddLogLine(checked ? "Log file enabled" : "Log file disabled");
    }
    settings_.WriteRegBool(setting::EnableLogfile, checked);
    log_.EnableLogfile = checked;
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
    // A read skipped while the tick held the re-entrancy flag is not announced again by the socket.
    try {
        cycle_->Tick();
    } catch (...) {
        ReadWaitingBytes();
        throw;
    }
    ReadWaitingBytes();
}

void TfrmCollectData::ReadWaitingBytes()
{
    reader_->ReadWaitingBytes();
    relayClient_->ReadWaitingBytes();
}

void TfrmCollectData::ClientSocketCentralStationConnect()
{
    reader_->ClientSocketCentralStationConnect();
}

void TfrmCollectData::ClientSocketCentralStationDisconnect()
{
    reader_->ClientSocketCentralStationDisconnect();
}

void TfrmCollectData::ClientSocketCentralStationError(int windowsSocketsError)
{
    reader_->ClientSocketCentralStationError(windowsSocketsError);
}

void TfrmCollectData::ClientSocketCentralStationRead()
{
    reader_->ClientSocketCentralStationRead();
}

void TfrmCollectData::ClientSocketRelayConnect()
{
    relayClient_->ClientSocketRelayConnect();
}

void TfrmCollectData::ClientSocketRelayDisconnect()
{
    relayClient_->ClientSocketRelayDisconnect();
}

void TfrmCollectData::ClientSocketRelayRead()
{
    relayClient_->ClientSocketRelayRead();
}

void TfrmCollectData::btnStartClick()
{
    cycle_->Start();
}

void TfrmCollectData::btnStopClick()
{
    cycle_->Stop();
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
    census_.CBListPatientsClickCheck();
}

void TfrmCollectData::CBListPatientsClick()
{
    census_.CBListPatientsClick();
}

void TfrmCollectData::DeleteActionClick()
{
    census_.DeleteActionClick();
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
    LabelConnected->setText(ToQt(message));
    AddLogLine(message);
}

}  // namespace halcyra
