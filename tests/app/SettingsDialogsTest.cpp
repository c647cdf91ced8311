// The window's three dialogs, run through a prompter that answers the modal loop by driving the dialog.
#include "FormFixture.h"

#include "app/SettingsDialogs.h"
#include "params/SelectParams.h"
#include "params/SetCollectInterval.h"
#include "settings/SettingsStore.h"
#include "ui/IPUnit.h"

#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace halcyra {
namespace {

using test::CountCalls;
using test::ReceiveHeartRate;
using test::TFormFixture;

class TDialogPrompter final : public IPrompter {
public:
    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool ExecDialog(QDialog& dialog) override
    {
        ++dialogs;
        if (answer) answer(dialog);
        return dialog.result() == QDialog::Accepted;
    }

    std::function<void(QDialog&)> answer;
    int dialogs = 0;
    std::vector<std::string> messages;
};

class SettingsDialogs : public ::testing::Test {
protected:
    SettingsDialogs()
    {
        f.env.prompter = &prompter;
        f.env.centralStationSocket = [this] {
            auto made = std::make_unique<test::TFakeClientSocket>(test::TFakeClientSocket::TOnOpen::Opened);
            socket = made.get();
            return made;
        };
    }
    TfrmCollectData& Create()
    {
        auto& form = f.Create();
        form.show();
        socket->calls.clear();
        return form;
    }

