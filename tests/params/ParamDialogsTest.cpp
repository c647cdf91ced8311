#include "params/SelectParams.h"
#include "params/SetCollectInterval.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include <string>
#include <vector>

namespace halcyra {
namespace {

std::vector<std::string> Lines(const QListWidget& list)
{
    std::vector<std::string> lines;
    for (int row = 0; row < list.count(); ++row) lines.push_back(list.item(row)->text().toStdString());
    return lines;
}

void Select(QListWidget& list, const std::vector<int>& rows)
{
    list.clearSelection();
    for (int row : rows) list.item(row)->setSelected(true);
}

class SelectParamsTest : public ::testing::Test {
protected:
    SelectParamsTest()
    {
        model.Parameters().Append(1, "SpO2", "%", 0);
        model.Parameters().Append(2, "HR", "bpm", 0);
        model.Parameters().Append(3, "NBP-S", "mmHg", 0);
        model.ExcludedParams() = {{2, "HR"}, {42, "Temp"}};
    }

    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings{*registry};
    TParameterModel model{settings};
};

TEST_F(SelectParamsTest, OpensWithTheSplitOfTheParametersSeenAndTheAutomaticBox)
{
    model.SetAutomatic(true);
    TfrmSelectParams dialog(model);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Select Parameters");
    EXPECT_EQ(Lines(*dialog.lboxDeselectedParams), (std::vector<std::string>{"HR"}));
    EXPECT_EQ(Lines(*dialog.lboxDefaultParams), (std::vector<std::string>{"NBP-S", "SpO2"}));
    EXPECT_TRUE(dialog.CBAutomatic->isChecked());
    EXPECT_TRUE(dialog.Panel1->isHidden());
    dialog.CBAutomatic->click();
    EXPECT_FALSE(dialog.Panel1->isHidden());
    EXPECT_TRUE(dialog.CBAutomatic->toolTip().startsWith("Check to conduct parameter setup from the Monitor.\n"));
}

TEST_F(SelectParamsTest, ButtonsAndDoubleClicksMoveTheSelectedLines)
{
    TfrmSelectParams dialog(model);
    Select(*dialog.lboxDefaultParams, {1});
    dialog.sbtnDeselectThisOne->click();
    EXPECT_EQ(Lines(*dialog.lboxDeselectedParams), (std::vector<std::string>{"HR", "SpO2"}));
    EXPECT_EQ(Lines(*dialog.lboxDefaultParams), (std::vector<std::string>{"NBP-S"}));

    // Without a selection ">" moves nothing.
    dialog.lboxDeselectedParams->clearSelection();
    dialog.sbtnSelectThisOne->click();
    EXPECT_EQ(dialog.lboxDeselectedParams->count(), 2);

    dialog.sbtnSelectAll->click();
    EXPECT_EQ(Lines(*dialog.lboxDefaultParams), (std::vector<std::string>{"HR", "NBP-S", "SpO2"}));
    EXPECT_EQ(dialog.lboxDeselectedParams->count(), 0);

    dialog.sbtnDeselectAll->click();
    EXPECT_EQ(dialog.lboxDefaultParams->count(), 0);

    Select(*dialog.lboxDeselectedParams, {0, 2});
    emit dialog.lboxDeselectedParams->itemDoubleClicked(dialog.lboxDeselectedParams->item(0));
    EXPECT_EQ(Lines(*dialog.lboxDefaultParams), (std::vector<std::string>{"HR", "SpO2"}));
    EXPECT_EQ(Lines(*dialog.lboxDeselectedParams), (std::vector<std::string>{"NBP-S"}));
}

TEST_F(SelectParamsTest, OkMakesTheAvailableLinesTheRunningExclusionList)
{
    TfrmSelectParams dialog(model);
    Select(*dialog.lboxDefaultParams, {0});  // "NBP-S"
    dialog.sbtnDeselectThisOne->click();
    dialog.btnOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_EQ(model.ExcludedParams().size(), 2u);
    EXPECT_EQ(model.ExcludedParams()[0].Label(), "HR");
    EXPECT_EQ(model.ExcludedParams()[1].Label(), "NBP-S");
    EXPECT_EQ(model.ExcludedParams()[1].Code(), 3);
}

TEST_F(SelectParamsTest, CancelAndSetAsDefaultLeaveTheRunningSettings)
{
    TfrmSelectParams dialog(model);
    dialog.sbtnSelectAll->click();
    dialog.btnSetAsDefault->click();
    EXPECT_FALSE(registry->CurrentUser().ValueExists(kProgramKey, "Param0"));
    EXPECT_EQ(registry->CurrentUser().ReadDword(kProgramKey, "Automatic"), 0u);
    dialog.CBAutomatic->click();
    dialog.btnSetAsDefault->click();
    EXPECT_EQ(registry->CurrentUser().ReadDword(kProgramKey, "Automatic"), 1u);
    dialog.btnCancel->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    ASSERT_EQ(model.ExcludedParams().size(), 2u);  // "Temp" is dropped only by OK
    EXPECT_FALSE(model.Automatic());
}

TEST_F(SelectParamsTest, APressOnAListShowsTheLongNameOfItsLine)
{
    TfrmSelectParams dialog(model);
    dialog.lboxDefaultParams->setCurrentRow(1);
    dialog.lboxDefaultParamsMouseDown();
    EXPECT_EQ(dialog.lboxDefaultParams->toolTip().toStdString(), "SpO2\nClick to see long name for another parameter");
    dialog.lboxDeselectedParams->setCurrentRow(0);
    QTest::mousePress(dialog.lboxDeselectedParams->viewport(), Qt::LeftButton);
    EXPECT_EQ(dialog.lboxDeselectedParams->toolTip().toStdString(), "HR");
}

class SetCollectIntervalTest : public ::testing::Test {
protected:
    std::unique_ptr<TfrmSetCollectInterval> Open(std::int32_t interval, bool useStation, std::int32_t median = 15)
    {
        auto dialog = std::make_unique<TfrmSetCollectInterval>(
            settings, [this](const std::string& text) { messages.push_back(text); }, interval, useStation, median);
        dialog->show();
        return dialog;
    }

    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings{*registry};
    std::vector<std::string> messages;
};

TEST_F(SetCollectIntervalTest, TheDefaultIntervalOpensAsItIsAndAnEditSnapsItsSeconds)
{
    auto dialog = Open(10, false);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Set Collect Interval");
    EXPECT_EQ(dialog->seditHours->value(), 0);
    EXPECT_EQ(dialog->seditMinutes->value(), 0);
    EXPECT_EQ(dialog->seditSeconds->value(), 10);
    EXPECT_EQ(dialog->lblTimeout->text().toStdString(), "Central Station timeout = 15 seconds");
    dialog->seditMinutes->setValue(2);
    EXPECT_EQ(dialog->seditSeconds->value(), 30);
    EXPECT_EQ(dialog->lblTimeout->text().toStdString(), "Central Station timeout = 225 seconds");
    dialog->seditSeconds->setValue(1);
    EXPECT_EQ(dialog->seditSeconds->value(), 0);
    EXPECT_EQ(dialog->lblTimeout->text().toStdString(), "Central Station timeout = 180 seconds");
    dialog->seditHours->setValue(1);
    EXPECT_EQ(dialog->lblTimeout->text().toStdString(), "Central Station timeout = 5580 seconds");
}

TEST_F(SetCollectIntervalTest, OkWithoutAChangeKeepsTheIntervalAsItIs)
{
    struct TCase {
        std::int32_t interval;
        TIntervalParts shown;
    };
    const TCase cases[] = {
        {10, {0, 0, 10}},     // below the shortest (30) too: it is the interval in use
        {45, {0, 0, 45}},     //
        {3600, {1, 0, 0}},    //
        {7200, {2, 0, 0}},    //
        {7199, {1, 59, 59}},  //
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.interval);
        auto dialog = Open(c.interval, false);
        EXPECT_EQ(dialog->seditHours->value(), c.shown.hours);
        EXPECT_EQ(dialog->seditMinutes->value(), c.shown.minutes);
        EXPECT_EQ(dialog->seditSeconds->value(), c.shown.seconds);
        dialog->btnOK->click();
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_EQ(dialog->CollectInterval(), c.interval);
        EXPECT_TRUE(messages.empty());
    }
}

TEST_F(SetCollectIntervalTest, AChangedFieldIsTakenWithTheFieldsRangesAndSteps)
{
    struct TCase {
        std::int32_t interval;
        const char* field;
        int value;
        std::int32_t taken;
    };
    const TCase cases[] = {
        {45, "minutes", 1, 90},       // the odd seconds snap to the half minute
        {10, "seconds", 0, 0},        // refused below, see below
        {7200, "minutes", 5, 3900},   // two hours clip to the hour field's one
        {3600, "hours", 0, 0},        //
        {3600, "minutes", 30, 5400},  //
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.interval) + " " + c.field);
        messages.clear();
        auto dialog = Open(c.interval, false);
        QSpinBox* field = std::string(c.field) == "hours"     ? dialog->seditHours
                          : std::string(c.field) == "minutes" ? dialog->seditMinutes
                                                              : dialog->seditSeconds;
        field->setValue(c.value);
        dialog->btnOK->click();
        if (c.taken == 0) {
            EXPECT_EQ(messages, (std::vector<std::string>{"Shortest allowed interval is 30 seconds."}));
            EXPECT_EQ(dialog->CollectInterval(), c.interval);
        } else {
            EXPECT_EQ(dialog->result(), QDialog::Accepted);
            EXPECT_EQ(dialog->CollectInterval(), c.taken);
        }
    }
}

