#include "app/SettingsDialogs.h"

#include "app/CollectDataForm.h"
#include "params/SelectParams.h"
#include "params/SetCollectInterval.h"
#include "ui/IPUnit.h"

#include <QTimer>

namespace halcyra {
namespace {

// Clears the flag when the dialog is gone, also when applying its result raises.
class TOpenFlag {
public:
    explicit TOpenFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~TOpenFlag() { flag_ = false; }
    TOpenFlag(const TOpenFlag&) = delete;
    TOpenFlag& operator=(const TOpenFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

void TSettingsDialogs::btnParametersClick()
{
    if (parametersOpen_) return;
    const TOpenFlag open(parametersOpen_);
    TParameterModel& params = form_.Params();
    TfrmSelectParams dialog(params, &form_);
    if (!prompter_.ExecDialog(dialog)) return;
    params.SetAutomatic(dialog.CBAutomatic->isChecked());
    params.SetCollectedCount(static_cast<int>(dialog.Selection().Count(TParameterSelection::TSide::Chosen)));
    TCollectionCycle& cycle = form_.Cycle();
    if (cycle.Status() == csCollecting) {
        // The delimiters close what was collected with the old choice; a new first boundary follows.
        cycle.Stop();
        cycle.Start();
    } else {
        params.Parameters().SetAllCollected();
    }
    params.Parameters().ClearCollected(params.ExcludedParams());
}

void TSettingsDialogs::btnIntervalClick()
{
    if (intervalOpen_) return;
    const TOpenFlag open(intervalOpen_);
    TCollectionCycle& cycle = form_.Cycle();
    TfrmSetCollectInterval dialog(
        form_.Settings(), [this](const std::string& text) { prompter_.ShowMessage(text); }, cycle.Interval().Seconds(),
        form_.UseHalcyraSettings, form_.MedianFilterValue, &form_);
    if (prompter_.ExecDialog(dialog)) {
        form_.CollectInterval = dialog.CollectInterval();
        form_.UseHalcyraSettings = dialog.UseHalcyraSettings();
        cycle.Settings().useHalcyraSettings = dialog.UseHalcyraSettings();
    }
    // Whatever the answer, the next boundary follows the previous one by the interval in force.
    cycle.CollectIntervalChanged(form_.CollectInterval);
}

void TSettingsDialogs::btnServerSelectClick()
{
    if (serverSelectOpen_) return;
    const TOpenFlag open(serverSelectOpen_);
    // No interval processing while the settings may change under it.
    const bool timerWasActive = form_.Timer1->isActive();
    form_.Timer1->stop();
    struct TRestart {
        QTimer* timer;
        bool active;
        ~TRestart()
        {
            if (active) timer->start();
        }
    } restart{form_.Timer1, timerWasActive};

    TSettingsStore& store = form_.Settings();
    TfrmHost dialog(&form_);
    const THostSettings shown = LoadHostSettings(store);
    dialog.SetSettings(shown);
    if (!prompter_.ExecDialog(dialog)) return;

    const THostSettings chosen = dialog.Settings();
    THostSettingsEffects effects;
    effects.closeSockets = [this] { form_.ClientSocketCentralStation().Close(); };
    effects.connect = [this] { form_.Cycle().Connect(); };
    // The working copies change with their writes, before the reconnect can bring new messages.
    form_.AutoCreate = chosen.autoCreate;
    form_.EnableDefaultUnits = chosen.enableDefaultUnits;
    form_.Messages().Settings().autoCreate = chosen.autoCreate;
    form_.Messages().Settings().enableDefaultUnits = chosen.enableDefaultUnits;
    const bool filterMR = StoreHostSettings(store, chosen, effects);
    form_.FilterMR = filterMR;
    form_.PatientIDReduction = chosen.patientIDReduction;
    form_.NrOfChars = chosen.nrOfChars;
    TPatientIdReductionSettings reduction;
    reduction.filterMR = filterMR;
    reduction.mode = static_cast<TPatientIdReductionMode>(chosen.patientIDReduction);
    reduction.nrOfChars = chosen.nrOfChars;
    form_.IdReduction().SetSettings(reduction);
}

}  // namespace halcyra