    TFormFixture f;
    TDialogPrompter prompter;
    test::TFakeClientSocket* socket = nullptr;
};

TEST_F(SettingsDialogs, EachDialogOpensOnlyOnceAtATime)
{
    auto& form = Create();
    std::vector<std::string> opened;
    prompter.answer = [&](QDialog& dialog) {
        opened.push_back(dialog.objectName().toStdString());
        form.btnParametersClick();
        form.btnIntervalClick();
        form.btnServerSelectClick();
    };
    form.btnServerSelectClick();
    // Each click inside an open dialog opens only the dialogs not yet open.
    EXPECT_EQ(opened, (std::vector<std::string>{"TfrmHost", "TfrmSelectParams", "TfrmSetCollectInterval",
                                                "TfrmSetCollectInterval", "TfrmSelectParams"}));
    EXPECT_FALSE(form.Dialogs().ServerSelectOpen());
    EXPECT_FALSE(form.Dialogs().ParametersOpen());
    EXPECT_FALSE(form.Dialogs().IntervalOpen());
}

TEST_F(SettingsDialogs, TheSettingsDialogHoldsTheTimerAndCancelWritesNothing)
{
    auto& form = Create();
    ASSERT_TRUE(form.Timer1->isActive());
    const auto before = f.registry.CurrentUser().GetValueNames(kProgramKey);
    bool timerDuringDialog = true;
    prompter.answer = [&](QDialog& dialog) {
        timerDuringDialog = form.Timer1->isActive();
        auto& host = dynamic_cast<TfrmHost&>(dialog);
        host.cbAutostart->setChecked(true);
        host.BitBtn2->click();
    };
    form.btnServerSelectClick();
    EXPECT_FALSE(timerDuringDialog);
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_EQ(f.registry.CurrentUser().GetValueNames(kProgramKey), before);
    EXPECT_TRUE(socket->calls.empty());
}

TEST_F(SettingsDialogs, OkOfTheSettingsDialogStoresUpdatesTheRunAndReconnects)
{
    auto& hive = f.registry.CurrentUser();
    hive.WriteString(kProgramKey, "IPString", "old-station");
    auto& form = Create();
    prompter.answer = [&](QDialog& dialog) {
        auto& host = dynamic_cast<TfrmHost&>(dialog);
        EXPECT_EQ(host.EditName->text().toStdString(), "old-station");
        EXPECT_TRUE(host.pnlIPAddress->isHidden());
        // No stored data source under an existing program key reads as the relay.
        EXPECT_TRUE(host.rbVelgardComputer->isChecked());
        host.rbCentralStation->click();
        host.rbIPAddress->click();
        host.EditAddress->setText("10.0.0.7");
        host.cbCreatePatientAutomatically->setChecked(true);
        host.cbFilterrMRfromPatientID->setChecked(true);
        host.cbEnableDefaultUnits->setChecked(true);
        host.rbReductionLast->click();
        host.spinEditNrOfCharacters->setValue(6);
        host.cbVelgardCommunication->setChecked(false);
        host.BitBtn1->click();
    };
    form.btnServerSelectClick();
    EXPECT_EQ(socket->calls, (std::vector<std::string>{"close", "close", "open 10.0.0.7 address 8000"}));
    EXPECT_EQ(hive.ReadString(kProgramKey, "IPString"), "10.0.0.7");
    EXPECT_EQ(hive.ReadDword(kProgramKey, "NoVelgard"), 1u);
    TRunEngine& engine = form.Engine();
    EXPECT_TRUE(engine.Messages().Settings().autoCreate);
    EXPECT_TRUE(engine.Messages().Settings().enableDefaultUnits);
    EXPECT_TRUE(engine.IdReduction().Settings().filterMR);
    EXPECT_EQ(engine.IdReduction().Settings().mode, TPatientIdReductionMode::LastCharacters);
    EXPECT_EQ(engine.IdReduction().Settings().nrOfChars, 6);
    EXPECT_EQ(engine.IdReduction().ReducePatientID("123456789012MR"), "789012");
    // "NoVelgard" takes effect at the next start: the link made at this start stays.
    EXPECT_TRUE(engine.DataManager().LinkEnabled());
    EXPECT_TRUE(form.Timer1->isActive());
}

TEST_F(SettingsDialogs, TheMachineOriginTakesTheSettingsFromThenOn)
{
    auto& form = Create();
    prompter.answer = [&](QDialog& dialog) {
        auto& host = dynamic_cast<TfrmHost&>(dialog);
        host.btnAdvanced->click();
        EXPECT_EQ(host.width(), kHostWideWidth);
        host.rbLocalMachine->click();
        host.BitBtn1->click();
    };
    form.btnServerSelectClick();
    EXPECT_EQ(form.Engine().Settings().SettingsRoot(), THive::LocalMachine);
    EXPECT_EQ(f.registry.LocalMachine().ReadString(kProgramKey, "HKEY"), "LOCAL_MACHINE");
    EXPECT_TRUE(f.registry.LocalMachine().ValueExists(kProgramKey, "AutoStart"));
    EXPECT_FALSE(f.registry.CurrentUser().ValueExists(kProgramKey, "AutoStart"));

    // The next opening shows the machine origin, narrow again.
    prompter.answer = [&](QDialog& dialog) {
        auto& host = dynamic_cast<TfrmHost&>(dialog);
        EXPECT_TRUE(host.rbLocalMachine->isChecked());
        EXPECT_EQ(host.width(), kHostNarrowWidth);
    };
    form.btnServerSelectClick();
}

TEST_F(SettingsDialogs, TheIntervalDialogAppliesItsAnswerToTheCycle)
{
    auto& form = Create();
    prompter.answer = [&](QDialog& dialog) {
        auto& interval = dynamic_cast<TfrmSetCollectInterval&>(dialog);
        interval.show();
        EXPECT_EQ(interval.seditSeconds->value(), 10);  // the default interval, as it is
        interval.seditMinutes->setValue(0);
        interval.seditSeconds->setValue(0);
        interval.btnOK->click();  // refused: below 30 seconds
        interval.seditMinutes->setValue(2);
        interval.cbUseHalcyraSettings->click();
        interval.btnOK->click();
    };
    form.btnIntervalClick();
    EXPECT_EQ(prompter.messages, (std::vector<std::string>{"Shortest allowed interval is 30 seconds."}));
    EXPECT_EQ(form.Engine().Cycle().Interval().Seconds(), 120);
    EXPECT_EQ(form.Engine().Cycle().CentralStationTimeout(), 180);
    EXPECT_TRUE(form.Engine().Cycle().UseHalcyraSettings());

    prompter.answer = [&](QDialog& dialog) {
        auto& interval = dynamic_cast<TfrmSetCollectInterval&>(dialog);
        interval.show();
        interval.seditMinutes->setValue(9);
        interval.btnCancel->click();
    };
    form.btnIntervalClick();
    EXPECT_EQ(form.Engine().Cycle().Interval().Seconds(), 120);
}

TEST_F(SettingsDialogs, TheParameterDialogSetsTheCollectedParameters)
{
    auto& form = Create();
    TParameterModel& params = form.Engine().Params();
    params.Parameters().Append(1, "HR", "bpm", 0);
    params.Parameters().Append(2, "SpO2", "%", 0);
    params.Parameters().Append(3, "RR", "rpm", 0);
    params.ExcludedParams() = {{2, "SpO2"}, {9, "Temp"}};
    prompter.answer = [&](QDialog& dialog) {
        auto& select = dynamic_cast<TfrmSelectParams&>(dialog);
        if (select.CBAutomatic->isChecked()) select.CBAutomatic->click();
        select.lboxDefaultParams->item(1)->setSelected(true);  // "RR"
        select.sbtnDeselectThisOne->click();
        select.btnOK->click();
    };
    form.btnParametersClick();
    EXPECT_FALSE(params.Automatic());
    EXPECT_EQ(params.CollectedCount(), 1);
    ASSERT_EQ(params.ExcludedParams().size(), 2u);
    EXPECT_EQ(params.ExcludedParams()[0].Label(), "RR");
    EXPECT_EQ(params.ExcludedParams()[1].Label(), "SpO2");
    EXPECT_TRUE(params.Parameters().Find(1)->Collected());
    EXPECT_FALSE(params.Parameters().Find(2)->Collected());
    EXPECT_FALSE(params.Parameters().Find(3)->Collected());
}

TEST_F(SettingsDialogs, ConfirmingTheParameterDialogWhileCollectingClosesTheSeriesAndRestarts)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    f.registry.CurrentUser().WriteDword(kProgramKey, "AutoCreate", 1);
    auto& form = Create();
    ReceiveHeartRate(form, "70");
    form.btnStartClick();
    f.clock.AdvanceSeconds(2);
    form.Timer1Timer();
    ReceiveHeartRate(form, "72");
    ASSERT_EQ(CountCalls(f.dataManager.calls, "AddValue 4711 HR bpm 2024-05-06T07:08:10.000 72"), 1);
    f.clock.AdvanceSeconds(23);
    prompter.answer = [&](QDialog& dialog) { dynamic_cast<TfrmSelectParams&>(dialog).btnOK->click(); };
    form.btnParametersClick();
    EXPECT_EQ(CountCalls(f.dataManager.calls, "AddDelimiter HR bpm"), 1);
    EXPECT_EQ(form.Engine().Cycle().Status(), csCollecting);
    // A new first boundary from the restart at 07:08:34.
    EXPECT_NEAR(form.Engine().Cycle().Interval().NextBoundary(), EncodeDateTime(2024, 5, 6, 7, 8, 40),
                kOneSecond / 1000);

    // Cancel changes nothing.
    prompter.answer = [&](QDialog& dialog) { dynamic_cast<TfrmSelectParams&>(dialog).btnCancel->click(); };
    form.btnParametersClick();
    EXPECT_EQ(CountCalls(f.dataManager.calls, "AddDelimiter"), 1);
}

}  // namespace
}  // namespace halcyra
