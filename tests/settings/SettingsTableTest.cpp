#include "platform/Text.h"
#include "settings/SettingsStore.h"
#include "settings/SettingsTable.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <set>

namespace halcyra {
namespace {

using test::TTempDir;

struct SettingsTableTest : ::testing::Test {
    TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore store{*registry};
};

TEST_F(SettingsTableTest, NamesAreUniqueIgnoringCaseAndFoundByName)
{
    std::set<std::string> seen;
    for (const TSetting* s : kSettingsTable) {
        EXPECT_TRUE(seen.insert(UpperAscii(s->name)).second) << s->name;
        EXPECT_EQ(FindSetting(LowerAscii(s->name)), s);
    }
    EXPECT_EQ(FindSetting("Param0"), nullptr);
}

TEST_F(SettingsTableTest, AbsentValuesGiveTheTableDefaults)
{
    EXPECT_FALSE(store.ReadRegBool(setting::EnableLogfile));
    EXPECT_TRUE(store.ReadRegBool(setting::Automatic));
    EXPECT_EQ(store.ReadRegString(setting::DebugFolder), "C:\\TEMP\\");
    EXPECT_EQ(store.ReadRegString(setting::FilterFunction), "Median");
    EXPECT_EQ(store.ReadRegInteger(setting::ClientSocketPort), 13999);
    EXPECT_EQ(store.ReadRegInteger(setting::Interval), 10);
    EXPECT_EQ(store.ReadRegInteger(setting::MedianFilterValue), 15);
    EXPECT_EQ(store.ReadRegInteger(setting::TimerInterval), 1000);
    EXPECT_EQ(store.ReadRegInteger(setting::NrOfChars), 10);
    for (const TSetting* s : kSettingsTable) EXPECT_FALSE(store.StoredValue(*s).has_value()) << s->name;
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));  // reads create nothing
}

TEST_F(SettingsTableTest, StoredValuesAreTurnedIntoTheValuesInUse)
{
    TRegistryHive& user = registry->CurrentUser();
    user.WriteString(kProgramKey, "DebugFolder", "D:\\logs");
    user.WriteDword(kProgramKey, "PatientIDReduction", 0x102);
    user.WriteDword(kProgramKey, "Automatic", 0);
    user.WriteString(kProgramKey, "Interval", "30");  // wrong type: the default
    EXPECT_EQ(store.ReadRegString(setting::DebugFolder), "D:\\logs\\");
    EXPECT_EQ(store.ReadRegInteger(setting::PatientIDReduction), 2);
    EXPECT_FALSE(store.ReadRegBool(setting::Automatic));
    EXPECT_EQ(store.ReadRegInteger(setting::Interval), 10);
    EXPECT_FALSE(store.StoredValue(setting::Interval).has_value());
    EXPECT_EQ(store.StoredValue(setting::PatientIDReduction), "258");
    EXPECT_EQ(store.StoredValue(setting::DebugFolder), "D:\\logs");
}

TEST_F(SettingsTableTest, DataSourceIsTheCentralStationOnlyWhileTheProgramKeyIsMissing)
{
    EXPECT_TRUE(store.ReadRegBool(setting::DataSourceIsCentralStation));
    store.WriteRegInteger(setting::Interval, 10);
    EXPECT_FALSE(store.ReadRegBool(setting::DataSourceIsCentralStation));
    store.WriteRegBool(setting::DataSourceIsCentralStation, true);
    EXPECT_TRUE(store.ReadRegBool(setting::DataSourceIsCentralStation));
}

TEST_F(SettingsTableTest, HkeyLivesInThePerMachineHiveWhateverTheRoot)
{
    store.SetSettingsRoot(THive::CurrentUser);
    store.WriteRegString(setting::HKEY, "LOCAL_MACHINE");
    EXPECT_EQ(registry->LocalMachine().ReadString(kProgramKey, "HKEY"), "LOCAL_MACHINE");
    EXPECT_FALSE(registry->CurrentUser().KeyExists(kProgramKey));
    store.ChooseSettingsRoot();
    EXPECT_EQ(store.SettingsRoot(), THive::LocalMachine);
}

}  // namespace
}  // namespace halcyra
