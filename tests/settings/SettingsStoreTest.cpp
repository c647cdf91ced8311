#include "settings/SettingsStore.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

struct SettingsStoreTest : ::testing::Test {
    TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore store{*registry};

    void MakeReadOnly(THive hive)
    {
        registry->Hive(hive).CreateKey("\\SOFTWARE");
        fs::permissions(registry->Hive(hive).File(),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
};

TEST_F(SettingsStoreTest, FirstRunWithoutProgramKeyGivesDefaultsAndWritesNothing)
{
    store.ChooseSettingsRoot();
    EXPECT_EQ(store.SettingsRoot(), THive::CurrentUser);
    EXPECT_FALSE(store.ProgramKeyExists());
    EXPECT_FALSE(store.ReadRegBool("EnableLogfile"));
    EXPECT_EQ(store.ReadRegInteger("ClientSocketPort", 13999), 13999);
    EXPECT_EQ(store.ReadRegString("DebugFolder"), "");
    EXPECT_TRUE(fs::is_empty(dir.Path()));  // reads never create the key

    store.WriteRegInteger("Interval", 10);
    EXPECT_TRUE(store.ProgramKeyExists());
    EXPECT_EQ(registry->CurrentUser().ReadDword(kProgramKey, "Interval"), 10u);
    EXPECT_EQ(TSettingsStore::ProgramSubkey("DefaultUnits"), std::string(kProgramKey) + "\\DefaultUnits");
}

TEST_F(SettingsStoreTest, OnlyTheExactTextInThePerMachineHiveSelectsIt)
{
    struct Case {
        THive hive;
        bool asDword;
        const char* text;
        THive expected;
    };
    const Case cases[] = {
        {THive::LocalMachine, false, "LOCAL_MACHINE", THive::LocalMachine},
        {THive::CurrentUser, false, "LOCAL_MACHINE", THive::CurrentUser},  // the per-user "HKEY" is ignored
        {THive::LocalMachine, false, "local_machine", THive::CurrentUser},
        {THive::LocalMachine, false, "LOCAL_MACHINE ", THive::CurrentUser},
        {THive::LocalMachine, false, "CURRENT_USER", THive::CurrentUser},
        {THive::LocalMachine, true, "", THive::CurrentUser},  // a DWORD "HKEY"
    };
    for (const Case& c : cases) {
        TTempDir caseDir;
        auto caseRegistry = TRegistry::InDirectory(caseDir.Path());
        if (c.asDword)
            caseRegistry->Hive(c.hive).WriteDword(kProgramKey, "hkey", 1);
        else
            caseRegistry->Hive(c.hive).WriteString(kProgramKey, "hkey", c.text);
        TSettingsStore caseStore(*caseRegistry);
        caseStore.SetSettingsRoot(c.expected == THive::LocalMachine ? THive::CurrentUser : THive::LocalMachine);
        caseStore.ChooseSettingsRoot();
        EXPECT_EQ(caseStore.SettingsRoot(), c.expected) << c.text;
    }
}

TEST_F(SettingsStoreTest, ValuesOfTheWrongTypeReadAsDefaults)
{
    TRegistryHive& user = registry->CurrentUser();
    user.WriteString(kProgramKey, "Interval", "30");
    user.WriteDword(kProgramKey, "IPString", 1);
    user.WriteDword(kProgramKey, "AutoStart", 7);
    user.WriteDword(kProgramKey, "AutoHide", 0);
    user.WriteString(kProgramKey, "AutoCreate", "1");
    user.WriteDword(kProgramKey, "NrOfChars", 0xFFFFFFFF);

    EXPECT_EQ(store.ReadRegInteger("Interval", 10), 10);
    EXPECT_EQ(store.ReadRegString("IPString"), "");
    EXPECT_TRUE(store.ReadRegBool("AutoStart"));  // any non-zero DWORD is true
    EXPECT_FALSE(store.ReadRegBool("AutoHide"));
    EXPECT_FALSE(store.ReadRegBool("AutoCreate"));
    EXPECT_EQ(store.ReadRegInteger("nrofchars", 10), -1);
}

TEST_F(SettingsStoreTest, AccessorsUseTheSettingsRootOnly)
{
    store.SetSettingsRoot(THive::LocalMachine);
    store.WriteRegBool("AutoHide", true);
    store.WriteRegString("IPString", "10.0.0.1");
    EXPECT_EQ(registry->LocalMachine().ReadDword(kProgramKey, "AutoHide"), 1u);
    EXPECT_FALSE(registry->CurrentUser().KeyExists(kProgramKey));
    EXPECT_EQ(store.ReadRegString("IPString"), "10.0.0.1");

    store.SetSettingsRoot(THive::CurrentUser);
    EXPECT_FALSE(store.ReadRegBool("AutoHide"));
}

TEST_F(SettingsStoreTest, RelocationWritesHkeyInThePerMachineHiveWithoutCopying)
{
    store.WriteRegInteger("Interval", 20);
    store.RelocateSettingsRoot(THive::LocalMachine);
    EXPECT_EQ(store.SettingsRoot(), THive::LocalMachine);
    EXPECT_EQ(registry->LocalMachine().ReadString(kProgramKey, "HKEY"), "LOCAL_MACHINE");
    EXPECT_EQ(store.ReadRegInteger("Interval", 10), 10);

    store.RelocateSettingsRoot(THive::CurrentUser);
    EXPECT_EQ(store.SettingsRoot(), THive::CurrentUser);
    EXPECT_EQ(registry->LocalMachine().ReadString(kProgramKey, "HKEY"), "CURRENT_USER");
    EXPECT_EQ(store.ReadRegInteger("Interval", 10), 20);
    EXPECT_FALSE(registry->CurrentUser().ValueExists(kProgramKey, "HKEY"));
}

TEST_F(SettingsStoreTest, WritesToAnUnwritableHiveAreSwallowed)
{
    MakeReadOnly(THive::LocalMachine);
    store.SetSettingsRoot(THive::LocalMachine);
    EXPECT_NO_THROW(store.WriteRegBool("AutoHide", true));
    EXPECT_NO_THROW(store.WriteRegInteger("Interval", 5));
    EXPECT_NO_THROW(store.WriteRegString("IPString", "x"));
    EXPECT_FALSE(store.ReadRegBool("AutoHide"));
    EXPECT_EQ(store.ReadRegInteger("Interval", 10), 10);

    store.SetSettingsRoot(THive::CurrentUser);
    EXPECT_NO_THROW(store.RelocateSettingsRoot(THive::LocalMachine));
    EXPECT_EQ(store.SettingsRoot(), THive::LocalMachine);
    EXPECT_FALSE(registry->LocalMachine().ValueExists(kProgramKey, "HKEY"));
}

}  // namespace
}  // namespace halcyra
