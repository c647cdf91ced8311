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
    TRunEngine& engine = form_.Engine();
    TfrmSelectParams dialog(engine.Params(), &form_);
    if (!prompter_.ExecDialog(dialog)) return;
    engine.ApplyParameterChoice(dialog.CBAutomatic->isChecked(),
                                static_cast<int>(dialog.Selection().Count(TParameterSelection::TSide::Chosen)));
}

void TSettingsDialogs::btnIntervalClick()
{
    if (intervalOpen_) return;
    const TOpenFlag open(intervalOpen_);
    TRunEngine& engine = form_.Engine();
    TfrmSetCollectInterval dialog(
        engine.Settings(), [this](const std::string& text) { prompter_.ShowMessage(text); },
        engine.Cycle().Interval().Seconds(), engine.Cycle().UseHalcyraSettings(), engine.MedianFilterValue(), &form_);
    std::optional<TCollectIntervalAnswer> answer;
    if (prompter_.ExecDialog(dialog))
        answer = TCollectIntervalAnswer{dialog.CollectInterval(), dialog.UseHalcyraSettings()};
    engine.ApplyCollectInterval(answer);
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

    TRunEngine& engine = form_.Engine();
    TfrmHost dialog(&form_);
    dialog.SetSettings(LoadHostSettings(engine.Settings()));
    if (!prompter_.ExecDialog(dialog)) return;
    engine.ApplyHostSettings(dialog.Settings());
}

}  // namespace halcyra
