#include "app/RunEngine.h"

#include "datamanager/DataFolder.h"
#include "hl7/CensusPatient.h"
#include "platform/Text.h"
#include "ui/FileVersionScanner.h"

#include <exception>

namespace halcyra {
namespace {

// A socket that never opens: the environment gave none.
class TClosedSocket final : public IClientSocket {
public:
    bool IsOpen() const override { return false; }
    void Close() override {}
};

// An environment without a data manager: creating its object always fails.
class TNoDataManager final : public IDataManagerLinkFactory {
public:
    std::unique_ptr<IQuarzelAutoObject> Create(IDataManagerEvents&) override
    {
        throw EDataManagerError("no data manager is installed");
    }
};

bool FileExistsQuietly(const TFileSystem& files, const std::string& path)
{
    try {
        return files.FileExists(path);
    } catch (const std::exception&) {
        return false;
    }
}

template <typename T>
T& Or(T* view, T& fallback)
{
    return view != nullptr ? *view : fallback;
}

}  // namespace

TRunEngine::TRunEngine(const TEngineEnvironment& environment, const TEngineViews& views)
    : env_(environment),
      settings_(*env_.registry),
      log_(*env_.clock, *env_.files),
      headless_(log_),
      params_(settings_),
      patientFolders_(*env_.files, idReduction_),
      patientFile_(*env_.files),
      census_(settings_, *env_.clock, idReduction_, patientFolders_, patientFile_),
      saveFileIo_(env_.saveFileIo ? env_.saveFileIo : TPosixSaveFileIo::Default()),
      writer_(saveFileIo_),
      monitorFile_(*env_.files, saveFileIo_, params_, notices_),
      folderOwners_(*env_.files, saveFileIo_, patientFolders_)
{
    Wire(views);
}

TRunEngine::~TRunEngine() = default;

void TRunEngine::Wire(const TEngineViews& views)
{
    ICollectView& collectView = Or(views.collect, static_cast<ICollectView&>(headless_));
    IMessageView& messageView = Or(views.messages, static_cast<IMessageView&>(headless_));
    ICentralStationView& readerView = Or(views.centralStation, static_cast<ICentralStationView&>(headless_));
    IConnectedClientsView& clientsView = Or(views.connectedClients, static_cast<IConnectedClientsView&>(headless_));
    const auto logLine = [this](const std::string& line) { log_.AddLogLine(line); };

    log_.SetMirror(env_.logMirror);
    if (env_.messageBoxes != nullptr)
        patientFile_.OnShowMessage = [this](const std::string& text) { env_.messageBoxes->ShowMessage(text); };
    writer_.OnLog = [this](const std::string& line) { monitorFile_.WriterLine(line); };
    monitorFile_.SetLogger(logLine);
    monitorFile_.SetClock(env_.clock);
    centralStationSocket_ = env_.centralStationSocket ? env_.centralStationSocket() : std::make_unique<TClosedSocket>();
    collectTargets_ =
        std::make_unique<TCensusCollectTargets>(census_, patientFolders_, folderOwners_, monitorFile_, writer_);
    cycle_ = std::make_unique<TCollectionCycle>(TCollectionCycle::TParts{
        *env_.clock, settings_, log_, params_, dataManager_, collectView, *collectTargets_, *centralStationSocket_});
    messages_ = std::make_unique<TMessageHandler>(
        TMessageHandler::TParts{*env_.clock, *env_.files, log_, *cycle_, census_, patientFolders_, folderOwners_,
                                patientFile_, monitorFile_, writer_, params_, messageView, notices_});
    messages_->SetParameterGrid(views.parameterGrid);
    census_.SetStopDelimiterWriter([this](const TPatient& patient) {
        cycle_->WritePatientStopDelimiters(patient.PatientID, patient.FirstName, patient.LastName);
    });
    census_.SetFolderOwners(&folderOwners_);
    census_.SetLogger(logLine);
    notices_.OnValuesHeldBack = [this](TDateTime until) { cycle_->ValuesHeldBack(until); };
    readerCycle_ = std::make_unique<TReaderCycle>(*cycle_, *messages_);
    reader_ = std::make_unique<TCentralStationReader>(*centralStationSocket_, *readerCycle_, readerView, *env_.clock,
                                                      *env_.files, TFileVersionScanner::GetVersion(), debugFolder_);
    TClientSocketEvents events;
    events.connected = [this] { CentralStationConnected(); };
    events.disconnected = [this] { CentralStationDisconnected(); };
    events.error = [this](int error) { CentralStationError(error); };
    events.read = [this] { CentralStationRead(); };
    centralStationSocket_->SetEvents(std::move(events));

    relayClientSocket_ = env_.relayClientSocket ? env_.relayClientSocket() : std::make_unique<TClosedSocket>();
    relayListener_ = env_.relayListener ? env_.relayListener() : std::make_unique<TNoRelayListener>();
    relayServer_ = std::make_unique<TRelayServer>(*relayListener_, clientsView, *env_.clock, logLine);
    messages_->SetRelayForwarder(relayServer_.get());
    relayReaderCycle_ = std::make_unique<TRelayReaderCycle>(*cycle_, *messages_);
    relayClient_ = std::make_unique<TRelayClient>(*relayClientSocket_, *relayReaderCycle_, readerView, *env_.clock,
                                                  *env_.files, TFileVersionScanner::GetVersion());
    relaySupervision_ = std::make_unique<TRelaySupervisionLink>(*relayServer_, *relayClient_);
    cycle_->SetRelay(relaySupervision_.get());
    cycle_->SetRelayClientSocket(relayClientSocket_.get());
    TClientSocketEvents relayEvents;
    relayEvents.connected = [this] { RelayConnected(); };
    relayEvents.disconnected = [this] { RelayDisconnected(); };
    // A refused or failed relay connection is logged; the tick's countdown retries it. Without a host (a first
    // run, before one is chosen) there is nothing to connect to, so nothing failed.
    relayEvents.error = [this](int error) {
        if (!cycle_->ConnectTarget().host.empty()) RelayError(error);
    };
    relayEvents.read = [this] { RelayRead(); };
    relayClientSocket_->SetEvents(std::move(relayEvents));
}

void TRunEngine::StartUp(const std::function<void()>& hostStartUp)
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
        relayServer_->Start(settings_.ReadRegInteger(setting::ClientSocketPort),
                            settings_.ReadRegString(setting::RelayAllowedClients));
        // Creates "DefaultUnits" with the program key when missing, so the key exists from here on.
        params_.LoadDefaultUnits();
        cycle_->Settings() = ReadCycleSettings(settings_);
        autoStartConfigured_ = cycle_->Settings().autoStart;
        messages_->Settings() = ReadMessageSettings(settings_);
        idReduction_.LoadSettings(settings_);
        // Only the first argument is ever examined.
        const std::string firstArgument = env_.arguments.empty() ? std::string() : UpperAscii(env_.arguments.front());
        // Without the data manager the run cannot go on; the rest of start-up still runs.
        dataManager_.SetLogger([this](const std::string& line) { AddLogLine(line); });
        TNoDataManager none;
        IDataManagerLinkFactory& factory = env_.dataManager != nullptr ? *env_.dataManager : none;
        if (dataManager_.CreateDataManagerLink(factory, firstArgument, settings_.ReadRegBool(setting::NoVelgard)) ==
            TDataManagerLinkResult::Failed) {
            // Set before the host is told: a run ended while its box is open ends as a refused start.
            terminateRequested_ = true;
            if (OnStartRefused) OnStartRefused();
        }
        if (hostStartUp) hostStartUp();
        cycle_->SetLastCompleteMessage(env_.clock->Now() - 1000);
        reader_->SetDebugFolder(debugFolder_);
        cycle_->Connect();
        // Stored patients come back as absent rows with their ticks, however old their time stamps.
        census_.SaveCensus(true);
    } catch (const std::exception& e) {
        AddLogLine(std::string("Start up - ") + e.what());
    }
}

