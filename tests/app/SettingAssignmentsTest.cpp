// `halcyra --set NAME=VALUE`: what is stored, what is refused, and that a refusal stores nothing.
#include "app/SettingAssignments.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

struct SettingAssignmentsTest : ::testing::Test {
    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings{*registry};

    std::vector<std::string> Store(const std::vector<std::string>& arguments)
    {
        std::vector<TSettingAssignment> assignments;
        for (const std::string& argument : arguments) assignments.push_back(ParseSettingAssignment(argument));
        return StoreSettingAssignments(settings, assignments);
    }
};

TEST_F(SettingAssignmentsTest, ValuesAreStoredWithTheSettingsTypeAndSpelling)
{
    struct TCase {
        const char* argument;
        const char* stored;  // as the store reads it back: a number or the text
    };
    const TCase cases[] = {
        {"autostart=1", "1"},
        {"AutoCreate=yes", "1"},
        {"NoVelgard=off", "0"},
        {"ClientSocketPort=65535", "65535"},
        {"Interval=7170", "7170"},
        {"NrOfChars=5", "5"},
        {"TimerInterval=10", "10"},
        {"IPString=ward-server.example", "ward-server.example"},
        {"FilterFunction=momentary", "Momentary"},
        {"DebugFolder=D:\\logs\\", "D:\\logs\\"},
        {"DebugFolder=", ""},
        {"RelayAllowedClients=10.1.2.0/24; ::1", "10.1.2.0/24; ::1"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.argument);
        const TSettingAssignment a = ParseSettingAssignment(c.argument);
        Store({c.argument});
        const std::optional<std::string> stored = settings.StoredValue(*a.setting);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(*stored, c.stored);
    }
    // Several in one go: one line each, in order, and the address together with its kind.
    EXPECT_EQ(Store({"IsAddress=1", "IPString=10.1.2.3", "AutoStart=0"}),
              (std::vector<std::string>{"IsAddress = 1", "IPString = 10.1.2.3", "AutoStart = 0"}));
    EXPECT_EQ(settings.ReadRegString("IPString"), "10.1.2.3");
    EXPECT_EQ(registry->CurrentUser().GetDataType(kProgramKey, "IsAddress"), TRegDataType::Dword);
    // The settings root lives in the per-machine hive, whatever the root is.
    Store({"HKEY=local_machine"});
    EXPECT_EQ(registry->LocalMachine().ReadString(kProgramKey, "HKEY"), "LOCAL_MACHINE");
}

TEST_F(SettingAssignmentsTest, AWrongNameOrValueIsOneClearMessage)
{
    struct TCase {
        const char* argument;
        const char* message;
    };
    const TCase cases[] = {
        {"Colour=blue", "there is no setting \"Colour\" (halcyra --settings lists them)"},
        {"AutoStart", "--set takes NAME=VALUE, not \"AutoStart\""},
        {"=1", "--set takes NAME=VALUE, not \"=1\""},
        {"AutoStart=2", "AutoStart takes 0 or 1, not \"2\""},
        {"ClientSocketPort=0", "ClientSocketPort takes a whole number from 1 to 65535, not \"0\""},
        {"ClientSocketPort=70000", "ClientSocketPort takes a whole number from 1 to 65535, not \"70000\""},
        {"Interval=10s", "Interval takes a whole number from 1 to 7170, not \"10s\""},
        {"Interval=", "Interval takes a whole number from 1 to 7170, not \"\""},
        {"NrOfChars=-5", "NrOfChars takes a whole number from 5 to 20, not \"-5\""},
        {"IPString=ward server", "IPString takes the central station's address or host name, not \"ward server\""},
        {"IPString=", "IPString takes the central station's address or host name, not \"\""},
        {"IPString=Zürich-1", "IPString takes the central station's address or host name, not \"Zürich-1\""},
        {"HKEY=SOMEWHERE", "HKEY takes LOCAL_MACHINE or CURRENT_USER, not \"SOMEWHERE\""},
        {"FilterFunction=max", "FilterFunction takes Average, Median or Momentary, not \"max\""},
        {"DebugFolder=TEMP", "DebugFolder takes a folder such as C:\\TEMP\\, not \"TEMP\""},
        {"RelayAllowedClients=10.1.2.0/24; everyone",
         "RelayAllowedClients takes addresses and subnets separated by \";\" (\"everyone\" is neither), not "
         "\"10.1.2.0/24; everyone\""},
        {"EnableLogfile=1\x01", "EnableLogfile takes 0 or 1, not \"1\x01\""},
        {"IPString=a\tb", "IPString takes text without control characters, not \"a\tb\""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.argument);
        try {
            ParseSettingAssignment(c.argument);
            ADD_FAILURE() << "accepted";
        } catch (const ESettingValue& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST_F(SettingAssignmentsTest, AnAddressThatIsAHostNameStoresNothing)
{
    Store({"IPString=ward-server"});
    const auto before = fs::last_write_time(registry->CurrentUser().File());
    // IsAddress=1 makes the stored host name an address; so does one given with it.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"AutoStart=1", "IsAddress=1"},
          std::vector<std::string>{"IsAddress=1", "IPString=ward-two", "AutoStart=1"}}) {
        EXPECT_THROW(Store(arguments), ESettingValue);
        EXPECT_FALSE(settings.StoredValue(setting::AutoStart).has_value());
        EXPECT_EQ(settings.ReadRegString("IPString"), "ward-server");
    }
    EXPECT_EQ(fs::last_write_time(registry->CurrentUser().File()), before);
    // A host name with IsAddress=0 is what it should be.
    EXPECT_NO_THROW(Store({"IsAddress=0", "IPString=ward-two"}));
}

TEST_F(SettingAssignmentsTest, AHiveThatCannotBeWrittenIsAnError)
{
    Store({"AutoStart=0"});
    fs::permissions(registry->CurrentUser().File(), fs::perms::owner_read);
    EXPECT_THROW(Store({"AutoStart=1"}), ERegistryError);
    fs::permissions(registry->CurrentUser().File(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(settings.StoredValue(setting::AutoStart), "0");
}

}  // namespace
}  // namespace halcyra
