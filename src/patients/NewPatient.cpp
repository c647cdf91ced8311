#include "patients/NewPatient.h"

#include "platform/Text.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace halcyra {
namespace {

constexpr int kWidth = 656;
constexpr int kHeight = 67;
constexpr int kTextPixels = 19;
constexpr int kHideAfterMs = 5000;

}  // namespace

TfrmNewPatient::TfrmNewPatient(TPatientFile& patientFile, QWidget* parent)
    : QWidget(parent, Qt::Window), patientFile_(patientFile)
{
    setObjectName("frmNewPatient");
    setWindowTitle("New Patient");
    // The notice keeps its size whatever it says: a window grown to a long text costs its pixels in memory.
    setFixedSize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    LblStatus = new QLabel(this);
    LblStatus->setObjectName("LblStatus");
    LblStatus->setAlignment(Qt::AlignCenter);
    LblStatus->setAutoFillBackground(true);
    QFont font = LblStatus->font();
    font.setPixelSize(kTextPixels);
    LblStatus->setFont(font);
    LblStatus->setStyleSheet("QLabel { color: olive; background-color: aqua; }");
    layout->addWidget(LblStatus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kHideAfterMs);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    patientFile_.OnCreateNotice = [this](const std::string& text) { ShowNotice(text); };
}

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

void TfrmNewPatient::ShowNotice(const std::string& text)
{
    // A running timer keeps its first start, so the window hides 5 s after the first of several notices.
    if (!Timer1->isActive()) Timer1->start();
    const QString full = QString::fromStdString(Win1252ToUtf8(text));
    LblStatus->setText(LblStatus->fontMetrics().elidedText(full, Qt::ElideRight, kWidth));
    show();
}

void TfrmNewPatient::Timer1Timer()
{
    Timer1->stop();
    hide();
}

}  // namespace halcyra
