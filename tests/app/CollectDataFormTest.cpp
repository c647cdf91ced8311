#include "FormFixture.h"

#include "app/ServiceNotifier.h"
#include "app/ServiceRun.h"

#include "datamanager/LanguageManager.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace halcyra {
namespace {

using test::TFormFixture;

bool HasLineEndingWith(const std::vector<std::string>& lines, const std::string& tail)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0;
    });
}

TEST(CollectDataForm, FirstRunWithoutProgramKeyTakesTheDefaults)
{
    TFormFixture f;
    auto& form = f.Create();
    EXPECT_EQ(form.Engine().Settings().SettingsRoot(), THive::CurrentUser);
    EXPECT_EQ(form.Engine().DebugFolder(), "C:\\TEMP\\");
    TRunEngine& engine = form.Engine();
    EXPECT_EQ(engine.Cycle().Settings().relayPort, 13999);
    EXPECT_EQ(engine.IdReduction().Settings().nrOfChars, 10);
    EXPECT_EQ(engine.IdReduction().Settings().mode, TPatientIdReductionMode::None);
    EXPECT_FALSE(engine.Cycle().Settings().autoStart || engine.Cycle().Settings().autoHide ||
                 engine.Messages().Settings().autoCreate || engine.IdReduction().Settings().filterMR ||
                 engine.Messages().Settings().enableDefaultUnits || engine.Cycle().UseHalcyraSettings() ||
                 engine.Log().EnableLogfile);
    // Without "NoVelgard" the data manager's object is made and told of the run.
    EXPECT_TRUE(engine.DataManager().LinkEnabled());
    EXPECT_EQ(engine.Messages().Settings().debugFolder, "C:\\TEMP\\");
    // The program key and its "DefaultUnits" subkey exist once start-up is through.
    EXPECT_TRUE(f.registry.CurrentUser().KeyExists(TSettingsStore::ProgramSubkey("DefaultUnits")));
    EXPECT_FALSE(f.registry.LocalMachine().KeyExists(kProgramKey));
    EXPECT_NEAR(form.Engine().Cycle().LastCompleteMessage(), f.clock.Now() - 1000, 1e-9);
    EXPECT_EQ(test::Widget<QListWidget>(form, "CBListPatients")->item(0)->text(), "Patients");
    EXPECT_TRUE(form.windowTitle().startsWith("Central Station Data Client (Ver. "));
}

TEST(CollectDataForm, StartUpReadsTheStoredSettingsAndOpensTheLog)
{
    TFormFixture f;
    auto& hive = f.registry.CurrentUser();
    hive.WriteDword(kProgramKey, "EnableLogfile", 1);
    hive.WriteString(kProgramKey, "DebugFolder", "C:\\logs");
    hive.WriteDword(kProgramKey, "ClientSocketPort", 14000);
    hive.WriteDword(kProgramKey, "PatientIDReduction", 258);  // held in one byte
    hive.WriteDword(kProgramKey, "AutoStart", 5);
    hive.WriteString(kProgramKey, "NrOfChars", "12");  // wrong type: the default stays
    f.env.arguments = {"noVelgard", "second"};
    auto& form = f.Create();

    EXPECT_EQ(form.Engine().DebugFolder(), "C:\\logs\\");
    TRunEngine& engine = form.Engine();
    EXPECT_EQ(engine.Cycle().Settings().relayPort, 14000);
    EXPECT_EQ(engine.IdReduction().Settings().mode, TPatientIdReductionMode::LastCharacters);
    EXPECT_TRUE(engine.Cycle().Settings().autoStart);
    EXPECT_EQ(engine.IdReduction().Settings().nrOfChars, 10);
    EXPECT_EQ(engine.Messages().Settings().debugFolder, "C:\\logs\\");
    // The first argument, in any letter case, runs without the data manager.
    EXPECT_FALSE(engine.DataManager().LinkEnabled());
    EXPECT_TRUE(f.dataManager.calls.empty());
    // The folder is made with its parents; a log that does not exist yet is no error.
    const auto& lines = form.Engine().Log().Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(HasLineEndingWith({lines[0]}, ": "));
    for (const std::string& line : lines) EXPECT_EQ(line.find("Error"), std::string::npos) << line;
    EXPECT_TRUE(HasLineEndingWith(lines, ": Opening application /opt/halcyra/bin/halcyra"));
    EXPECT_TRUE(f.files.FileExists("C:\\LOGS\\halcyra logfile.txt"));
}

