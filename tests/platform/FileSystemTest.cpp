#include "platform/FileSystem.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace halcyra {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

void WriteBytes(const fs::path& file, std::string_view bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct FileSystemTest : ::testing::Test {
    TTempDir prefix;
    TDriveMapping drives{prefix.Path()};
    TFileSystem files{drives};
    fs::path driveC = prefix / "drive_c";
};

TEST_F(FileSystemTest, DriveCIsCreatedAsSymlinkAndOtherDrivesOnlyWhenMapped)
{
    EXPECT_TRUE(fs::is_symlink(prefix / "dosdevices" / "c:"));
    EXPECT_EQ(fs::read_symlink(prefix / "dosdevices" / "c:"), "../drive_c");
    EXPECT_TRUE(fs::is_directory(driveC));
    EXPECT_EQ(drives.ToHost("c:\\"), prefix / "dosdevices" / "c:");
    EXPECT_THROW(drives.DriveRoot('D'), EPathError);

    fs::create_directories(prefix / "elsewhere");
    fs::create_directory_symlink("../elsewhere", prefix / "dosdevices" / "d:");
    EXPECT_EQ(drives.ToHost("D:/Data/x.txt"), prefix / "dosdevices" / "d:" / "Data" / "x.txt");

    // An existing mapping is left alone.
    TDriveMapping again(prefix.Path());
    EXPECT_EQ(fs::read_symlink(prefix / "dosdevices" / "c:"), "../drive_c");
}

// The mapping of a drive is followed as it is now: one removed or pointed elsewhere while running is seen at
// the next file operation.
TEST_F(FileSystemTest, ARemovedOrRemappedDriveIsSeenAtOnce)
{
    const fs::path mapping = prefix / "dosdevices" / "d:";
    fs::create_directories(prefix / "elsewhere" / "Data");
    WriteBytes(prefix / "elsewhere" / "Data" / "x.txt", "1");
    fs::create_directory_symlink("../elsewhere", mapping);
    EXPECT_TRUE(files.FileExists("D:\\Data\\x.txt"));
    EXPECT_TRUE(files.FileExists("D:\\data\\X.TXT"));
    EXPECT_EQ(files.ExactHostPath("D:\\data\\X.TXT"), mapping / "data" / "X.TXT");
    EXPECT_EQ(files.HostPath("D:\\data\\X.TXT"), mapping / "Data" / "x.txt");

    fs::remove(mapping);
    EXPECT_THROW(files.FileExists("D:\\Data\\x.txt"), EPathError);
    EXPECT_THROW(files.HostPath("D:\\Data\\x.txt"), EPathError);
    fs::create_directories(prefix / "third");
    fs::create_directory_symlink("../third", mapping);
    EXPECT_FALSE(files.FileExists("D:\\Data\\x.txt"));
    EXPECT_EQ(files.HostPath("D:\\Data\\x.txt"), mapping / "Data" / "x.txt");
}

TEST_F(FileSystemTest, ComponentsMatchExistingEntriesWithoutRegardToCase)
{
    fs::create_directories(driveC / "KVD" / "Data" / "123456");
    WriteBytes(driveC / "KVD" / "Data" / "123456" / "Patient", "p");
    const fs::path root = prefix / "dosdevices" / "c:";

    EXPECT_EQ(drives.ToHost("C:\\kvd\\DATA\\123456\\PATIENT"), root / "KVD" / "Data" / "123456" / "Patient");
    EXPECT_EQ(drives.ToHost("c:/Kvd\\data//./123456/"), root / "KVD" / "Data" / "123456");
    EXPECT_EQ(drives.ToHost("C:\\KVD\\x\\..\\data"), root / "KVD" / "Data");
    // Missing components are taken as written, below the last existing one.
    EXPECT_EQ(drives.ToHost("C:\\kvd\\New\\Sub"), root / "KVD" / "New" / "Sub");
    // Single-byte names are UTF-8 on the host.
    EXPECT_EQ(drives.ToHost("C:\\M\xFCller"), root / "M\xC3\xBCller");
    EXPECT_TRUE(files.FileExists("c:\\kvd\\data\\123456\\patient"));
    EXPECT_FALSE(files.FileExists("C:\\KVD\\DATA\\123456"));
    EXPECT_TRUE(files.DirectoryExists("C:\\KVD\\DATA\\123456"));
    EXPECT_FALSE(files.DirectoryExists("C:\\KVD\\DATA\\123456\\Patient"));
}

TEST_F(FileSystemTest, PathsThatCannotBeMappedAreRefusedWithTheirName)
{
    fs::create_directories(driveC / "a");
    for (const std::string& bad :
         {std::string("C:\\..\\x"), std::string("C:\\a\\..\\..\\x"), std::string("C:/../../etc"),
          std::string("\\\\server\\share\\x"), std::string("//server/share"), std::string("\\\\?\\C:\\x"),
          std::string("relative\\x"), std::string("\\rooted"), std::string("C:relative"), std::string("Q:\\x"),
          std::string(""), std::string("C:\\a\0b", 7), std::string("1:\\x")}) {
        try {
            drives.ToHost(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const EPathError& error) {
            std::string shown = bad;
            std::replace(shown.begin(), shown.end(), '\0', '?');
            EXPECT_NE(std::string(error.what()).find('"' + shown + '"'), std::string::npos) << error.what();
        }
    }
    EXPECT_THROW(files.FileExists("Q:\\x"), EPathError);
    EXPECT_THROW(files.WriteFileAtomic("C:\\..\\escape", "x"), EPathError);
    EXPECT_FALSE(fs::exists(prefix / "escape"));
}

TEST_F(FileSystemTest, AtomicWriteReplacesContentAndKeepsPermissions)
{
    files.WriteFileAtomic("C:\\file.txt", "first version, long");
    fs::permissions(driveC / "file.txt", fs::perms(0640));
    files.WriteFileAtomic("C:\\FILE.TXT", "second");
    EXPECT_EQ(files.ReadFile("c:\\file.txt"), "second");
    EXPECT_EQ(fs::status(driveC / "file.txt").permissions(), fs::perms(0640));
    std::vector<std::string> names = files.ListDirectory("C:\\");
    EXPECT_EQ(names, std::vector<std::string>{"file.txt"});  // no temporary file left

    EXPECT_THROW(files.WriteFileAtomic("C:\\missing\\file.txt", "x"), EFileError);
    try {
        files.ReadFile("C:\\nothing.txt");
        ADD_FAILURE();
    } catch (const EFileError& error) {
        EXPECT_STREQ(error.what(), "Cannot read C:\\nothing.txt: No such file or directory");
    }
}

TEST_F(FileSystemTest, ReadOnlyFilesAreNeitherReplacedNorAppendedNorDeleted)
{
    files.WriteFileAtomic("C:\\ro.txt", "kept");
    EXPECT_FALSE(files.IsReadOnly("C:\\ro.txt"));
    files.SetReadOnly("C:\\ro.txt", true);
    EXPECT_TRUE(files.IsReadOnly("C:\\RO.TXT"));
    EXPECT_THROW(files.WriteFileAtomic("C:\\ro.txt", "x"), EFileError);
    EXPECT_THROW(files.AppendFile("C:\\ro.txt", "x"), EFileError);
    EXPECT_THROW(files.DeleteFile("C:\\ro.txt"), EFileError);
    EXPECT_THROW(files.CopyFile("C:\\ro.txt", "C:\\ro.txt", true), EFileError);
    EXPECT_EQ(files.ReadFile("C:\\ro.txt"), "kept");

    files.SetReadOnly("C:\\ro.txt", false);
    EXPECT_FALSE(files.IsReadOnly("C:\\ro.txt"));
    EXPECT_TRUE(files.DeleteFile("C:\\ro.txt"));
    EXPECT_FALSE(files.DeleteFile("C:\\ro.txt"));
    EXPECT_THROW(files.IsReadOnly("C:\\ro.txt"), EFileError);
}

TEST_F(FileSystemTest, AppendRenameCopyAndFolders)
{
    EXPECT_TRUE(files.ForceDirectories("C:\\KVD\\DATA\\123"));
    EXPECT_TRUE(files.ForceDirectories("c:\\kvd\\data\\123\\"));  // existing, in other letter case
    EXPECT_EQ(files.ListDirectory("C:\\kvd\\data"), std::vector<std::string>{"123"});
    EXPECT_TRUE(files.ListDirectory("C:\\none").empty());

    files.AppendFile("C:\\KVD\\DATA\\123\\Patient", "ab");
    files.AppendFile("C:\\KVD\\DATA\\123\\Patient", "cd");
    EXPECT_EQ(files.ReadFile("C:\\KVD\\DATA\\123\\Patient"), "abcd");

    files.WriteFileAtomic("C:\\KVD\\DATA\\123\\Backup.Bak", "old");
    EXPECT_THROW(files.RenameFile("C:\\KVD\\DATA\\123\\Patient", "C:\\KVD\\DATA\\123\\Backup.Bak"), EFileError);
    EXPECT_TRUE(files.DeleteFile("C:\\KVD\\DATA\\123\\backup.bak"));
    files.RenameFile("C:\\KVD\\DATA\\123\\Patient", "C:\\KVD\\DATA\\123\\Backup.Bak");
    EXPECT_FALSE(files.FileExists("C:\\KVD\\DATA\\123\\Patient"));

    files.CopyFile("C:\\KVD\\DATA\\123\\Backup.Bak", "C:\\KVD\\DATA\\123\\Patient", false);
    EXPECT_THROW(files.CopyFile("C:\\KVD\\DATA\\123\\Backup.Bak", "C:\\KVD\\DATA\\123\\Patient", false), EFileError);
    files.WriteFileAtomic("C:\\KVD\\DATA\\123\\Backup.Bak", "new");
    files.CopyFile("C:\\KVD\\DATA\\123\\Backup.Bak", "C:\\KVD\\DATA\\123\\Patient", true);
    EXPECT_EQ(files.ReadFile("C:\\KVD\\DATA\\123\\Patient"), "new");
    EXPECT_THROW(files.DeleteFile("C:\\KVD\\DATA\\123"), EFileError);
}

TEST_F(FileSystemTest, LastModifiedIsLocalTime)
{
    files.WriteFileAtomic("C:\\t.txt", "x");
    const std::time_t when = 1700000000;  // some fixed moment
    fs::last_write_time(driveC / "t.txt",
                        fs::file_time_type::clock::from_sys(std::chrono::system_clock::from_time_t(when)) +
                            std::chrono::milliseconds(250));
    EXPECT_NEAR(files.LastModified("C:\\T.TXT"), FromUnixTime(when, 250), kOneMillisecond / 2);
    EXPECT_THROW(files.LastModified("C:\\none.txt"), EFileError);
}

TEST_F(FileSystemTest, IniValuesByCaseInsensitiveSectionAndKey)
{
    fs::create_directories(driveC / "KVD");
    WriteBytes(driveC / "KVD" / "KVDDATA.INI",
               "; data manager settings\r\n"
               "[General]\r\n"
               "1=not this one\r\n"
               "[ Registered ]\r\n"
               ";1=commented out\r\n"
               "  1 =  C:\\KVD\\DATA\\123\\;C:\\KVD\\DATA\\456\\  \r\n"
               "2=\"quoted value\"\r\n"
               "Name=M\xFCller\r\n"
               "Empty=\r\n");
    const std::string ini = "C:\\kvd\\kvddata.ini";
    EXPECT_EQ(files.ReadIniString(ini, "registered", "1", "-"), "C:\\KVD\\DATA\\123\\;C:\\KVD\\DATA\\456\\");
    EXPECT_EQ(files.ReadIniString(ini, "REGISTERED", "2", "-"), "quoted value");
    EXPECT_EQ(files.ReadIniString(ini, "Registered", "name", "-"), "M\xFCller");  // single-byte file
    EXPECT_EQ(files.ReadIniString(ini, "Registered", "Empty", "-"), "");
    EXPECT_EQ(files.ReadIniString(ini, "Registered", "3", "-"), "-");
    EXPECT_EQ(files.ReadIniString(ini, "Missing", "1", "-"), "-");
    EXPECT_EQ(files.ReadIniString("C:\\KVD\\NONE.INI", "Registered", "1", "dflt"), "dflt");

    WriteBytes(driveC / "KVD" / "utf8.ini", "[S]\nName=M\xC3\xBCller\n");
    EXPECT_EQ(files.ReadIniString("C:\\KVD\\utf8.ini", "s", "NAME", ""), "M\xFCller");
}

TEST(DriveLocation, DefaultPrefixFollowsOptionThenEnvironment)
{
    const char* oldPrefix = std::getenv("HALCYRA_PREFIX");
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedPrefix = oldPrefix ? oldPrefix : "";
    const std::string savedData = oldData ? oldData : "";

    setenv("HALCYRA_PREFIX", "/p", 1);
    EXPECT_EQ(TDriveMapping::DefaultPrefix("/opt/x"), "/opt/x");
    EXPECT_EQ(TDriveMapping::DefaultPrefix(), "/p");
    unsetenv("HALCYRA_PREFIX");
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(TDriveMapping::DefaultPrefix(), "/data/halcyra");

    if (oldPrefix) setenv("HALCYRA_PREFIX", savedPrefix.c_str(), 1);
    if (oldData)
        setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace halcyra
