#include "patients/PatientFolders.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

struct PatientFoldersTest : ::testing::Test {
    test::TTempDir dir;
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    TPatientIdReduction reduction;
    TPatientFolders folders{files, reduction};
};

TEST_F(PatientFoldersTest, FolderNamesFollowTheReducedIdAndTheCompatibilityMode)
{
    struct Case {
        bool compatibility;
        const char* id;
        const char* expected;
    };
    const Case cases[] = {
        {false, "1234567890", "C:\\KVD\\DATA\\1234567890\\"},   {false, "12345678901", "C:\\KVD\\DATA\\12345678901\\"},
        {true, "12345678901", "C:\\KVD\\DATA\\12345678.$90\\"}, {true, "1234", "C:\\KVD\\DATA\\1234.$\\"},
        {true, "12345678", "C:\\KVD\\DATA\\12345678.$\\"},      {true, "123456789", "C:\\KVD\\DATA\\12345678.$9\\"},
    };
    for (const Case& c : cases) {
        folders.SetDataFolder("C:\\KVD\\DATA\\", c.compatibility);
        EXPECT_EQ(folders.PatientFolderFor(c.id), c.expected) << c.id << " compatibility " << c.compatibility;
    }

    reduction.SetSettings({true, TPatientIdReductionMode::LastCharacters, 6});
    folders.SetDataFolder("E:\\Data\\", false);
    EXPECT_EQ(folders.PatientFolderFor("1912121212345MR"), "E:\\Data\\212345\\");
}

TEST_F(PatientFoldersTest, DisplayIdsAreHyphenatedOnlyInCompatibilityMode)
{
    struct Case {
        bool compatibility;
        const char* id;
        const char* expected;
    };
    const Case cases[] = {
        {true, "1234567890", "123456-7890"},   {true, "12345678901", "123456-7890"},
        {true, "123456-7890", "123456-7890"},  {true, "123456", "123456"},
        {true, "1234567", "123456-7"},         {false, "1234567890", "1234567890"},
        {false, "12345678901", "12345678901"},
    };
    for (const Case& c : cases) {
        folders.SetDataFolder("C:\\KVD\\DATA\\", c.compatibility);
        EXPECT_EQ(folders.DisplayIdFor(c.id), c.expected) << c.id << " compatibility " << c.compatibility;
    }
}

TEST_F(PatientFoldersTest, APatientIsAFolderHoldingThePatientFileInAnyLetterCase)
{
    const fs::path data = files.HostPath("C:\\KVD\\DATA");
    fs::create_directories(data / "upper");
    fs::create_directories(data / "lower");
    fs::create_directories(data / "folder" / "Patient");
    fs::create_directories(data / "empty");
    std::ofstream(data / "upper" / "PATIENT") << "x";
    std::ofstream(data / "lower" / "patient") << "x";
    std::ofstream(data / "empty" / "Patient.bak") << "x";

    EXPECT_TRUE(folders.PatientExists("C:\\KVD\\DATA\\upper\\"));
    EXPECT_TRUE(folders.PatientExists("C:\\kvd\\data\\LOWER\\"));
    EXPECT_FALSE(folders.PatientExists("C:\\KVD\\DATA\\folder\\"));  // a folder named Patient
    EXPECT_FALSE(folders.PatientExists("C:\\KVD\\DATA\\empty\\"));
    EXPECT_FALSE(folders.PatientExists("C:\\KVD\\DATA\\missing\\"));
    EXPECT_FALSE(folders.PatientExists("Q:\\DATA\\upper\\"));  // a drive without mapping
    EXPECT_FALSE(folders.PatientExists(""));
}

}  // namespace
}  // namespace halcyra