TEST(CollectDataForm, ADesktopWithoutTrayDoesNotStopStartUp)
{
    TFormFixture f;
    f.tray.available = false;
    f.registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
    auto& form = f.Create();
    EXPECT_FALSE(form.TaskbarIconControler1->Visible());
    EXPECT_TRUE(HasLineEndingWith(form.Engine().Log().Lines(), "Exception: Could not Add Icon"));
    EXPECT_NEAR(form.Engine().Cycle().LastCompleteMessage(), f.clock.Now() - 1000, 1e-9);  // later steps still ran
}

TEST(CollectDataForm, TheWindowAndTheTrayCarryTheProgramsIcon)
{
    TFormFixture f;
    auto& form = f.Create();
    ASSERT_TRUE(form.TaskbarIconControler1->Visible());
    for (const QIcon& icon : {form.windowIcon(), f.tray.icon, form.TaskbarIconControler1->Icon()}) {
        ASSERT_FALSE(icon.isNull());
        for (const int size : {16, 22, 32, 48, 256}) {
            const QImage image = icon.pixmap(size, size).toImage();
            EXPECT_EQ(image.width(), size);
            // Drawn, not blank: the corner is transparent and the middle is not.
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
            EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        }
    }
}

TEST(CollectDataForm, WithoutATrayHideMinimisesAndSaysSoOnce)
{
    for (const bool trayAvailable : {true, false}) {
        SCOPED_TRACE(trayAvailable);
        TFormFixture f;
        f.tray.available = trayAvailable;
        f.registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
        auto& form = f.Create();
        form.show();
        form.btnHideClick();
        form.showNormal();
        form.btnHideClick();
        EXPECT_EQ(form.isVisible(), !trayAvailable);
        EXPECT_EQ(form.isMinimized(), !trayAvailable);
        const auto& lines = form.Engine().Log().Lines();
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& l) { return l.find("No system tray") != std::string::npos; }),
                  trayAvailable ? 0 : 1);
    }
}

TEST(CollectDataForm, WithTheGermanLanguageTheWindowSpeaksGerman)
{
    TFormFixture f;
    f.registry.CurrentUser().WriteDword("Software\\Tovarin\\Velgard\\2.0\\General", "Language", 1031);
    f.dataManager.available = false;
    // The module the build places beside the program, found the way the program finds it.
    TLanguageManager language(QString::fromUtf8(HALCYRA_EXE));
    ASSERT_TRUE(language.SetLanguage(TLanguageManager::GetLanguage(f.registry.CurrentUser())));
    EXPECT_TRUE(language.LoadedModule().endsWith("/halcyra.DEU"));

    auto& form = f.Create();
    EXPECT_EQ(test::Widget<QPushButton>(form, "btnHide")->text(), "Ausblenden");
    EXPECT_EQ(test::Widget<QCheckBox>(form, "cbLogFile")->text(), "Protokolldatei schreiben");
    EXPECT_EQ(test::Widget<QListWidget>(form, "CBListPatients")->item(0)->text(), "Patienten");
    EXPECT_TRUE(form.windowTitle().startsWith("Zentralstation-Datenclient (Ver. ")) << form.windowTitle().toStdString();
    EXPECT_EQ(form.TaskbarIconControler1->Hint(), "Halcyra Dateneingabemodul");
    // Box texts go out in single-byte text: "\xF6" is the o with umlaut.
    EXPECT_EQ(f.prompter.messages,
              std::vector<std::string>{"Start nicht m\xF6glich, bitte wenden Sie sich an Tovarin"});
    form.BitBtnCloseClick();
    EXPECT_EQ(f.prompter.questions, std::vector<std::string>{"Wollen Sie das Programm wirklich beenden"});
}

