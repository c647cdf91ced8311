// The collect-interval dialog: the collect interval in hours, minutes and half minutes, or the central
// station's own rate. Its rules live in CollectIntervalChoice.
#pragma once

#include "params/CollectIntervalChoice.h"
#include "settings/SettingsStore.h"
#include "ui_SetCollectInterval.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>

namespace halcyra {

class TfrmSetCollectInterval : public QDialog, public Ui::TfrmSetCollectInterval {
    Q_OBJECT
public:
    // `showMessage` tells the user why OK was refused.
    TfrmSetCollectInterval(TSettingsStore& settings, std::function<void(const std::string&)> showMessage,
                           std::int32_t collectInterval, bool useHalcyraSettings, std::int32_t medianFilterValue,
                           QWidget* parent = nullptr);

    // The interval and the central-station rate choice; OK changes them, nothing else does.
    std::int32_t CollectInterval() const { return collectInterval_; }
    bool UseHalcyraSettings() const { return useHalcyraSettings_; }

    TIntervalParts Parts() const;
    void FormShow();
    void seditSecondsChange();
    void seditHoursChange();
    void seditMinutesChange();
    void cbUseHalcyraSettingsClick();
    void btnOKClick();
    void btnCancelClick() { reject(); }
    // Stores "Interval" and "UseHalcyraSettings" as shown, without the minimum and without closing.
    void btnSetAsDefaultClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateTimeout();
    // The first change by the user narrows the fields back to their ranges and half-minute steps.
    void FieldEdited();

    TSettingsStore& settings_;
    std::function<void(const std::string&)> showMessage_;
    std::int32_t collectInterval_;
    bool useHalcyraSettings_;
    std::int32_t medianFilterValue_;
    // OK without a change keeps the interval as it is, even one the fields could not have set.
    bool edited_ = false;
    bool loading_ = false;
};

}  // namespace halcyra
