// The run's engine behind the window: the census, the collection cycle, the message handling, the
// central-station reader and the relay, wired to one another and to the window's controls.
#include "app/CollectDataForm.h"

#include "app/FormCollectView.h"
#include "app/PatientGridPane.h"
#include "hl7/CensusListView.h"
#include "patients/NewPatient.h"
#include "platform/Text.h"
#include "ui/ConnectAnimation.h"
#include "ui/FileVersionScanner.h"

namespace halcyra {
namespace {

// A socket that never opens: the environment gave none.
class TClosedSocket final : public IClientSocket {
public:
    bool IsOpen() const override { return false; }
    void Close() override {}
};

}  // namespace

void TfrmCollectData::BuildRun()
{
    centralStationSocket_ = env_.centralStationSocket ? env_.centralStationSocket() : std::make_unique<TClosedSocket>();
    log_.SetMirror(env_.logMirror);
    frmNewPatient = new TfrmNewPatient(patientFile_, this);
    patientFile_.OnShowMessage = [this](const std::string& text) { env_.prompter->ShowMessage(text); };
    censusView_ = new TCensusListView(CBListPatients, PopupMenuCBList, census_);
    censusView_->OnClickCheck = [this] { CBListPatientsClickCheck(); };
    censusView_->OnClick = [this] { CBListPatientsClick(); };
    saveIt1_.OnLog = [this](const std::string& line) { AddLogLine(line); };
    monitorFile_.SetLogger([this](const std::string& line) { AddLogLine(line); });
    animation_ = new TConnectAnimation(Animate);
    animation_->ShowFrame(1);
    gridPane_ =
        std::make_unique<TPatientGridPane>(this, Panel1, CBListPatients, Splitter1, StringGrid1,
                                           Utf8ToWin1252((tr("More values") + QStringLiteral(" >>")).toStdString()));
    collectView_ = std::make_unique<TFormCollectView>(*this, !env_.serviceMode);
    collectView_->SetParameterGrid(&gridPane_->Grid());
    collectTargets_ =
        std::make_unique<TCensusCollectTargets>(census_, patientFolders_, folderOwners_, monitorFile_, saveIt1_);
    cycle_ = std::make_unique<TCollectionCycle>(TCollectionCycle::TParts{
        *env_.clock, settings_, log_, params_, dataManager_, *collectView_, *collectTargets_, *centralStationSocket_});
    messages_ = std::make_unique<TMessageHandler>(
        TMessageHandler::TParts{*env_.clock, *env_.files, log_, *cycle_, census_, patientFolders_, folderOwners_,
                                patientFile_, monitorFile_, saveIt1_, params_, dataManager_, *collectView_});
    messages_->SetParameterGrid(&gridPane_->Grid());
    census_.SetStopDelimiterWriter([this](const TPatient& patient) {
        cycle_->WritePatientStopDelimiters(patient.PatientID, patient.FirstName, patient.LastName);
    });
    census_.SetFolderOwners(&folderOwners_);
    census_.SetLogger([this](const std::string& line) { AddLogLine(line); });
    readerCycle_ = std::make_unique<TReaderCycle>(*cycle_, *messages_);
    reader_ = std::make_unique<TCentralStationReader>(*centralStationSocket_, *readerCycle_, *collectView_, *env_.clock,
                                                      *env_.files, TFileVersionScanner::GetVersion(), debugFolder_);
    TClientSocketEvents events;
    events.connected = [this] { ClientSocketCentralStationConnect(); };
    events.disconnected = [this] { ClientSocketCentralStationDisconnect(); };
    events.error = [this](int error) { ClientSocketCentralStationError(error); };
    events.read = [this] { ClientSocketCentralStationRead(); };
    centralStationSocket_->SetEvents(std::move(events));

    relayClientSocket_ = env_.relayClientSocket ? env_.relayClientSocket() : std::make_unique<TClosedSocket>();
    relayListener_ = env_.relayListener ? env_.relayListener() : std::make_unique<TNoRelayListener>();
    connectedClients_ = std::make_unique<TConnectedClientsList>(gbConnectedDataClients, ListBoxConnectedClients);
    relayServer_ = std::make_unique<TRelayServer>(*relayListener_, *connectedClients_, *env_.clock,
                                                  [this](const std::string& line) { AddLogLine(line); });
    messages_->SetRelayForwarder(relayServer_.get());
    relayReaderCycle_ = std::make_unique<TRelayReaderCycle>(*cycle_, *messages_);
    relayClient_ = std::make_unique<TRelayClient>(*relayClientSocket_, *relayReaderCycle_, *collectView_, *env_.clock,
                                                  *env_.files, TFileVersionScanner::GetVersion());
    relaySupervision_ = std::make_unique<TRelaySupervisionLink>(*relayServer_, *relayClient_);
    cycle_->SetRelay(relaySupervision_.get());
    cycle_->SetRelayClientSocket(relayClientSocket_.get());
    TClientSocketEvents relayEvents;
    relayEvents.connected = [this] { ClientSocketRelayConnect(); };
    relayEvents.disconnected = [this] { ClientSocketRelayDisconnect(); };
    // A refused or failed relay connection is retried by the tick's countdown.
    relayEvents.read = [this] { ClientSocketRelayRead(); };
    relayClientSocket_->SetEvents(std::move(relayEvents));
}

}  // namespace halcyra
