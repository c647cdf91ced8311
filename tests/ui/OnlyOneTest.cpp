// One instance per user and settings: a later start learns who runs, and a desktop one asks the first to
// come to the front.
#include "ui/OnlyOne.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

QString UniqueName()
{
    return TOnlyOne::ServerName(
        QStringLiteral("Only one test %1").arg(QCoreApplication::applicationPid()),
        fs::path("/tmp") / ::testing::UnitTest::GetInstance()->current_test_info()->name() / "HKEY_CURRENT_USER.reg");
}

TEST(OnlyOne, TheNameIsTheAtomNameWithTheUserAndTheSettingsFileHoweverItIsNamed)
{
    EXPECT_EQ(TOnlyOne::AtomName("Halcyra Data Input Module"), "OnlyOneHalcyra Data Input M");
    const QString title = "Halcyra Data Input Module";
    test::TTempDir dir;
    fs::create_directories(dir.Path() / "registry");
    fs::create_directory_symlink(dir.Path() / "registry", dir.Path() / "link");
    const fs::path file = dir.Path() / "registry" / "HKEY_CURRENT_USER.reg";
    const QString name = TOnlyOne::ServerName(title, file);
    EXPECT_TRUE(name.startsWith("OnlyOneHalcyra Data Input M-")) << name.toStdString();
    EXPECT_EQ(TOnlyOne::SettingsFileName(file),
              QString::fromStdString(fs::canonical(dir.Path()).string()) + "/registry/HKEY_CURRENT_USER.reg");

    // The same file by a symbolic link, with dots, relative to the working folder: one name.
    const fs::path here = fs::current_path();
    fs::current_path(dir.Path());
    for (const fs::path& same : {dir.Path() / "link" / "HKEY_CURRENT_USER.reg",
                                 dir.Path() / "registry" / "." / ".." / "registry" / "HKEY_CURRENT_USER.reg",
                                 fs::path("registry") / "HKEY_CURRENT_USER.reg"}) {
        EXPECT_EQ(TOnlyOne::ServerName(title, same), name) << same;
        EXPECT_EQ(TOnlyOne::SettingsFileName(same), TOnlyOne::SettingsFileName(file)) << same;
    }
    fs::current_path(here);
    EXPECT_NE(TOnlyOne::ServerName(title, dir.Path() / "other" / "HKEY_CURRENT_USER.reg"), name);
}

TEST(OnlyOne, ALaterStartLearnsWhoRunsAndOnlyADesktopStartBringsTheFirstToTheFront)
{
    const QString name = UniqueName();
    TOnlyOne first(name, "service");
    int fronts = 0;
    first.OnBringToFront = [&] { ++fronts; };
    ASSERT_TRUE(first.Enforce());

    // Asked while this thread, the first instance's own, is blocked in the asking: the answer still comes.
    TOnlyOne service(name, "service");
    EXPECT_FALSE(service.Enforce(false));
    EXPECT_EQ(service.Running().mode, "service");
    EXPECT_EQ(service.Running().pid, QCoreApplication::applicationPid());
    EXPECT_EQ(service.RunningText(),
              QStringLiteral("another instance (service, PID %1)").arg(QCoreApplication::applicationPid()));

    TOnlyOne desktop(name, "desktop");
    EXPECT_FALSE(desktop.Enforce(true));
    EXPECT_EQ(desktop.Running().mode, "service");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fronts == 1; }, 5000));

    // A third start meets the first again; the others never took the name.
    TOnlyOne import(name, "import");
    EXPECT_FALSE(import.Enforce(false));
    EXPECT_EQ(import.Running().mode, "service");
    QCoreApplication::processEvents();
    EXPECT_EQ(fronts, 1);
}

TEST(OnlyOne, TheNameIsFreeAgainWhenTheFirstEnds)
{
    const QString name = UniqueName();
    {
        TOnlyOne first(name, "desktop");
        ASSERT_TRUE(first.Enforce());
    }
    TOnlyOne next(name, "service");
    EXPECT_TRUE(next.Enforce(false));
    TOnlyOne other(UniqueName() + "-other", "service");
    EXPECT_TRUE(other.Enforce(false));
}

TEST(OnlyOne, WithoutEnforcingEveryInstanceRuns)
{
    const QString name = UniqueName();
    TOnlyOne first(name, "desktop");
    ASSERT_TRUE(first.Enforce());
    TOnlyOne second(name, "desktop");
    second.EnforceOnlyOne = false;
    EXPECT_TRUE(second.Enforce());
}

}  // namespace
}  // namespace halcyra