bool TRunEngine::Show()
{
    const bool first = !firstShowDone_;
    if (first) {
        params_.LoadFirstShow();
        medianFilterValue_ = settings_.ReadRegInteger(setting::MedianFilterValue);
        timerPeriodMs_ = settings_.ReadRegInteger(setting::TimerInterval);
        cycle_->FirstShow(settings_.ReadRegInteger(setting::Interval));
        firstShowDone_ = true;
    }
    cycle_->ReapplyStatus();
    return first;
}

void TRunEngine::Tick()
{
    dataManager_.Tick();
    // What a hold kept arrived before any boundary this tick crosses: it is handled first. A message that
    // fails there does not keep the tick from running.
    std::exception_ptr heldFailure;
    try {
        reader_->ReadHeldBytes();
        relayClient_->ReadHeldBytes();
    } catch (...) {
        heldFailure = std::current_exception();
    }
    // A read skipped while the tick held the re-entrancy flag is not announced again by the socket.
    try {
        cycle_->Tick();
    } catch (...) {
        ReadWaitingBytes();
        throw;
    }
    ReadWaitingBytes();
    if (heldFailure) std::rethrow_exception(heldFailure);
}

void TRunEngine::ReadWaitingBytes()
{
    reader_->ReadWaitingBytes();
    relayClient_->ReadWaitingBytes();
}

void TRunEngine::Close()
{
    // A collected series never runs on across the end of the run.
    if (cycle_->Status() == csCollecting || cycle_->Status() == csConnectionLost) cycle_->WriteStopDelimiters();
    centralStationSocket_->Close();
    if (reader_->MessagesReceived() > 0) AddLogLine(reader_->CountersText());
    relayClientSocket_->Close();
    relayServer_->Stop();
    cycle_->SaveChangedCensus();
    // The data manager gets a few seconds for what it was told last; the files hold it all anyway.
    const std::int64_t awaiting = dataManager_.State().backlog;
    if (awaiting > 0 && !dataManager_.AwaitOutstanding(kEndAnswerSeconds))
        AddLogLine("The data manager did not answer " + std::to_string(dataManager_.State().backlog) + " of " +
                   std::to_string(awaiting) + " calls before the end");
}

