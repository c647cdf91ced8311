// The settings listing shows what the program will use.
#include "app/SettingsReport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

struct SettingsReportTest : ::testing::Test {
    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings{*registry};

    bool Lists(const std::string& line)
    {
        const auto lines = ReportSettings(settings, [](const std::string& path) { return path; });
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(SettingsReportTest, DataSourceIsShownAsStartUpWillUseIt)
{
    // Start-up creates the program key before the data source is read: a fresh machine reads false.
    EXPECT_TRUE(Lists("DataSourceIsCentralStation = false (default)"));
    EXPECT_TRUE(fs::is_empty(dir.Path()));

    // A hive that cannot be written keeps the key missing, and the run then takes the central station.
    registry->CurrentUser().CreateKey("\\SOFTWARE");
    fs::permissions(registry->CurrentUser().File(), fs::perms::owner_read | fs::perms::group_read);
    EXPECT_TRUE(Lists("DataSourceIsCentralStation = true (default)"));

    fs::permissions(registry->CurrentUser().File(), fs::perms::owner_read | fs::perms::owner_write);
    registry->CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    EXPECT_TRUE(Lists("DataSourceIsCentralStation = true"));
}

TEST_F(SettingsReportTest, ValuesInUseFollowTheTableRules)
{
    TRegistryHive& user = registry->CurrentUser();
    user.WriteDword(kProgramKey, "TimerInterval", 0);
    user.WriteDword(kProgramKey, "PatientIDReduction", 0x103);
    user.WriteString(kProgramKey, "DebugFolder", "D:\\logs");
    EXPECT_TRUE(Lists("TimerInterval = 10"));
    EXPECT_TRUE(Lists("PatientIDReduction = 3"));
    EXPECT_TRUE(Lists("DebugFolder = D:\\logs\\"));
    EXPECT_TRUE(Lists("Interval = 10 (default)"));
}

TEST_F(SettingsReportTest, TheRelayAllowListIsShownAfterTheRelayPort)
{
    const auto lines = ReportSettings(settings, [](const std::string& path) { return path; });
    const auto port = std::find(lines.begin(), lines.end(), "ClientSocketPort = 13999 (default)");
    ASSERT_NE(port, lines.end());
    ASSERT_NE(port + 1, lines.end());
    EXPECT_EQ(port[1], "RelayAllowedClients =  (default)");
    ASSERT_NE(port + 2, lines.end());
    EXPECT_EQ(port[2], "Relay server = off: RelayAllowedClients names no valid client");
    registry->CurrentUser().WriteString(kProgramKey, "RelayAllowedClients", "ward-pc");
    EXPECT_TRUE(Lists("Relay server = off: RelayAllowedClients names no valid client"));
    registry->CurrentUser().WriteString(kProgramKey, "RelayAllowedClients", "10.1.2.0/24; ::1");
    EXPECT_TRUE(Lists("RelayAllowedClients = 10.1.2.0/24; ::1"));
    EXPECT_TRUE(Lists("Relay server = listening on port 13999 on every address, for RelayAllowedClients only"));
}

}  // namespace
}  // namespace halcyra
