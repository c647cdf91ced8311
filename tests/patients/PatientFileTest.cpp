#include "patients/PatientFile.h"

#include "patients/DefaultPatientTemplate.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

std::string FromHex(std::string_view hex)
{
    std::string bytes;
    std::istringstream in{std::string(hex)};
    std::string pair;
    while (in >> pair) bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
    return bytes;
}

// The data manager's blank patient file, as it documents it.
const std::string kTemplate = FromHex(
    "F1 03 00 61 74 69 65 6E 74 00 00 51 00 00 32 00 "
    "05 00 6F 04 00 04 00 00 79 00 00 65 72 00 00 07 "
    "00 00 32 00 05 00 68 00 00 32 00 05 00 30 30 30 "
    "30 30 2D 30 30 30 30 00 2D 00 20 68 F6 20 62 75 "
    "6B 00 6F 72 61 6C 69 00 30 31 3A 30 30 00 01 00 "
    "01 00 01 00 01 00 2D 00 04 00 00 1C 00 31 30 37 "
    "32 30 31 30 32 2D 30 31 3A 30 30 00 01 00 01 00 "
    "01 00 01 00 2D 00 72 61 6C 69 00 30 31 3A 30 30 "
    "00 01 00 00 30 34 3A 30 30 00 01 00 01 00 01 00 "
    "01 00 BA 34 02 00 00 00 00 00 ED 03 00 00 0A 00 "
    "05 00 00 03 00 03 00 01 00 04 00 04 00 01 00 00 "
    "00 32 00 05 00 00 00 00 32 00 05 00 00 00 00 32 "
    "00 05 00 00 00 00 32 00 05 00 00 04 00 04 00 01 "
    "00 00 00 32 00 05 00 00 00 00 32 00 05 00 00 00 "
    "00 32 00 05 00 00 00 00 32 00 05 00 00 04 00 04 "
    "00 01 00 00 00 32 00 05 00 00 00 00 32 00 05 00 "
    "00 00 00 32 00 05 00 00 00 00 32 00 05 00 00");

