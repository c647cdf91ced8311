#include "params/SetCollectInterval.h"

#include "platform/Text.h"

#include <QPalette>

#include <algorithm>

namespace halcyra {

TfrmSetCollectInterval::TfrmSetCollectInterval(TSettingsStore& settings,
                                               std::function<void(const std::string&)> showMessage,
                                               std::int32_t collectInterval, bool useHalcyraSettings,
                                               std::int32_t medianFilterValue, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      showMessage_(std::move(showMessage)),
      collectInterval_(collectInterval),
      useHalcyraSettings_(useHalcyraSettings),
      medianFilterValue_(medianFilterValue)
{
    setupUi(this);
    cbUseHalcyraSettings->setChecked(useHalcyraSettings);
    cbUseHalcyraSettingsClick();
    connect(seditSeconds, &QSpinBox::valueChanged, this, [this] { seditSecondsChange(); });
    connect(seditHours, &QSpinBox::valueChanged, this, [this] { seditHoursChange(); });
    connect(seditMinutes, &QSpinBox::valueChanged, this, [this] { seditMinutesChange(); });
    connect(cbUseHalcyraSettings, &QCheckBox::clicked, this, [this] { cbUseHalcyraSettingsClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnSetAsDefault, &QPushButton::clicked, this, [this] { btnSetAsDefaultClick(); });
}

void TfrmSetCollectInterval::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmSetCollectInterval::FormShow()
{
    const TIntervalParts parts = SplitInterval(collectInterval_);
    loading_ = true;
    seditHours->setMaximum(std::max(kIntervalMaxHours, parts.hours));
    seditSeconds->setMaximum(std::max(kIntervalMaxSeconds, parts.seconds));
    seditHours->setValue(parts.hours);
    seditMinutes->setValue(parts.minutes);
    seditSeconds->setValue(parts.seconds);
    loading_ = false;
    edited_ = false;
    UpdateTimeout();
}

void TfrmSetCollectInterval::FieldEdited()
{
    if (loading_ || edited_) return;
    edited_ = true;
    // Narrowing clips the values and snapping sets the seconds; both call back here and find edited_ set.
    seditHours->setMaximum(kIntervalMaxHours);
    seditSeconds->setMaximum(kIntervalMaxSeconds);
    seditSeconds->setValue(SnapSeconds(seditSeconds->value()));
}

void TfrmSetCollectInterval::seditHoursChange()
{
    FieldEdited();
    UpdateTimeout();
}

void TfrmSetCollectInterval::seditMinutesChange()
{
    FieldEdited();
    UpdateTimeout();
}

TIntervalParts TfrmSetCollectInterval::Parts() const
{
    return {seditHours->value(), seditMinutes->value(), seditSeconds->value()};
}

void TfrmSetCollectInterval::seditSecondsChange()
{
    if (loading_) return;
    FieldEdited();
    const int snapped = SnapSeconds(seditSeconds->value());
    // Setting the snapped value calls this again, which then finds it unchanged.
    if (snapped != seditSeconds->value()) {
        seditSeconds->setValue(snapped);
        return;
    }
    UpdateTimeout();
}

void TfrmSetCollectInterval::UpdateTimeout()
{
    lblTimeout->setText(
        tr("Central Station timeout = %1 seconds").arg(CentralStationTimeoutFor(Parts().TotalSeconds())));
}

void TfrmSetCollectInterval::cbUseHalcyraSettingsClick()
{
    const bool stationRate = cbUseHalcyraSettings->isChecked();
    gbNewCollectInterval->setEnabled(!stationRate);
    // Greyed on silver while the station sets the rate, so the unused fields read as switched off.
    QPalette palette = this->palette();
    if (stationRate) {
        palette.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
        palette.setColor(QPalette::WindowText, Qt::gray);
    }
    gbNewCollectInterval->setPalette(palette);
}

void TfrmSetCollectInterval::btnOKClick()
{
    if (!edited_) {
        useHalcyraSettings_ = cbUseHalcyraSettings->isChecked();
        accept();
        return;
    }
    const std::optional<std::int32_t> total = AcceptedInterval(Parts(), medianFilterValue_);
    if (!total) {
        if (showMessage_)
            showMessage_(Utf8ToWin1252(tr("Shortest allowed interval is %1 seconds.")
                                           .arg(ShortestInterval(medianFilterValue_))
                                           .toStdString()));
        return;
    }
    collectInterval_ = *total;
    useHalcyraSettings_ = cbUseHalcyraSettings->isChecked();
    accept();
}

void TfrmSetCollectInterval::btnSetAsDefaultClick()
{
    settings_.WriteRegInteger(setting::Interval, Parts().TotalSeconds());
    settings_.WriteRegBool(setting::UseHalcyraSettings, cbUseHalcyraSettings->isChecked());
}

}  // namespace halcyra
