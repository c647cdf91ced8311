// The service keeps the stored census, however old, across a run ended by SIGTERM.
#include "hl7/CensusPatient.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

TEST(CensusService, KeepsTheStoredPatientsHoweverOldAcrossARun)
{
    test::TTempDir dir;
    const fs::path registryDir = dir / "registry";
    fs::create_directories(registryDir);
    fs::create_directories(dir / "prefix");
    const TDateTime now = NowLocal();
    const std::string john = "John^Smith^1912121234^" + FormatCompactStamp(now - kOneHour) + "^1";
    const std::string ann = "Ann^Lee^555^" + FormatCompactStamp(now - 7) + "^0";
    {
        auto registry = TRegistry::InDirectory(registryDir);
        registry->CurrentUser().WriteString(kProgramKey, "Patient1", john);
        registry->CurrentUser().WriteString(kProgramKey, "Patient3", ann);
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HALCYRA_REGISTRY", QString::fromStdString(registryDir.string()));
    env.insert("HALCYRA_PREFIX", QString::fromStdString((dir / "prefix").string()));

    QProcess service;
    service.setProcessEnvironment(env);
    service.start(HALCYRA_EXE, {"--service", "NOVELGARD"});
    ASSERT_TRUE(service.waitForStarted(10000));
    auto registry = TRegistry::InDirectory(registryDir);
    // The start-up save numbers the stored patients without gaps.
    const bool saved =
        QTest::qWaitFor([&] { return !registry->CurrentUser().ValueExists(kProgramKey, "Patient3"); }, 20000);
    EXPECT_TRUE(saved) << service.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(service.processId()), SIGTERM);
    ASSERT_TRUE(service.waitForFinished(20000));
    EXPECT_EQ(service.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service.exitCode(), 0);

    std::vector<std::string> census;
    for (const std::string& name : registry->CurrentUser().GetValueNames(kProgramKey))
        if (IsCensusValueName(name)) census.push_back(name);
    EXPECT_EQ(census, (std::vector<std::string>{"Patient1", "Patient2"}));
    EXPECT_EQ(registry->CurrentUser().ReadString(kProgramKey, "Patient1"), john);
    EXPECT_EQ(registry->CurrentUser().ReadString(kProgramKey, "Patient2"), ann);

    QProcess listing;
    listing.setProcessEnvironment(env);
    listing.start(HALCYRA_EXE, {"--settings"});
    ASSERT_TRUE(listing.waitForFinished(30000));
    const std::string out = listing.readAllStandardOutput().toStdString();
    EXPECT_NE(out.find("Patient1 = " + john + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Patient2 = " + ann + "\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("Patient3"), std::string::npos) << out;
}

}  // namespace
}  // namespace halcyra
