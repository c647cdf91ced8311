#include "patients/FolderOwners.h"

#include "patients/PatientFile.h"
#include "savefile/SaveITNew.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <optional>

namespace halcyra {
namespace {

class FolderOwnersTest : public ::testing::Test {
protected:
    FolderOwnersTest() { folders.SetDataFolder("C:\\KVD\\DATA\\", false); }

    std::string Folder(const std::string& id) const { return folders.PatientFolderFor(id); }

    test::TTempDir dir;
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    TPatientIdReduction reduction;
    TPatientFolders folders{files, reduction};
    std::shared_ptr<ISaveFileIo> io = std::make_shared<TPosixSaveFileIo>();
    TFolderOwners owners{files, io, folders};
};

TEST_F(FolderOwnersTest, TheFirstSourceIdOwnsTheFolderForTheRun)
{
    reduction.SetSettings({false, TPatientIdReductionMode::LastCharacters, 10});
    const std::string folder = Folder("1212121234");
    EXPECT_TRUE(owners.Claim(folder, "191212121234", "1212121234").granted);
    EXPECT_TRUE(owners.Claim(folder, "191212121234", "1212121234").granted);

    const TFolderOwners::TClaim refused = owners.Claim(folder, "201212121234", "1212121234");
    EXPECT_FALSE(refused.granted);
    EXPECT_EQ(refused.owner, "191212121234");
    EXPECT_TRUE(refused.firstRefusal);
    EXPECT_FALSE(owners.Claim(folder, "201212121234", "1212121234").firstRefusal);

    // Letter case alone: one folder on the drives' lookup, whichever spelling asks.
    const std::string upper = Folder("AB12345");
    EXPECT_TRUE(owners.Claim(upper, "AB12345", "AB12345").granted);
    const TFolderOwners::TClaim lower = owners.Claim(Folder("ab12345"), "ab12345", "ab12345");
    EXPECT_FALSE(lower.granted);
    EXPECT_EQ(lower.owner, "AB12345");
    EXPECT_TRUE(lower.firstRefusal);

    // A census row knows only the reduced ID: the owner's may write, another spelling may not.
    EXPECT_TRUE(owners.MayWrite(folder, "1212121234"));
    EXPECT_TRUE(owners.MayWrite(upper, "AB12345"));
    EXPECT_FALSE(owners.MayWrite(Folder("ab12345"), "ab12345"));
}

TEST_F(FolderOwnersTest, AskingWhetherARowMayWriteClaimsNothing)
{
    EXPECT_TRUE(owners.MayWrite(Folder("ab12345"), "ab12345"));
    EXPECT_TRUE(owners.Claim(Folder("AB12345"), "AB12345", "AB12345").granted);
    EXPECT_FALSE(owners.MayWrite(Folder("ab12345"), "ab12345"));
}

// After a restart nobody has claimed anything yet: the files of the folder tell whose it is.
TEST_F(FolderOwnersTest, TheFolderFilesTellTheOwnerAcrossARestart)
{
    struct TMonitorFile {
        std::string name;
        std::string patientId;
        std::string monitor = "Halcyra";
    };
    struct TCase {
        const char* what;
        bool compatibility;
        std::vector<TMonitorFile> monitorFiles;
        std::optional<std::string> patientFileId;
        std::string claimant;  // source ID = patient ID
        std::string owner;     // empty when the claimant gets the folder
    };
    const TCase cases[] = {
        {"our monitor-data file", false, {{"Halcyra.pil", "AB12345"}}, {}, "AB12345", ""},
        {"another spelling's monitor-data file", false, {{"Halcyra.pil", "AB12345"}}, {}, "ab12345", "AB12345"},
        {"the first monitor-data file decides",
         false,
         {{"Halcyra.pil", "AB12345"}, {"Halcyra1.pil", "ab12345"}},
         {},
         "ab12345",
         "AB12345"},
        {"another monitor's file names nobody", false, {{"Halcyra.pil", "AB12345", "Other"}}, {}, "ab12345", ""},
        {"our patient file", false, {}, "AB12345", "AB12345", ""},
        {"another spelling's patient file", false, {}, "AB12345", "ab12345", "AB12345"},
        {"the monitor-data file outweighs the patient file",
         false,
         {{"Halcyra.pil", "ab12345"}},
         "AB12345",
         "ab12345",
         ""},
        // Patient files with other conventions prove nothing against the patient.
        {"a display ID", true, {}, "123456-7890", "1234567890", ""},
        {"an ID cut to 11 characters", false, {}, "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMN", ""},
        {"another spelling cut to 11 characters", false, {}, "ABCDEFGHIJKLMN", "abcdefghijklmn", ""},
        {"the template's ID", false, {}, "00000-0000", "1234567", ""},
        {"an empty ID", false, {}, "", "1234567", ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::TTempDir caseDir;
        TDriveMapping caseDrives{caseDir / "prefix"};
        TFileSystem caseFiles{caseDrives};
        TPatientFolders caseFolders{caseFiles, reduction};
        caseFolders.SetDataFolder("C:\\KVD\\DATA\\", c.compatibility);
        TPatientFile casePatientFile{caseFiles};
        // The folder as the first writer named it: the owner's spelling, else the claimant's.
        const std::string folder = caseFolders.PatientFolderFor(c.owner.empty() ? c.claimant : c.owner);
        caseFiles.ForceDirectories(folder);
        for (const TMonitorFile& file : c.monitorFiles) {
            TSaveItNew other(io);
            other.SetFileName(caseFiles.HostPath(folder + file.name));
            other.OpenOrCreate(file.monitor, "", file.patientId, "Someone", false);
        }
        if (c.patientFileId) casePatientFile.CreatePatient(*c.patientFileId, "Ann", "Lee", folder);

        TFolderOwners fresh{caseFiles, io, caseFolders};
        const std::string claimed = caseFolders.PatientFolderFor(c.claimant);
        const TFolderOwners::TClaim claim = fresh.Claim(claimed, c.claimant, c.claimant);
        EXPECT_EQ(claim.granted, c.owner.empty());
        EXPECT_EQ(claim.owner, c.owner);
        EXPECT_EQ(fresh.MayWrite(claimed, c.claimant), c.owner.empty());
        if (!c.owner.empty()) {
            // The owner's source, once it writes again, takes the folder the files gave it.
            EXPECT_TRUE(fresh.Claim(folder, c.owner, c.owner).granted);
            EXPECT_EQ(fresh.Claim(claimed, c.claimant, c.claimant).owner, c.owner);
        }
    }
}

}  // namespace
}  // namespace halcyra
