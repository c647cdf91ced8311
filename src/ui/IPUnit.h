// The data-server settings dialog: the data source and its address, what happens once connected, patient
// creation and ID reduction, default units, and (in its wide form) the settings origin and the data-manager
// link. It shows and returns a THostSettings; storing them is StoreHostSettings.
#pragma once

#include "ui/HostSettings.h"
#include "ui_IPUnit.h"

#include <QDialog>

class QButtonGroup;

namespace halcyra {

inline constexpr int kHostNarrowWidth = 486;
inline constexpr int kHostWideWidth = 750;

class TfrmHost : public QDialog, public Ui::TfrmHost {
    Q_OBJECT
public:
    explicit TfrmHost(QWidget* parent = nullptr);

    void SetSettings(const THostSettings& settings);
    THostSettings Settings() const;

    // Item indexes of the radio groups; -1 is no selection.
    int PatientIDReductionIndex() const;
    void SetPatientIDReductionIndex(int index);
    bool IsAddress() const;
    void SetIsAddress(bool isAddress);
    // The masked address with every blank removed.
    std::string Address() const;

    // Narrow hides the advanced group, wide shows it.
    void SetWide(bool wide);
    bool IsWide() const { return width() >= 500; }

    void FormShow();
    void rgUseClick();
    void rgPatientIDReductionClick();
    void btnAdvancedClick() { SetWide(!IsWide()); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QButtonGroup* reduction_ = nullptr;
};

}  // namespace halcyra
