#include "ui/IPUnit.h"

#include "platform/Text.h"

#include <QButtonGroup>
#include <QGuiApplication>
#include <QScreen>

namespace halcyra {
namespace {

QString ToQt(std::string_view text)
{
    return QString::fromStdString(Win1252ToUtf8(text));
}
std::string FromQt(const QString& text)
{
    return Utf8ToWin1252(text.toStdString());
}

}  // namespace

TfrmHost::TfrmHost(QWidget* parent) : QDialog(parent)
{
    setupUi(this);
    reduction_ = new QButtonGroup(this);
    reduction_->addButton(rbReductionNone, 0);
    reduction_->addButton(rbReductionFirst, 1);
    reduction_->addButton(rbReductionLast, 2);
    rbCentralStation->setChecked(true);
    rbIPAddress->setChecked(true);
    rbCurrentUser->setChecked(true);
    cbAutostart->setChecked(true);
    cbAutohide->setChecked(true);
    connect(rbIPAddress, &QRadioButton::clicked, this, [this] { rgUseClick(); });
    connect(rbNetworkName, &QRadioButton::clicked, this, [this] { rgUseClick(); });
    connect(reduction_, &QButtonGroup::idClicked, this, [this] { rgPatientIDReductionClick(); });
    connect(btnAdvanced, &QPushButton::clicked, this, [this] { btnAdvancedClick(); });
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    rgUseClick();
    SetWide(false);
}

void TfrmHost::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmHost::FormShow()
{
    rgPatientIDReductionClick();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmHost::SetWide(bool wide)
{
    const int height = pnlBasic->height();
    setFixedSize(wide ? kHostWideWidth : kHostNarrowWidth, height);
}

void TfrmHost::rgUseClick()
{
    const bool address = rbIPAddress->isChecked();
    pnlIPAddress->setVisible(address);
    pnlIPName->setVisible(!address);
}

void TfrmHost::rgPatientIDReductionClick()
{
    const int index = PatientIDReductionIndex();
    const bool cut = index == 1 || index == 2;
    gbNrOfCharacters->setEnabled(cut);
    spinEditNrOfCharacters->setEnabled(cut);
}

int TfrmHost::PatientIDReductionIndex() const
{
    return reduction_->checkedId();
}

void TfrmHost::SetPatientIDReductionIndex(int index)
{
    QAbstractButton* button = reduction_->button(index);
    if (button != nullptr) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = reduction_->checkedButton()) {
        // An exclusive group cannot clear its last check; an unknown reduction shows no item.
        reduction_->setExclusive(false);
        checked->setChecked(false);
        reduction_->setExclusive(true);
    }
    rgPatientIDReductionClick();
}

bool TfrmHost::IsAddress() const
{
    return rbIPAddress->isChecked();
}

void TfrmHost::SetIsAddress(bool isAddress)
{
    (isAddress ? rbIPAddress : rbNetworkName)->setChecked(true);
    rgUseClick();
}

std::string TfrmHost::Address() const
{
    return AddressWithoutBlanks(FromQt(EditAddress->text()));
}

void TfrmHost::SetSettings(const THostSettings& s)
{
    (s.settingsOrigin == THive::LocalMachine ? rbLocalMachine : rbCurrentUser)->setChecked(true);
    cbAutohide->setChecked(s.autoHide);
    cbAutostart->setChecked(s.autoStart);
    cbCreatePatientAutomatically->setChecked(s.autoCreate);
    cbFilterrMRfromPatientID->setChecked(s.filterMR);
    SetPatientIDReductionIndex(s.patientIDReduction);
    spinEditNrOfCharacters->setValue(s.nrOfChars);
    (s.dataSourceIsCentralStation ? rbCentralStation : rbVelgardComputer)->setChecked(true);
    SetIsAddress(s.isAddress);
    if (s.isAddress)
        EditAddress->setText(ToQt(s.address));
    else
        EditName->setText(ToQt(s.name));
    SetWide(false);
    cbVelgardCommunication->setChecked(s.velgardCommunication);
    cbEnableDefaultUnits->setChecked(s.enableDefaultUnits);
}

THostSettings TfrmHost::Settings() const
{
    THostSettings s;
    s.settingsOrigin = rbLocalMachine->isChecked() ? THive::LocalMachine : THive::CurrentUser;
    s.autoHide = cbAutohide->isChecked();
    s.autoStart = cbAutostart->isChecked();
    s.autoCreate = cbCreatePatientAutomatically->isChecked();
    s.filterMR = cbFilterrMRfromPatientID->isChecked();
    const int reduction = PatientIDReductionIndex();
    s.patientIDReduction = static_cast<std::uint8_t>(reduction < 0 ? 0 : reduction);
    s.nrOfChars = spinEditNrOfCharacters->value();
    s.dataSourceIsCentralStation = rbCentralStation->isChecked();
    s.isAddress = IsAddress();
    s.address = Address();
    s.name = FromQt(EditName->text());
    s.velgardCommunication = cbVelgardCommunication->isChecked();
    s.enableDefaultUnits = cbEnableDefaultUnits->isChecked();
    return s;
}

}  // namespace halcyra
