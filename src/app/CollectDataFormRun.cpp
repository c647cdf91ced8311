// The window's views of the run, and the engine they show.
#include "app/CollectDataForm.h"

#include "app/FormCollectView.h"
#include "app/PatientGridPane.h"
#include "app/ShownText.h"
#include "hl7/CensusListView.h"
#include "patients/NewPatient.h"
#include "platform/Text.h"
#include "relay/ConnectedClientsList.h"
#include "ui/ConnectAnimation.h"

namespace halcyra {

void TfrmCollectData::BuildRun()
{
    animation_ = new TConnectAnimation(Animate);
    animation_->ShowFrame(1);
    gridPane_ =
        std::make_unique<TPatientGridPane>(this, Panel1, CBListPatients, Splitter1, StringGrid1,
                                           Utf8ToWin1252((tr("More values") + QStringLiteral(" >>")).toStdString()));
    collectView_ = std::make_unique<TFormCollectView>(*this);
    collectView_->SetParameterGrid(&gridPane_->Grid());
    connectedClients_ = std::make_unique<TConnectedClientsList>(gbConnectedDataClients, ListBoxConnectedClients);
    TEngineViews views;
    views.collect = collectView_.get();
    views.messages = collectView_.get();
    views.centralStation = collectView_.get();
    views.parameterGrid = &gridPane_->Grid();
    views.connectedClients = connectedClients_.get();
    TEngineEnvironment engineEnvironment = env_;
    if (engineEnvironment.messageBoxes == nullptr) engineEnvironment.messageBoxes = env_.prompter;
    engine_ = std::make_unique<TRunEngine>(engineEnvironment, views);
    frmNewPatient = new TfrmNewPatient(engine_->PatientFile(), this);
    censusView_ = new TCensusListView(CBListPatients, PopupMenuCBList, engine_->Census(),
                                      [](const std::string& hint) { return ShownText(hint); });
    censusView_->OnClickCheck = [this] { CBListPatientsClickCheck(); };
    censusView_->OnClick = [this] { CBListPatientsClick(); };
}

void TfrmCollectData::ShowRunState()
{
    gridPane_->Grid().Flush();
    ShowPatientStatus();
}

void TfrmCollectData::ShowDataManagerState(const TDataManagerState& state)
{
    const bool lost = state.used && !state.connected;
    if (lost) {
        QString text =
            tr("Data manager lost since %1").arg(QString::fromStdString(FormatDateTime("hh:nn:ss", state.since)));
        if (!state.lastError.empty()) text += QStringLiteral(": ") + ShownText(state.lastError);
        lblDataManager->setText(text);
    }
    lblDataManager->setVisible(lost);
}

void TfrmCollectData::ShowPatientStatus()
{
    const TDataManagerState dataManager = engine_->DataManager().State();
    ShowDataManagerState(dataManager);
    // Values still reach the files; the nurse sees that the record's program does not hear of them.
    const bool notTold = dataManager.used && !dataManager.connected;
    const TPatientStatusBoard& board = engine_->StatusBoard();
    const TCensus& census = engine_->Census();
    const TDateTime today = static_cast<TDateTime>(static_cast<long long>(engine_->Now()));
    for (int row = 1; row < census.RowCount(); ++row) {
        const TCensusRow& r = census.Row(row);
        const TPatientRecord* record = board.Find(r.patient.PatientID);
        QString status;
        QString problem;
        if (record != nullptr && r.ticked && record->pointsWritten > 0) {
            const TDateTime t = record->lastPointTime;
            const std::string time = FormatDateTime(t >= today ? "hh:nn:ss" : "yyyy-mm-dd hh:nn:ss", t);
            status = record->pointsWritten == 1 ? tr("last written %1 \u00b7 1 point").arg(QString::fromStdString(time))
                                                : tr("last written %1 \u00b7 %2 points")
                                                      .arg(QString::fromStdString(time))
                                                      .arg(record->pointsWritten);
        }
        if (record != nullptr && record->HasCurrentProblem())
            problem = ShownText(record->problem);
        else if (notTold && r.ticked)
            problem = tr("Written to the file, not told to the data manager");
        censusView_->ShowRowStatus(row, status, problem);
    }
}

}  // namespace halcyra