TRunStatus TRunEngine::RunStatus() const
{
    TRunStatus s;
    const TConnectTarget& target = cycle_->ConnectTarget();
    s.centralStation = target.centralStation;
    s.host = target.host;
    s.port = target.port;
    s.socketOpen = target.centralStation ? centralStationSocket_->IsOpen() : relayClientSocket_->IsOpen();
    s.status = cycle_->Status();
    s.connected = s.socketOpen && (s.status == csConnected || s.status == csCollecting);
    s.socketError = target.centralStation && !s.socketOpen ? socketError_ : 0;
    s.intervalSeconds = cycle_->Interval().Seconds();
    s.nextBoundary = cycle_->Interval().NextBoundary();
    s.messagesReceived = messages_->MessagesDecoded();
    s.messagesDropped = reader_->Framer().DroppedCount() + relayClient_->Framer().DroppedCount();
    if (s.messagesReceived > 0) s.lastMessage = cycle_->LastCompleteMessage();
    s.pointsWritten = monitorFile_.ValuesWritten();
    s.writesFailed = statusBoard_.WritesFailed();
    s.now = env_.clock->Now();
    s.patientsExpired = census_.ExpiredCount();
    s.dataManager = dataManager_.State();
    s.autoStart = autoStartConfigured_;
    s.autoCreate = messages_->Settings().autoCreate;
    s.parametersChosen = params_.CollectedCount() > 0 || params_.Automatic();
    for (int row = 1; row < census_.RowCount(); ++row) {
        const TCensusRow& r = census_.Row(row);
        TPatientStatus p;
        p.id = r.patient.PatientID;
        const std::string prefix = CensusRowText(p.id, "");
        p.name = r.text.rfind(prefix, 0) == 0 ? r.text.substr(prefix.size()) : r.text;
        p.ticked = r.ticked;
        p.present = r.enabled;
        p.collecting = r.ticked && r.enabled && s.status == csCollecting;
        if (const TPatientRecord* record = statusBoard_.Find(p.id)) {
            p.lastPointTime = record->lastPointTime;
            p.pointsWritten = record->pointsWritten;
            // A file opened for creation exists only once a value reached it.
            if (!record->file.empty() && FileExistsQuietly(*env_.files, record->file)) p.file = record->file;
            p.problem = record->problem;
            p.problemCurrent = record->HasCurrentProblem();
            if (p.collecting && record->WaitingUntil() > 0) {
                p.waitingUntil = record->WaitingUntil();
                p.collecting = false;
            }
        }
        // A refusal of the folder is the row's hint before any value was due.
        if (p.problem.empty() && !r.hint.empty()) {
            p.problem = r.hint;
            p.problemCurrent = true;
        }
        s.patients.push_back(std::move(p));
    }
    return s;
}

void TRunEngine::ApplyParameterChoice(bool automatic, int collectedCount)
{
    params_.SetAutomatic(automatic);
    params_.SetCollectedCount(collectedCount);
    if (cycle_->Status() == csCollecting) {
        // The delimiters close what was collected with the old choice; a new first boundary follows.
        cycle_->Stop();
        cycle_->Start();
    } else {
        params_.Parameters().SetAllCollected();
    }
    params_.Parameters().ClearCollected(params_.ExcludedParams());
}

void TRunEngine::ApplyCollectInterval(const std::optional<TCollectIntervalAnswer>& answer)
{
    std::int32_t seconds = cycle_->Interval().Seconds();
    if (answer) {
        seconds = answer->seconds;
        cycle_->Settings().useHalcyraSettings = answer->useHalcyraSettings;
    }
    // Whatever the answer, the next boundary follows the previous one by the interval in force.
    cycle_->CollectIntervalChanged(seconds);
}

void TRunEngine::ApplyHostSettings(const THostSettings& chosen)
{
    THostSettingsEffects effects;
    effects.closeSockets = [this] { centralStationSocket_->Close(); };
    effects.connect = [this] { cycle_->Connect(); };
    // The handling takes the new values before the reconnect can bring new messages.
    messages_->Settings().autoCreate = chosen.autoCreate;
    messages_->Settings().enableDefaultUnits = chosen.enableDefaultUnits;
    const bool filterMR = StoreHostSettings(settings_, chosen, effects);
    TPatientIdReductionSettings reduction;
    reduction.filterMR = filterMR;
    reduction.mode = static_cast<TPatientIdReductionMode>(chosen.patientIDReduction);
    reduction.nrOfChars = chosen.nrOfChars;
    const TPatientIdReductionSettings& before = idReduction_.Settings();
    if (before.filterMR != reduction.filterMR || before.mode != reduction.mode ||
        before.nrOfChars != reduction.nrOfChars)
        messages_->IdReductionChanged(idReduction_);
    idReduction_.SetSettings(reduction);
}

void TRunEngine::SetLogEnabled(bool enabled)
{
    if (enabled != log_.EnableLogfile) {
        log_.EnableLogfile = true;
        AddLogLine(enabled ? "Log file enabled" : "Log file disabled");
    }
    settings_.WriteRegBool(setting::EnableLogfile, enabled);
    log_.EnableLogfile = enabled;
}

}  // namespace halcyra
