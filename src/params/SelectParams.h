// The parameter dialog: splits the parameters seen so far into collected and excluded ones, and can store
// the exclusion list as the default. Its rules live in TParameterSelection.
#pragma once

#include "params/ParameterModel.h"
#include "params/ParameterSelection.h"
#include "ui_SelectParams.h"

#include <QDialog>

namespace halcyra {

class TfrmSelectParams : public QDialog, public Ui::TfrmSelectParams {
    Q_OBJECT
public:
    // Copies the running exclusion list and fills both lists from the parameters seen so far.
    explicit TfrmSelectParams(TParameterModel& params, QWidget* parent = nullptr);

    const TParameterSelection& Selection() const { return selection_; }

    void sbtnSelectAllClick() { MoveLines(TParameterSelection::TSide::Available, true); }
    void sbtnSelectThisOneClick() { MoveLines(TParameterSelection::TSide::Available, false); }
    void sbtnDeselectThisOneClick() { MoveLines(TParameterSelection::TSide::Chosen, false); }
    void sbtnDeselectAllClick() { MoveLines(TParameterSelection::TSide::Chosen, true); }
    void lboxDeselectedParamsDblClick() { sbtnSelectThisOneClick(); }
    void lboxDefaultParamsDblClick() { sbtnDeselectThisOneClick(); }
    // Sets the list's hint to the long name of its current line.
    void lboxDeselectedParamsMouseDown();
    void lboxDefaultParamsMouseDown();
    void CBAutomaticClick();
    // Makes the "Available Parameters" lines the running exclusion list and closes with OK.
    void btnOKClick();
    void btnCancelClick() { reject(); }
    // Stores the dialog's exclusion list and "Automatic"; the running settings stay as they are.
    void btnSetAsDefaultClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MoveLines(TParameterSelection::TSide from, bool all);
    void ShowLines();
    QString LongNameOfCurrent(const QListWidget& list) const;

    TParameterModel& params_;
    TParameterSelection selection_;
};

}  // namespace halcyra
