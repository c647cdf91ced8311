#include "patients/NewPatient.h"

#include "platform/Text.h"

#include "ui_NewPatient.h"

#include <QLabel>
#include <QTimer>

namespace halcyra {
namespace {

constexpr int kTextPixels = 19;
constexpr int kHideAfterMs = 5000;

}  // namespace

TfrmNewPatient::TfrmNewPatient(TPatientFile& patientFile, QWidget* parent)
    : QWidget(parent, Qt::Window), patientFile_(patientFile), ui_(std::make_unique<Ui::TfrmNewPatient>())
{
    // The form fixes the size: a window grown to a long text costs its pixels in memory.
    ui_->setupUi(this);
    // A form's font sizes are in points; the notice's text is sized in pixels.
    QFont font = ui_->LblStatus->font();
    font.setPixelSize(kTextPixels);
    ui_->LblStatus->setFont(font);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kHideAfterMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    patientFile_.OnCreateNotice = [this](const TCreateNotice& notice) { ShowNotice(notice); };
}

TfrmNewPatient::~TfrmNewPatient() = default;

int TfrmNewPatient::CreatePatient(std::string_view idText, std::string_view givenName, std::string_view familyName,
                                  std::string_view folder)
{
    return patientFile_.CreatePatient(idText, givenName, familyName, folder);
}

int TfrmNewPatient::RewritePatientNames(std::string_view id, std::string_view givenName, std::string_view familyName,
                                        std::string_view folder)
{
    return patientFile_.RewritePatientNames(id, givenName, familyName, folder);
}

void TfrmNewPatient::ShowNotice(const TCreateNotice& notice)
{
    // A running timer keeps its first start, so the window hides 5 s after the first of several notices.
    if (!Timer1->isActive()) Timer1->start();
    const auto qt = [](const std::string& text) { return QString::fromStdString(Win1252ToUtf8(text)); };
    const QString full = tr("Created: %1 (%2 %3) - %4")
                             .arg(qt(notice.id), qt(notice.givenName), qt(notice.familyName), qt(notice.folder));
    ui_->LblStatus->setText(ui_->LblStatus->fontMetrics().elidedText(full, Qt::ElideRight, width()));
    show();
}

void TfrmNewPatient::Timer1Timer()
{
    Timer1->stop();
    hide();
}

}  // namespace halcyra