TEST_F(SetCollectIntervalTest, OkRefusesAnIntervalBelowTheShortestAndStaysOpen)
{
    auto dialog = Open(30, true);
    dialog->seditSeconds->setValue(0);
    dialog->btnOK->click();
    EXPECT_EQ(messages, (std::vector<std::string>{"Shortest allowed interval is 30 seconds."}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->CollectInterval(), 30);

    dialog->seditMinutes->setValue(5);
    dialog->cbUseHalcyraSettings->click();
    dialog->btnOK->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->CollectInterval(), 300);
    EXPECT_FALSE(dialog->UseHalcyraSettings());
}

TEST_F(SetCollectIntervalTest, TheStationRateBoxSwitchesTheFieldsOff)
{
    auto dialog = Open(60, true);
    EXPECT_FALSE(dialog->gbNewCollectInterval->isEnabled());
    EXPECT_FALSE(dialog->seditMinutes->isEnabled());
    EXPECT_EQ(dialog->gbNewCollectInterval->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    dialog->cbUseHalcyraSettings->click();
    EXPECT_TRUE(dialog->gbNewCollectInterval->isEnabled());
    EXPECT_TRUE(dialog->seditSeconds->isEnabled());
    EXPECT_NE(dialog->gbNewCollectInterval->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(SetCollectIntervalTest, SetAsDefaultStoresWhatIsShownWithoutTheMinimumOrClosing)
{
    auto dialog = Open(120, false, 30);
    dialog->seditMinutes->setValue(0);
    dialog->seditSeconds->setValue(30);
    dialog->cbUseHalcyraSettings->click();
    dialog->btnSetAsDefault->click();
    EXPECT_EQ(settings.ReadRegInteger(setting::Interval), 30);
    EXPECT_TRUE(settings.ReadRegBool(setting::UseHalcyraSettings));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(dialog->CollectInterval(), 120);
    EXPECT_FALSE(dialog->UseHalcyraSettings());
    dialog->btnCancel->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(dialog->CollectInterval(), 120);
}

}  // namespace
}  // namespace halcyra
