// The window's views of the run, and the engine they show.
#include "app/CollectDataForm.h"

#include "app/FormCollectView.h"
#include "app/PatientGridPane.h"
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
    censusView_ = new TCensusListView(CBListPatients, PopupMenuCBList, engine_->Census());
    censusView_->OnClickCheck = [this] { CBListPatientsClickCheck(); };
    censusView_->OnClick = [this] { CBListPatientsClick(); };
}

}  // namespace halcyra
