// The new-patient window: a short notice that a patient was created in the data manager's data area,
// hidden again 5 seconds after its timer first started.
#pragma once

#include "patients/PatientFile.h"

#include <QWidget>

#include <memory>
#include <string>
#include <string_view>

class QTimer;
namespace Ui {
class TfrmNewPatient;
}

namespace halcyra {

class TfrmNewPatient : public QWidget {
    Q_OBJECT
public:
    // Takes over the patient file's notices: every creation shows this window.
    explicit TfrmNewPatient(TPatientFile& patientFile, QWidget* parent = nullptr);
    ~TfrmNewPatient() override;

    // The patient file operations, with this window's notice.
    int CreatePatient(std::string_view idText, std::string_view givenName, std::string_view familyName,
                      std::string_view folder);
    int RewritePatientNames(std::string_view id, std::string_view givenName, std::string_view familyName,
                            std::string_view folder);

    // Starts Timer1 unless it runs (so a second notice still hides with the first), shows the notice.
    void ShowNotice(const TCreateNotice& notice);
    void Timer1Timer();

private:
    TPatientFile& patientFile_;
    std::unique_ptr<Ui::TfrmNewPatient> ui_;
    QTimer* Timer1 = nullptr;
};

}  // namespace halcyra