TEST(CollectDataForm, FirstShowReadsTheIntervalAndRoundsTheTimeoutToEven)
{
    const std::pair<int, int> cases[] = {{10, 15}, {5, 8}, {3, 4}, {1, 2}};
    for (const auto& [interval, timeout] : cases) {
        TFormFixture f;
        f.registry.CurrentUser().WriteDword(kProgramKey, "Interval", static_cast<std::uint32_t>(interval));
        f.registry.CurrentUser().WriteDword(kProgramKey, "TimerInterval", 250);
        auto& form = f.Create();
        form.show();
        EXPECT_EQ(form.Engine().Cycle().CentralStationTimeout(), timeout) << interval;
        EXPECT_EQ(form.Timer1->interval(), 250);
        EXPECT_TRUE(form.Timer1->isActive());
        // A coarse timer may fire just before the boundary it is due at.
        EXPECT_EQ(form.Timer1->timerType(), Qt::PreciseTimer);
        EXPECT_TRUE(form.Engine().FirstShowDone());
    }
}

TEST(CollectDataForm, TimerIntervalBelowTenRunsAtTenAndNegativeAtTheDefault)
{
    // 0 would spin the timer at full load; a negative period would give no timer at all.
    const std::pair<std::int32_t, int> cases[] = {{0, 10}, {9, 10}, {10, 10}, {11, 11}, {-1, 1000}, {-5000, 1000}};
    for (const auto& [stored, period] : cases) {
        TFormFixture f;
        f.registry.CurrentUser().WriteDword(kProgramKey, "TimerInterval", static_cast<std::uint32_t>(stored));
        auto& form = f.Create();
        form.show();
        EXPECT_EQ(form.Timer1->interval(), period) << stored;
        EXPECT_TRUE(form.Timer1->isActive()) << stored;
    }
}

TEST(CollectDataForm, LogCheckBoxLogsBothWaysAndStoresTheState)
{
    TFormFixture f;
    auto& form = f.Create();
    test::Widget<QCheckBox>(form, "cbLogFile")->setChecked(true);
    form.cbLogFileClick();
    test::Widget<QCheckBox>(form, "cbLogFile")->setChecked(false);
    form.cbLogFileClick();
    EXPECT_EQ(f.registry.CurrentUser().ReadDword(kProgramKey, "EnableLogfile"), 0u);
    EXPECT_FALSE(form.Engine().Log().EnableLogfile);
    const auto& lines = form.Engine().Log().Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(HasLineEndingWith({lines[lines.size() - 2]}, "Log file enabled"));
    EXPECT_TRUE(HasLineEndingWith({lines.back()}, "Log file disabled"));  // written although switching off
}

TEST(CollectDataForm, CloseWhileCollectingOverAnOpenConnectionOnlyHides)
{
    TFormFixture f;
    auto& form = f.Create();
    form.show();
    test::Widget<QPushButton>(form, "btnStart")->hide();
    test::Widget<QPushButton>(form, "btnStop")->show();
    f.centralStation->open = true;
    EXPECT_FALSE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.TaskbarIconControler1->Visible());
    EXPECT_TRUE(f.prompter.questions.empty());
    EXPECT_TRUE(f.centralStation->open);
    // Closing the hidden window is allowed without a question.
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(f.prompter.questions.empty());
    EXPECT_FALSE(f.centralStation->open);
}

TEST(CollectDataForm, CloseOfTheVisibleWindowAsksFirst)
{
    TFormFixture f;
    f.registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
    auto& form = f.Create();
    form.show();
    f.prompter.answers = {false, true};
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Timer1->isActive());
    EXPECT_TRUE(form.close());
    EXPECT_EQ(f.prompter.questions,
              (std::vector<std::string>{"Do you really want to close", "Do you really want to close"}));
    EXPECT_TRUE(HasLineEndingWith(form.Engine().Log().Lines(), ": Closing application ..."));
}

TEST(CollectDataForm, EndOfSessionClosesWithoutAskingEvenWhileCollecting)
{
    TFormFixture f;
    auto& form = f.Create();
    form.show();
    test::Widget<QPushButton>(form, "btnStop")->show();
    f.centralStation->open = true;
    form.EndSession();
    EXPECT_TRUE(form.CloseConfirmed());
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(f.centralStation->open);
    EXPECT_TRUE(f.prompter.questions.empty());
}