class PatientFileTest : public ::testing::Test {
protected:
    fs::path Host(const std::string& path) { return files.HostPath(path); }
    std::string Read(const std::string& path)
    {
        std::ifstream in(Host(path), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    void Write(const std::string& path, const std::string& bytes)
    {
        fs::create_directories(Host(path).parent_path());
        std::ofstream(Host(path), std::ios::binary) << bytes;
    }
    void Register(const std::string& key, const std::string& value)
    {
        std::string ini = "[Registered]\r\n";
        ini += key + "=" + value + "\r\n";
        Write("C:\\KVD\\KVDDATA.INI", ini);
    }
    static std::string Field(std::string text, std::size_t size)
    {
        text.resize(size, '\0');
        return text;
    }

    test::TTempDir dir;
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    TPatientFile patientFile{files};
    std::vector<std::string> messages;
    const std::string folder = "C:\\KVD\\DATA\\1234567890\\";
};

TEST_F(PatientFileTest, TheDefaultResourceIsTheDocumentedTemplate)
{
    ASSERT_EQ(kTemplate.size(), kDefaultPatientTemplateSize);
    EXPECT_EQ(std::string(DefaultPatientTemplate()), kTemplate);
}

TEST_F(PatientFileTest, FieldsAreCutAndPadded)
{
    struct Case {
        std::string field;
        std::string expected;
    };
    const Case cases[] = {
        {PatientNameField("Smith"), Field("Smith", 21)},
        {PatientNameField("ABCDEFGHIJKLMNOPQRSTUVWXY"), Field("ABCDEFGHIJKLMNOPQRST", 21)},
        {PatientNameField(""), std::string(21, '\0')},
        {PatientIdField("  12345678901234 \t"), Field("12345678901", 12)},
        {PatientIdField("\x01"
                        "123 456\x1f"),
         Field("123 456", 12)},  // only the ends are trimmed
        {PatientIdField("   "), std::string(12, '\0')},
    };
    for (const Case& c : cases) EXPECT_EQ(c.field, c.expected);
}

TEST_F(PatientFileTest, CreatingWritesTheTemplateWithTheThreeFieldsAndShowsANotice)
{
    std::vector<TCreateNotice> notices;
    patientFile.OnCreateNotice = [&](const TCreateNotice& notice) { notices.push_back(notice); };
    EXPECT_EQ(patientFile.CreatePatient(" 1234567890 ", "ABCDEFGHIJKLMNOPQRSTUVWXY", "Smith", folder), -1);

    const std::string expected = kTemplate.substr(0, 2) + Field("Smith", 21) + Field("ABCDEFGHIJKLMNOPQRST", 21) +
                                 Field("1234567890", 12) + kTemplate.substr(56);
    EXPECT_EQ(Read(folder + "Patient"), expected);
    EXPECT_EQ(notices, (std::vector<TCreateNotice>{{" 1234567890 ", "ABCDEFGHIJKLMNOPQRSTUVWXY", "Smith", folder}}));

    // A second creation replaces the file as a whole.
    EXPECT_EQ(patientFile.CreatePatient("1", "A", "B", folder), -1);
    EXPECT_EQ(Read(folder + "Patient").size(), kDefaultPatientTemplateSize);
}

TEST_F(PatientFileTest, AFolderThatCannotBeMadeGivesZeroAndAMissingDriveRaises)
{
    Write("C:\\KVD\\DATA\\blocked", "a file where the folder should be");
    EXPECT_EQ(patientFile.CreatePatient("1", "A", "B", "C:\\KVD\\DATA\\blocked\\"), 0);
    try {
        patientFile.CreatePatient("1", "A", "B", "Q:\\DATA\\1\\");
        ADD_FAILURE() << "no error for a missing drive";
    } catch (const EPatientFileError& e) {
        EXPECT_STREQ(e.what(), "Exception: Could not create directory");
    }
}

TEST_F(PatientFileTest, RewritingKeepsABackupAndChangesOnlyTheNameFields)
{
    ASSERT_EQ(patientFile.CreatePatient("1234567890", "Ann", "Lee", folder), -1);
    const std::string old = Read(folder + "Patient");
    Write(folder + "Backup.Bak", "an older backup");
    fs::permissions(Host(folder + "Backup.Bak"), fs::perms::owner_read);  // read-only
    fs::permissions(Host(folder + "Patient"), fs::perms::owner_read);
    Register("1", "C:\\KVD\\DATA\\999\\");

    EXPECT_EQ(patientFile.RewritePatientNames("ignored", "Annabelle", "Lee-Smith", folder), -1);
    EXPECT_EQ(Read(folder + "Backup.Bak"), old);
    const std::string now = Read(folder + "Patient");
    ASSERT_EQ(now.size(), old.size());
    EXPECT_EQ(now.substr(0, 2), old.substr(0, 2));
    EXPECT_EQ(now.substr(2, 21), Field("Lee-Smith", 21));
    EXPECT_EQ(now.substr(23, 21), Field("Annabelle", 21));
    EXPECT_EQ(now.substr(44), old.substr(44));
}

TEST_F(PatientFileTest, ARegisteredPatientIsLeftAlone)
{
    ASSERT_EQ(patientFile.CreatePatient("1234567890", "Ann", "Lee", folder), -1);
    const std::string old = Read(folder + "Patient");
    Write("C:\\KVD\\KVDDATA.INI",
          "[Registered]\r\n1=C:\\KVD\\DATA\\999\\\r\n2=open: C:\\KVD\\DATA\\1234567890\\ since 8:00\r\n");
    EXPECT_TRUE(patientFile.IsRegistered(folder));
    EXPECT_EQ(patientFile.RewritePatientNames("1234567890", "New", "Name", folder), 0);
    EXPECT_EQ(Read(folder + "Patient"), old);
    EXPECT_FALSE(fs::exists(Host(folder + "Backup.Bak")));
}

TEST_F(PatientFileTest, AShortPatientFileTakesOnlyWhatFits)
{
    Write(folder + "Patient", std::string("\xF1\x03") + "0123456789012345678901234567");  // 30 bytes
    EXPECT_EQ(patientFile.RewritePatientNames("1", "Given", "Family", folder), -1);
    const std::string now = Read(folder + "Patient");
    ASSERT_EQ(now.size(), 30u);
    EXPECT_EQ(now.substr(2, 21), Field("Family", 21));
    EXPECT_EQ(now.substr(23), std::string("Given\0\0", 7));
}

TEST_F(PatientFileTest, WhenTheBackupCannotBeMadeThePatientFileStaysAndTheMessageSaysWhy)
{
    ASSERT_EQ(patientFile.CreatePatient("1234567890", "Ann", "Lee", folder), -1);
    const std::string old = Read(folder + "Patient");
    fs::create_directories(Host(folder) / "Backup.Bak");  // a folder in the backup's place
    patientFile.OnShowMessage = [&](const std::string& text) { messages.push_back(text); };

    EXPECT_EQ(patientFile.RewritePatientNames("1", "New", "Name", folder), 0);
    EXPECT_EQ(Read(folder + "Patient"), old);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Unable to copy " + folder + "Patient => " + folder + "Backup.Bak: ", 0), 0u)
        << messages[0];
}

TEST_F(PatientFileTest, AMissingPatientFileIsAnErrorForTheCaller)
{
    fs::create_directories(Host(folder));
    EXPECT_THROW(patientFile.RewritePatientNames("1", "A", "B", folder), EFileError);
    EXPECT_FALSE(fs::exists(Host(folder + "Backup.Bak")));
}

}  // namespace
}  // namespace halcyra
