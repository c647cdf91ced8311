// The data folder and compatibility mode as read from the data manager's registry settings.
#include "datamanager/DataFolder.h"
#include "support/RegFileText.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

struct TDataFolderTest : ::testing::Test {
    test::TTempDir dir;
    TRegistryHive hive{dir / "HKEY_CURRENT_USER.reg", THive::CurrentUser};

    // Hive files as other programs leave them are read-only for everyone once their mode says so.
    void MakeHiveReadOnly() { fs::permissions(hive.File(), fs::perms::owner_read | fs::perms::group_read); }
};

TEST_F(TDataFolderTest, KvdDataGivesTheDataFolder)
{
    struct TCase {
        std::optional<std::string> kvdData;
        const char* dataFolder;
    };
    for (const TCase& c : {
             TCase{"C:\\KVD\\", "C:\\KVD\\DATA\\"},
             TCase{std::nullopt, "C:\\KVD\\DATA\\"},
             TCase{"E:\\", "E:\\DATA\\"},
             TCase{"D:\\Apps\\KVD", "D:\\Apps\\DATA\\"},
             TCase{"D:\\Apps\\KVD\\Velgard.exe", "D:\\Apps\\KVD\\DATA\\"},
             TCase{"C:", "C:\\DATA\\"},
             // No folder in it: a rootless "\DATA\" would be written wherever the program runs.
             TCase{"", "C:\\KVD\\DATA\\"},
             TCase{"KVD", "C:\\KVD\\DATA\\"},
         }) {
        SCOPED_TRACE(c.kvdData.value_or("(missing)"));
        hive.DeleteKey("Software\\Tovarin\\Velgard");
        if (c.kvdData) hive.WriteString(kVelgardFilePathsKey, "KVDData", *c.kvdData);
        EXPECT_EQ(GetDataFolder(hive, "DATA\\").dataFolder, c.dataFolder);
    }
}

TEST_F(TDataFolderTest, ExpandableStringsAreReadAsTheyStand)
{
    test::WriteHiveFile(hive.File(), "HKEY_CURRENT_USER", "Software\\Tovarin\\Velgard\\2.0\\File Paths",
                        test::ExpandStringLine("KVDData", "E:\\Velgard\\"));
    EXPECT_EQ(GetDataFolder(hive, "DATA\\").dataFolder, "E:\\Velgard\\DATA\\");

    test::WriteHiveFile(hive.File(), "HKEY_CURRENT_USER", "Software\\Tovarin\\Velgard\\2.0\\General",
                        test::ExpandStringLine("Compatibility", "Vexa"));
    EXPECT_TRUE(GetDataFolder(hive, "DATA\\", true).compatibilityMode);
}

TEST_F(TDataFolderTest, MissingKeysAreCreatedAndWrongTypesGiveTheDefault)
{
    TDataFolderInfo info = GetDataFolder(hive);
    EXPECT_EQ(info.dataFolder, "C:\\KVD\\DATA\\");
    EXPECT_FALSE(info.compatibilityMode);
    EXPECT_TRUE(hive.KeyExists("\\Software\\Tovarin\\Velgard\\2.0\\File Paths"));
    EXPECT_TRUE(hive.KeyExists("\\Software\\Tovarin\\Velgard\\2.0\\General"));
    EXPECT_FALSE(hive.KeyExists("\\Software\\Tovarin\\Velgard\\1.0"));

    hive.WriteDword(kVelgardFilePathsKey, "KVDData", 5);
    hive.WriteDword(kVelgardGeneralKey, "Compatibility", 1);
    info = GetDataFolder(hive);
    EXPECT_EQ(info.dataFolder, "C:\\KVD\\DATA\\");
    EXPECT_FALSE(info.compatibilityMode);
}

TEST_F(TDataFolderTest, OnlyTheExactWordVexaSwitchesCompatibilityOn)
{
    struct TCase {
        std::optional<std::string> value;
        bool on;
    };
    for (const TCase& c : {TCase{"Vexa", true}, TCase{"vexa", false}, TCase{"VEXA", false}, TCase{"Vexa ", false},
                           TCase{"", false}, TCase{std::nullopt, false}}) {
        SCOPED_TRACE(c.value.value_or("(missing)"));
        hive.DeleteValue(kVelgardGeneralKey, "Compatibility");
        if (c.value) hive.WriteString(kVelgardGeneralKey, "Compatibility", *c.value);
        EXPECT_EQ(GetDataFolder(hive).compatibilityMode, c.on);
    }
}

TEST_F(TDataFolderTest, OldInstallationKeyIsUsedOnlyWhenTheNewOneCannotBeCreated)
{
    hive.WriteString(kVelgardOldFilePathsKey, "KVDData", "F:\\Old\\");
    // A writable hive gets the 2.0 key created; the 1.0 value is not looked at.
    TDataFolderInfo info = GetDataFolder(hive);
    EXPECT_EQ(info.dataFolder, "C:\\KVD\\DATA\\");

    hive.DeleteKey("\\Software\\Tovarin\\Velgard\\2.0\\File Paths");
    hive.WriteString(kVelgardGeneralKey, "Compatibility", "Vexa");
    MakeHiveReadOnly();
    info = GetDataFolder(hive);
    EXPECT_EQ(info.dataFolder, "F:\\Old\\DATA\\");
    EXPECT_FALSE(info.compatibilityMode);
}

TEST_F(TDataFolderTest, ReadOnlyHiveStillGivesItsValuesAndNothingAtAllGivesTheDefault)
{
    hive.WriteString(kVelgardFilePathsKey, "KVDData", "E:\\");
    hive.WriteString(kVelgardGeneralKey, "Compatibility", "Vexa");
    MakeHiveReadOnly();
    TDataFolderInfo info = GetDataFolder(hive);
    EXPECT_EQ(info.dataFolder, "E:\\DATA\\");
    EXPECT_TRUE(info.compatibilityMode);

    // Neither key exists nor can be created.
    TRegistryHive machine(dir / "HKEY_LOCAL_MACHINE.reg", THive::LocalMachine);
    machine.WriteString("\\SOFTWARE\\Other", "Name", "x");
    fs::permissions(machine.File(), fs::perms::owner_read);
    info = GetDataFolder(machine, "DATA\\");
    EXPECT_EQ(info.dataFolder, "C:\\KVD\\DATA\\");
    EXPECT_FALSE(info.compatibilityMode);
    EXPECT_FALSE(machine.KeyExists("\\Software\\Tovarin"));
}

}  // namespace
}  // namespace halcyra