TEST(CollectDataForm, EscapedErrorsGoToTheStatusLabelAndTheLog)
{
    TFormFixture f;
    f.registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
    auto& form = f.Create();
    form.TaskbarIconControler1->OnClick = [] { throw std::runtime_error("Exception:The file has been corrupted."); };
    form.TaskbarIconControler1->ButtonClicked(TMouseButton::Right);
    EXPECT_EQ(test::Widget<QLabel>(form, "LabelConnected")->text(), "Exception:The file has been corrupted.");
    EXPECT_TRUE(HasLineEndingWith(form.Engine().Log().Lines(), ": Exception:The file has been corrupted."));
}

}  // namespace
}  // namespace halcyra

namespace halcyra {
namespace {

TEST(CollectDataForm, FirstShowLoadsExclusionsFilterChoiceAndAutomatic)
{
    test::TFormFixture f;
    auto& hive = f.registry.CurrentUser();
    hive.WriteString(kProgramKey, "Param0", "147842");
    hive.WriteString(kProgramKey, "Name147842", "HR");
    hive.WriteString(kProgramKey, "FilterFunction", "average");
    hive.WriteDword(kProgramKey, "Automatic", 0);
    hive.WriteString(TSettingsStore::ProgramSubkey("DefaultUnits"), "HR", "/min");
    auto& form = f.Create();
    EXPECT_EQ(form.Engine().Params().DefaultUnits().Lookup("hr"), "/min");  // loaded at start-up
    EXPECT_TRUE(form.Engine().Params().ExcludedParams().empty());           // not before the first show
    form.show();
    ASSERT_EQ(form.Engine().Params().ExcludedParams().size(), 1u);
    EXPECT_TRUE(form.Engine().Params().IsExcluded("HR"));
    EXPECT_FALSE(form.Engine().Params().Automatic());
    EXPECT_TRUE(test::Widget<QRadioButton>(form, "FilterFunctionAverage")->isChecked());
}

}  // namespace
}  // namespace halcyra

namespace halcyra {
namespace {

TEST(CollectDataForm, DataFolderAndCompatibilityComeFromTheDataManagersKeys)
{
    test::TFormFixture f;
    f.registry.CurrentUser().WriteString("\\Software\\Tovarin\\Velgard\\2.0\\File Paths", "KVDData", "E:\\");
    auto& form = f.Create();
    EXPECT_EQ(form.Engine().DataFolder(), "E:\\DATA\\");
    EXPECT_FALSE(form.Engine().CompatibilityMode());
}

TEST(CollectDataForm, WithoutTheDataManagerStartUpSaysSoAndEndsTheRun)
{
    test::TFormFixture f;
    f.dataManager.available = false;
    auto& form = f.Create();
    EXPECT_EQ(f.prompter.messages, std::vector<std::string>{"Unable to start, please contact Tovarin"});
    EXPECT_TRUE(form.Engine().TerminateRequested());
    EXPECT_FALSE(form.Engine().DataManager().LinkEnabled());
    EXPECT_NEAR(form.Engine().Cycle().LastCompleteMessage(), f.clock.Now() - 1000,
                1e-9);  // the remaining steps still ran
}

TEST(CollectDataForm, NovelgardInAnyCaseOrTheSettingLeavesTheDataManagerAlone)
{
    struct TCase {
        std::vector<std::string> arguments;
        bool noVelgardSetting;
        int creations;
    };
    const TCase cases[] = {
        {{"NoVelGard"}, false, 0}, {{}, true, 0}, {{"other", "NOVELGARD"}, false, 1}, {{}, false, 1}};
    for (const auto& c : cases) {
        test::TFormFixture f;
        f.dataManager.available = c.creations == 0 ? false : true;
        if (c.noVelgardSetting) f.registry.CurrentUser().WriteDword(kProgramKey, "NoVelgard", 1);
        f.env.arguments = c.arguments;
        auto& form = f.Create();
        EXPECT_EQ(f.dataManager.creations, c.creations);
        EXPECT_EQ(form.Engine().DataManager().LinkEnabled(), c.creations == 1);
        EXPECT_FALSE(form.Engine().TerminateRequested());
        EXPECT_TRUE(f.prompter.messages.empty());
        EXPECT_TRUE(f.dataManager.calls.empty());
    }
}

}  // namespace
}  // namespace halcyra

