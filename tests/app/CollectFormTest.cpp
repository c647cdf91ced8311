// The main window's handlers forward to the collection cycle and the message handling; driven here on
// the injected clock, as the timer and the reader would drive them.
#include "FormFixture.h"

#include "settings/SettingsStore.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>

namespace halcyra {
namespace {

using test::TFormFixture;

void Receive(TfrmCollectData& form, const std::string& hr)
{
    form.Engine().Cycle().CompleteMessageReceived();
    form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||20240506070809||ORU^R01|1|P|2.3",
                                            "PID|1||4711||Doe^Jane", "OBR|1|||MON|||20240506070809",
                                            "OBX|1|NM|0002-4182^HR^MDIL||" + hr + "|bpm"});
}

int Count(const std::vector<std::string>& calls, const std::string& prefix)
{
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

// A central station that is connected, and new patients ticked.
void Connected(TFormFixture& fixture)
{
    auto& hive = fixture.registry.CurrentUser();
    hive.WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    hive.WriteDword(kProgramKey, "AutoCreate", 1);
    fixture.centralStationOpen = true;
}

class CollectForm : public ::testing::Test {
protected:
    CollectForm() { Connected(f); }
    TFormFixture f;
};

TEST_F(CollectForm, StartAndStopButtonsRunTheCollection)
{
    auto& form = f.Create();
    form.show();
    EXPECT_EQ(form.Engine().Cycle().Status(), csNotConnected);
    EXPECT_FALSE(test::Widget<QPushButton>(form, "btnStart")->isEnabled());
    Receive(form, "70");
    EXPECT_EQ(form.Engine().Cycle().Status(), csConnected);
    EXPECT_TRUE(test::Widget<QPushButton>(form, "btnStart")->isEnabled());
    EXPECT_TRUE(test::Widget<QPushButton>(form, "btnStop")->isHidden());

    test::Widget<QPushButton>(form, "btnStart")->click();
    EXPECT_EQ(form.Engine().Cycle().Status(), csCollecting);
    EXPECT_TRUE(test::Widget<QPushButton>(form, "btnStart")->isHidden());
    EXPECT_FALSE(test::Widget<QPushButton>(form, "btnStop")->isHidden());
    EXPECT_TRUE(test::Widget<QPushButton>(form, "btnServerSelect")->isHidden());
    // Start at 07:08:09 aligns the first boundary to 07:08:10.
    f.clock.AdvanceSeconds(0.3);
    form.Timer1Timer();
    EXPECT_EQ(test::Widget<QLabel>(form, "lblTime")->text(), "0:00:01");
    f.clock.AdvanceSeconds(1.2);
    form.Timer1Timer();
    Receive(form, "71");
    EXPECT_EQ(Count(f.dataManager.calls, "AddValue 4711 HR bpm 2024-05-06T07:08:10.000 71"), 1);
    EXPECT_TRUE(f.files.FileExists("C:\\KVD\\DATA\\4711\\Halcyra.pil"));

    test::Widget<QPushButton>(form, "btnStop")->click();
    EXPECT_EQ(form.Engine().Cycle().Status(), csConnected);
    EXPECT_EQ(Count(f.dataManager.calls, "AddDelimiter HR bpm"), 1);
    EXPECT_FALSE(test::Widget<QPushButton>(form, "btnStart")->isHidden());
}

TEST_F(CollectForm, StartWithNothingToCollectFailsWithItsMessage)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "Automatic", 0);
    auto& form = f.Create();
    form.show();
    form.Engine().Cycle().SetStatus(csConnected);
    EXPECT_THROW(form.btnStartClick(), ECollectError);
    EXPECT_EQ(form.Engine().Cycle().Status(), csConnected);
}

TEST_F(CollectForm, AutoStartAndAutoHideFireOnTheTickAfterTheFirstObservation)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "AutoStart", 1);
    f.registry.CurrentUser().WriteDword(kProgramKey, "AutoHide", 1);
    auto& form = f.Create();
    form.show();
    Receive(form, "70");
    f.clock.AdvanceSeconds(1);
    form.Timer1Timer();
    EXPECT_EQ(form.Engine().Cycle().Status(), csCollecting);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(CollectForm, AStrayHeaderLeavesTheWindowInTheTrayAndCollectionResumesWithItsButtons)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "AutoStart", 1);
    f.registry.CurrentUser().WriteDword(kProgramKey, "AutoHide", 1);
    auto& form = f.Create();
    form.show();
    Receive(form, "70");
    f.clock.AdvanceSeconds(1);
    form.Timer1Timer();
    ASSERT_EQ(form.Engine().Cycle().Status(), csCollecting);
    ASSERT_FALSE(form.isVisible());
    auto* parameters = test::Widget<QPushButton>(form, "btnParameters");
    ASSERT_TRUE(parameters->isEnabled());

    form.Engine().Cycle().CompleteMessageReceived();
    form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||20240506070810||ORU^R01|2|P|2.5"});
    EXPECT_EQ(form.Engine().Cycle().Status(), csConnectionLost);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(parameters->isEnabled());

    Receive(form, "71");
    EXPECT_EQ(form.Engine().Cycle().Status(), csCollecting);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(parameters->isEnabled());

    // A link that is really lost still brings the window up.
    f.clock.AdvanceSeconds(20);
    form.Timer1Timer();
    EXPECT_EQ(form.Engine().Cycle().Status(), csConnectionLost);
    EXPECT_TRUE(form.isVisible());
}

TEST_F(CollectForm, EndingTheRunWhileCollectingClosesTheSeriesFirst)
{
    // Also without a system tray (the service), where a refused close only minimises the window.
    for (const bool trayAvailable : {true, false}) {
        SCOPED_TRACE(trayAvailable ? "with a tray" : "without a tray");
        TFormFixture run;
        Connected(run);
        run.tray.available = trayAvailable;
        auto& form = run.Create();
        form.show();
        Receive(form, "70");
        form.btnStartClick();
        run.clock.AdvanceSeconds(2);
        form.Timer1Timer();
        Receive(form, "72");
        ASSERT_EQ(Count(run.dataManager.calls, "AddValue"), 1);
        form.EndSession();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(Count(run.dataManager.calls, "AddDelimiter HR bpm"), 1);
    }
    // Without collection there is nothing to close.
    TFormFixture g;
    auto& idle = g.Create();
    idle.show();
    idle.EndSession();
    EXPECT_EQ(Count(g.dataManager.calls, "AddDelimiter"), 0);
}

}  // namespace
}  // namespace halcyra