namespace halcyra {
namespace {

TEST(ServiceRun, RunsTheEngineWithoutAWindowOrATrayAndClosesTheRunOnce)
{
    test::TFormFixture f;
    auto& hive = f.registry.CurrentUser();
    hive.WriteDword(kProgramKey, "EnableLogfile", 1);
    hive.WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    hive.WriteDword(kProgramKey, "IsAddress", 1);
    hive.WriteString(kProgramKey, "IPString", "127.0.0.1");
    const auto widgetsBefore = QApplication::allWidgets().size();
    TServiceRun run(f.env, TServiceNotifier({}, 0));
    run.Start();
    EXPECT_EQ(QApplication::allWidgets().size(), widgetsBefore);
    EXPECT_EQ(f.tray.adds, 0);
    TRunEngine& engine = run.Engine();
    EXPECT_TRUE(engine.FirstShowDone());
    EXPECT_EQ(engine.Cycle().Interval().Seconds(), 10);
    ASSERT_NE(f.centralStation, nullptr);
    EXPECT_EQ(f.centralStation->calls, (std::vector<std::string>{"close", "open 127.0.0.1 address 8000"}));
    run.End();
    run.End();
    const auto& lines = engine.Log().Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.ends_with("Closing application ..."); }),
              1);
    EXPECT_EQ(f.centralStation->calls.back(), "close");
}

// The service manager hears that the run is ready and how it runs, in a few words and only when that changes,
// that it is alive at a quarter of the watchdog period, and that it stops; the log warns once per cause when
// messages arrive that nothing writes.
TEST(ServiceRun, TellsTheServiceManagerHowItRunsAndWarnsOnceWhenNothingIsWritten)
{
    test::TFormFixture f;
    auto& hive = f.registry.CurrentUser();
    hive.WriteDword(kProgramKey, "EnableLogfile", 1);
    hive.WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    hive.WriteDword(kProgramKey, "IsAddress", 1);
    hive.WriteString(kProgramKey, "IPString", "10.1.2.3");
    std::vector<std::string> sent;
    TServiceRun run(f.env, TServiceNotifier([&](const std::string& m) { sent.push_back(m); }, 2.0));
    run.Start();
    ASSERT_NE(f.centralStation, nullptr);
    EXPECT_EQ(sent, (std::vector<std::string>{"READY=1\nSTATUS=central station 10.1.2.3:8000 not connected"}));
    sent.clear();

    f.centralStation->events.error(10061);
    const auto tick = [&](double seconds) {
        f.clock.AdvanceSeconds(seconds);
        run.Tick();
    };
    tick(1.0);
    EXPECT_EQ(sent,
              (std::vector<std::string>{"WATCHDOG=1", "STATUS=central station 10.1.2.3:8000 refuses connections"}));
    sent.clear();
    tick(0.4);  // within a quarter of the period, and the same state: nothing
    EXPECT_TRUE(sent.empty());
    tick(0.2);
    EXPECT_EQ(sent, (std::vector<std::string>{"WATCHDOG=1"}));

    // Messages arrive, but "AutoStart" is off: the state says why, and the log warns once.
    f.centralStation->Connect();
    const auto receive = [&] {
        run.Engine().Cycle().CompleteMessageReceived();
        run.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||20240506070809||ORU^R01|1|P|2.3",
                                               "PID|1||4711||Doe^Jane", "OBR|1|||MON|||20240506070809",
                                               "OBX|1|NM|0002-4182^HR^MDIL||70|bpm"});
    };
    sent.clear();
    for (int i = 0; i < 3; ++i) {
        receive();
        tick(1.0);
    }
    const std::string idle = "AutoStart is off (halcyra --set AutoStart=1 starts collecting at start-up)";
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "STATUS=connected, not collecting: " + idle), 1);
    const auto& lines = run.Engine().Log().Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(idle); }), 1);

    // Collecting, but nobody is ticked and "AutoCreate" is off: still nothing is written, for another cause.
    run.Engine().Start();
    receive();
    tick(1.0);
    EXPECT_EQ(sent.back(),
              "STATUS=connected, not writing: no patient is ticked and AutoCreate is off (halcyra --set "
              "AutoCreate=1 ticks new patients)");
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.ends_with("new patients)"); }),
        1);
    sent.clear();
    run.End();
    EXPECT_EQ(sent.front(), "STOPPING=1\nSTATUS=stopping: closing the collected series");
}

}  // namespace
}  // namespace halcyra
