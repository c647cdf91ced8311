#include "platform/Registry.h"

#include "support/TempDir.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace halcyra {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

constexpr std::string_view kKey = "\\SOFTWARE\\Tovarin\\Quarzel";

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, std::string_view bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf16Le(std::string_view ascii)
{
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

struct RegistryTest : ::testing::Test {
    TTempDir dir;
    fs::path file = dir / "HKEY_CURRENT_USER.reg";
    std::vector<std::string> problems;

    std::unique_ptr<TRegistryHive> Open()
    {
        auto hive = std::make_unique<TRegistryHive>(file, THive::CurrentUser);
        hive->SetProblemSink([this](const std::string& message) { problems.push_back(message); });
        return hive;
    }
};

TEST_F(RegistryTest, TypedReadsFailOnWrongTypeOrMissingValue)
{
    auto hive = Open();
    hive->WriteString(kKey, "Text", "abc");
    hive->WriteDword(kKey, "Number", 4000000000u);

    EXPECT_EQ(hive->ReadString(kKey, "Text"), "abc");
    EXPECT_EQ(hive->ReadDword(kKey, "Number"), 4000000000u);
    EXPECT_EQ(hive->GetDataType(kKey, "Text"), TRegDataType::String);
    EXPECT_EQ(hive->GetDataType(kKey, "Number"), TRegDataType::Dword);
    EXPECT_EQ(hive->GetDataType(kKey, "Nothing"), TRegDataType::None);
    EXPECT_EQ(hive->GetDataType("\\Nowhere", "Text"), TRegDataType::None);

    EXPECT_THROW(hive->ReadDword(kKey, "Text"), ERegistryError);
    EXPECT_THROW(hive->ReadString(kKey, "Number"), ERegistryError);
    EXPECT_THROW(hive->ReadString(kKey, "Nothing"), ERegistryError);
    EXPECT_THROW(hive->ReadDword("\\Nowhere", "Number"), ERegistryError);

    // A value changes its type only by being written with the other type.
    hive->WriteDword(kKey, "Text", 5);
    EXPECT_EQ(hive->ReadDword(kKey, "Text"), 5u);
    EXPECT_THROW(hive->ReadString(kKey, "Text"), ERegistryError);
}

TEST_F(RegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    auto hive = Open();
    hive->WriteString("\\SOFTWARE\\Tovarin", "EnableLogfile", "x");
    hive->WriteDword("software\\TOVARIN\\", "ENABLELOGFILE", 1);

    EXPECT_TRUE(hive->KeyExists("Software\\tovarin"));
    EXPECT_EQ(hive->GetKeyNames(""), std::vector<std::string>{"SOFTWARE"});
    EXPECT_EQ(hive->GetKeyNames("\\software"), std::vector<std::string>{"Tovarin"});
    EXPECT_EQ(hive->GetValueNames("\\SOFTWARE\\Tovarin"), std::vector<std::string>{"EnableLogfile"});
    EXPECT_EQ(hive->ReadDword("\\SOFTWARE\\Tovarin", "enablelogfile"), 1u);
    // Only ASCII letters fold: e-acute and E-acute are different names.
    hive->WriteString(kKey, "\xE9", "small");
    hive->WriteString(kKey, "\xC9", "capital");
    EXPECT_EQ(hive->ReadString(kKey, "\xE9"), "small");
    EXPECT_EQ(hive->ReadString(kKey, "\xC9"), "capital");
}

TEST_F(RegistryTest, CreationOrderSurvivesRewriteAndReplacement)
{
    {
        auto hive = Open();
        for (const char* name : {"Zeta", "Alpha", "Mid"}) hive->WriteDword(kKey, name, 1);
        hive->CreateKey(std::string(kKey) + "\\Zsub");
        hive->CreateKey(std::string(kKey) + "\\Asub");
        hive->WriteDword(kKey, "ALPHA", 2);  // replaced where it stands
    }
    auto hive = Open();
    EXPECT_EQ(hive->GetValueNames(kKey), (std::vector<std::string>{"Zeta", "Alpha", "Mid"}));
    EXPECT_EQ(hive->GetKeyNames(kKey), (std::vector<std::string>{"Zsub", "Asub"}));
    EXPECT_EQ(hive->ReadDword(kKey, "alpha"), 2u);

    EXPECT_TRUE(hive->DeleteValue(kKey, "alpha"));
    EXPECT_FALSE(hive->DeleteValue(kKey, "alpha"));
    EXPECT_TRUE(hive->DeleteKey("\\software\\tovarin"));
    EXPECT_FALSE(hive->DeleteKey("\\software\\tovarin"));
    EXPECT_TRUE(hive->KeyExists("\\SOFTWARE"));
    EXPECT_TRUE(Open()->GetValueNames(kKey).empty());
    EXPECT_THROW(hive->DeleteKey("\\"), ERegistryError);
}

TEST_F(RegistryTest, WritesRegistryEditorFormatInUtf8)
{
    auto hive = Open();
    hive->WriteString("\\SOFTWARE\\T", "Path", "C:\\KVD\\\"DATA\"\\");
    hive->WriteDword("\\SOFTWARE\\T", "Port", 13999);
    hive->WriteString("\\SOFTWARE\\T", "", "default");
    hive->WriteString("\\SOFTWARE\\T", "Name", "M\xFCller \x80");
    hive->WriteString("\\SOFTWARE\\T\\Lines", "Two", "a\r\nb");
    hive->CreateKey("\\SOFTWARE\\T\\Empty");

    EXPECT_EQ(ReadBytes(file),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_CURRENT_USER\\SOFTWARE]\n"
              "\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\T]\n"
              "\"Path\"=\"C:\\\\KVD\\\\\\\"DATA\\\"\\\\\"\n"
              "\"Port\"=dword:000036af\n"
              "@=\"default\"\n"
              "\"Name\"=\"M\xC3\xBCller \xE2\x82\xAC\"\n"
              "\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\T\\Lines]\n"
              "\"Two\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\n"
              "\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\T\\Empty]\n"
              "\n");
    auto again = Open();
    EXPECT_EQ(again->ReadString("\\SOFTWARE\\T", "Path"), "C:\\KVD\\\"DATA\"\\");
    EXPECT_EQ(again->ReadString("\\SOFTWARE\\T", "name"), "M\xFCller \x80");
    EXPECT_EQ(again->ReadString("\\SOFTWARE\\T\\Lines", "Two"), "a\r\nb");
    EXPECT_EQ(again->ReadString("\\SOFTWARE\\T", ""), "default");
    EXPECT_TRUE(problems.empty());
}

TEST_F(RegistryTest, ReadsHandWrittenFilesAndKeepsWhatItDoesNotUnderstand)
{
    // As this writer wraps long data, so that the rewritten line can be compared byte for byte.
    const std::string multiString =
        "\"Multi\"=hex(7):41,00,00,00,42,00,00,00,43,00,00,00,44,00,00,00,45,00,00,00,46,\\\n"
        "  00,00,00,47,00,00,00\n";
    WriteBytes(file,
               "REGEDIT4\n"
               "; a comment\n"
               "[HKEY_CURRENT_USER\\Software\\A]\n"
               "\"Bin\"=hex:01,02,FF\n" +
                   multiString +
                   "\"Hand\"=\"C:\\TEMP\"\n"
                   "\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\n"
                   "\"Gone\"=\"x\"\n"
                   "\"Gone\"=-\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\Other]\n"
                   "\"Kept\"=dword:00000001\n"
                   "[HKEY_CURRENT_USER\\Software\\A]\n"
                   "\"Second\"=dword:0000000A\n"
                   "[HKEY_CURRENT_USER\\Software\\Doomed\\Child]\n"
                   "[-HKEY_CURRENT_USER\\Software\\Doomed]\n");
    auto hive = Open();
    EXPECT_EQ(hive->GetValueNames("\\Software\\A"),
              (std::vector<std::string>{"Bin", "Multi", "Hand", "Expand", "Second"}));
    EXPECT_EQ(hive->GetDataType("\\Software\\A", "Bin"), TRegDataType::Other);
    EXPECT_EQ(hive->GetDataType("\\Software\\A", "Multi"), TRegDataType::Other);
    EXPECT_THROW(hive->ReadString("\\Software\\A", "Bin"), ERegistryError);
    EXPECT_EQ(hive->ReadString("\\Software\\A", "Hand"), "C:\\TEMP");
    EXPECT_EQ(hive->GetDataType("\\Software\\A", "Expand"), TRegDataType::ExpandString);
    EXPECT_EQ(hive->ReadString("\\Software\\A", "Expand"), "%TMP%");  // unexpanded, as on Windows
    EXPECT_EQ(hive->ReadDword("\\Software\\A", "Second"), 10u);
    EXPECT_FALSE(hive->KeyExists("\\Software\\Doomed"));
    EXPECT_FALSE(hive->KeyExists("\\Software\\Other"));
    ASSERT_EQ(problems.size(), 1u);  // the other hive's section
    EXPECT_NE(problems[0].find("HKEY_LOCAL_MACHINE\\Software\\Other"), std::string::npos);

    hive->WriteDword("\\Software\\A", "New", 1);
    const std::string written = ReadBytes(file);
    EXPECT_NE(written.find("\"Bin\"=hex:01,02,ff\n"), std::string::npos) << written;
    EXPECT_NE(written.find(multiString), std::string::npos) << written;
    EXPECT_NE(written.find("\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\n"), std::string::npos);
    EXPECT_NE(written.find("[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"Kept\"=dword:00000001\n"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".damaged"), std::string::npos);  // nothing was lost
}

TEST_F(RegistryTest, LoadsWindowsExportInUtf16WithCrLf)
{
    std::string bytes = "\xFF\xFE";
    bytes += Utf16Le(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Tovarin\\Quarzel]\r\n"
        "\"Interval\"=dword:0000001e\r\n"
        "\"Folder\"=\"C:\\\\KVD\\\\DATA\\\\\"\r\n"
        "\"Name\"=\"Caf");
    bytes += std::string("\xE9\x00\xAC\x20", 4);  // e-acute, euro sign
    bytes += Utf16Le("\"\r\n\r\n");
    WriteBytes(file, bytes);

    auto hive = Open();
    EXPECT_EQ(hive->ReadDword(kKey, "Interval"), 30u);
    EXPECT_EQ(hive->ReadString(kKey, "Folder"), "C:\\KVD\\DATA\\");
    EXPECT_EQ(hive->ReadString(kKey, "Name"), "Caf\xE9\x80");
    EXPECT_TRUE(problems.empty());

    hive->WriteDword(kKey, "Interval", 10);  // rewritten as UTF-8, nothing lost
    auto again = Open();
    EXPECT_EQ(again->ReadString(kKey, "Name"), "Caf\xE9\x80");
    EXPECT_EQ(ReadBytes(file).find('\r'), std::string::npos);
}

TEST_F(RegistryTest, WriteInterruptedBeforeRenameLeavesOldFileWhole)
{
    auto hive = Open();
    hive->WriteString(kKey, "Kept", "old");
    const std::string before = ReadBytes(file);

    hive->SetBeforeReplaceHook([](const fs::path&) { throw std::runtime_error("crash"); });
    EXPECT_THROW(hive->WriteString(kKey, "Lost", "new"), std::runtime_error);

    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_FALSE(hive->ValueExists(kKey, "Lost"));  // memory does not pretend either
    EXPECT_FALSE(Open()->ValueExists(kKey, "Lost"));
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().extension(), entry.path() == file ? ".reg" : ".lock") << entry.path();

    hive->SetBeforeReplaceHook({});
    hive->WriteString(kKey, "Lost", "new");
    EXPECT_EQ(Open()->ReadString(kKey, "Lost"), "new");
}

TEST_F(RegistryTest, TwoProcessesWritingTheSameHiveKeepEachOthersValues)
{
    constexpr int kWrites = 25;
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int status = 0;
            try {
                TRegistryHive hive(file, THive::CurrentUser);
                for (int i = 0; i < kWrites; ++i)
                    hive.WriteDword(kKey, "P" + std::to_string(child) + "_" + std::to_string(i),
                                    static_cast<std::uint32_t>(i));
            } catch (...) {
                status = 1;
            }
            _exit(status);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto hive = Open();
    EXPECT_EQ(hive->GetValueNames(kKey).size(), 2u * kWrites);
    for (int child = 0; child < 2; ++child)
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(hive->ReadDword(kKey, "P" + std::to_string(child) + "_" + std::to_string(i)),
                      static_cast<std::uint32_t>(i));
}

TEST_F(RegistryTest, SeesChangesOfAnotherWriterAndNeverUndoesThem)
{
    auto first = Open();
    auto second = Open();
    first->WriteString(kKey, "A", "1");
    EXPECT_EQ(second->ReadString(kKey, "A"), "1");
    second->WriteString(kKey, "B", "2");  // second's view of the file is older than first's next write
    first->WriteString(kKey, "C", "3");
    EXPECT_EQ(second->GetValueNames(kKey), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(first->ReadString(kKey, "B"), "2");

    // A hand edit in place, of the same size, is seen by its modification time.
    std::string text = ReadBytes(file);
    text.replace(text.find("\"3\""), 3, "\"4\"");
    const auto written = fs::last_write_time(file);
    WriteBytes(file, text);
    fs::last_write_time(file, written + std::chrono::seconds(1));
    EXPECT_EQ(first->ReadString(kKey, "C"), "4");
    fs::remove(file);
    EXPECT_FALSE(first->KeyExists(kKey));
}

TEST_F(RegistryTest, WriteOfTheStoredValueLeavesTheFileAlone)
{
    auto hive = Open();
    hive->WriteString(kKey, "DebugFolder", "C:\\TEMP\\");
    hive->WriteDword(kKey, "EnableLogfile", 1);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    const std::string bytes = ReadBytes(file);

    // Same value and type, also under another spelling of the name: not rewritten (the inode stays).
    hive->WriteString(kKey, "DEBUGFOLDER", "C:\\TEMP\\");
    hive->WriteDword(kKey, "enablelogfile", 1);
    Open()->WriteDword(kKey, "EnableLogfile", 1);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(ReadBytes(file), bytes);

    // Another value or another type is a change.
    const struct {
        const char* what;
        std::function<void()> write;
    } changes[] = {
        {"value", [&] { hive->WriteDword(kKey, "EnableLogfile", 0); }},
        {"type", [&] { hive->WriteString(kKey, "EnableLogfile", "0"); }},
        {"new key", [&] { hive->WriteString(std::string(kKey) + "\\Sub", "DebugFolder", "C:\\TEMP\\"); }},
    };
    for (const auto& change : changes) {
        ASSERT_EQ(::stat(file.c_str(), &before), 0);
        change.write();
        ASSERT_EQ(::stat(file.c_str(), &after), 0);
        EXPECT_NE(after.st_ino, before.st_ino) << change.what;
    }
    EXPECT_EQ(Open()->ReadString(kKey, "EnableLogfile"), "0");
}

TEST_F(RegistryTest, ValueChangesOfOneKeyAreWrittenInOneReplaceKeepingOtherWritersValues)
{
    auto hive = Open();
    hive->WriteString(kKey, "Patient1", "old 1");
    hive->WriteString(kKey, "Patient2", "old 2");
    hive->WriteString(kKey, "Patient3", "old 3");
    auto other = Open();
    other->WriteDword(kKey, "Theirs", 7);  // after `hive` last saw the file
    int replaces = 0;
    hive->SetBeforeReplaceHook([&](const fs::path&) { ++replaces; });

    TRegValueChanges changes;
    changes.WriteString("patient2", "new 2");  // in place, under its first spelling
    changes.WriteString("Patient4", "new 4");
    changes.WriteDword("Count", 4);
    changes.DeleteValue("Patient1");
    changes.DeleteValue("Absent");
    EXPECT_TRUE(hive->WriteValues(kKey, changes));
    EXPECT_EQ(replaces, 1);
    auto fresh = Open();
    EXPECT_EQ(fresh->GetValueNames(kKey),
              (std::vector<std::string>{"Patient2", "Patient3", "Theirs", "Patient4", "Count"}));
    EXPECT_EQ(fresh->ReadString(kKey, "Patient2"), "new 2");
    EXPECT_EQ(fresh->ReadDword(kKey, "Theirs"), 7u);
    EXPECT_EQ(fresh->ReadDword(kKey, "Count"), 4u);

    // What is stored already takes no write at all.
    const std::string bytes = ReadBytes(file);
    EXPECT_FALSE(hive->WriteValues(kKey, changes));
    EXPECT_FALSE(hive->WriteValues(kKey, {}));
    EXPECT_EQ(replaces, 1);
    EXPECT_EQ(ReadBytes(file), bytes);

    // A key that is missing is created for a write, and left missing by deletes alone.
    TRegValueChanges deletes;
    deletes.DeleteValue("X");
    EXPECT_FALSE(hive->WriteValues(std::string(kKey) + "\\Missing", deletes));
    EXPECT_FALSE(hive->KeyExists(std::string(kKey) + "\\Missing"));
    TRegValueChanges write;
    write.WriteString("X", "1");
    EXPECT_TRUE(hive->WriteValues(std::string(kKey) + "\\New", write));
    EXPECT_EQ(Open()->ReadString(std::string(kKey) + "\\New", "X"), "1");
}

TEST_F(RegistryTest, ValueChangesAreAllOrNothing)
{
    auto hive = Open();
    hive->WriteString(kKey, "Patient1", "old");
    const std::string before = ReadBytes(file);

    // Refused before anything is written: a NUL in a text, a line break in a name.
    const struct {
        const char* what;
        std::function<void(TRegValueChanges&)> bad;
    } refused[] = {
        {"NUL", [](TRegValueChanges& c) { c.WriteString("Patient2", std::string("a\0b", 3)); }},
        {"name", [](TRegValueChanges& c) { c.WriteString("Patient\n2", "b"); }},
    };
    for (const auto& c : refused) {
        TRegValueChanges changes;
        changes.WriteString("Patient1", "new");
        c.bad(changes);
        EXPECT_THROW(hive->WriteValues(kKey, changes), ERegistryError) << c.what;
        EXPECT_EQ(ReadBytes(file), before) << c.what;
    }

    // A write that breaks off before the file is replaced leaves every value as it was.
    hive->SetBeforeReplaceHook([](const fs::path&) { throw std::runtime_error("crash"); });
    TRegValueChanges changes;
    changes.WriteString("Patient1", "new");
    changes.WriteString("Patient2", "new");
    changes.DeleteValue("Patient1");
    EXPECT_THROW(hive->WriteValues(kKey, changes), std::runtime_error);
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(hive->ReadString(kKey, "Patient1"), "old");
    EXPECT_FALSE(hive->ValueExists(kKey, "Patient2"));
}

TEST_F(RegistryTest, LargeHivesReadAndWriteWhole)
{
    // Many values in one key, many keys under one key: every one is found, and a write keeps them all.
    constexpr int kCount = 20000;
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Many]\n";
    for (int i = 0; i < kCount; ++i) text += "\"V" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\n";
    for (int i = 0; i < kCount; ++i) text += "\n[HKEY_CURRENT_USER\\Keys\\K" + std::to_string(i) + "]\n";
    WriteBytes(file, text);
    auto hive = Open();
    EXPECT_EQ(hive->GetValueNames("Many").size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(hive->ReadDword("Many", "v19999"), 9u);
    EXPECT_EQ(hive->GetKeyNames("Keys").size(), static_cast<std::size_t>(kCount));
    hive->WriteDword("Many", "V5", 7);
    auto again = Open();
    EXPECT_EQ(again->ReadDword("Many", "V5"), 7u);
    EXPECT_EQ(again->GetValueNames("Many").size(), static_cast<std::size_t>(kCount));
    EXPECT_TRUE(again->KeyExists("Keys\\K19999"));
    EXPECT_TRUE(problems.empty());
}

TEST_F(RegistryTest, KeyTooDeepIsReportedAndLeftOutNotACrash)
{
    // A key 100,000 levels deep would exhaust the stack of a recursive copy or write, and a hive of
    // such paths grows with the square of the depth when written.
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 100000; ++i) deep += "\\a";
    WriteBytes(file, "Windows Registry Editor Version 5.00\n\n" + deep + "]\n\"X\"=dword:00000001\n\n" +
                         "[HKEY_CURRENT_USER\\Kept]\n\"Y\"=\"y\"\n");
    auto hive = Open();
    EXPECT_EQ(hive->ReadString("Kept", "Y"), "y");
    EXPECT_FALSE(hive->KeyExists("a"));
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems[0].find("deeper than 512 levels"), std::string::npos) << problems[0];
    // Writing keeps a copy of what was left out, and the rest.
    hive->WriteDword("Kept", "Z", 2);
    EXPECT_EQ(Open()->ReadString("Kept", "Y"), "y");
    std::size_t copies = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        copies += entry.path().filename().string().find(".damaged-") != std::string::npos;
    EXPECT_EQ(copies, 1u);

    // The deepest key the hive takes is still written and read back; one level more is refused.
    std::string path;
    for (int i = 0; i < 512; ++i) path += "\\d";
    hive->WriteDword(path, "Deep", 3);
    EXPECT_EQ(Open()->ReadDword(path, "Deep"), 3u);
    EXPECT_THROW(hive->CreateKey(path + "\\d"), ERegistryError);
    EXPECT_THROW(hive->WriteDword(path + "\\d", "Deeper", 4), ERegistryError);
    EXPECT_FALSE(hive->KeyExists(path + "\\d"));
}

TEST(RegistryMessages, HostPathsAreShownAsSingleByteText)
{
    // Messages go to the log as single-byte text: a UTF-8 host path taken over unconverted would show
    // as two characters per letter.
    TTempDir dir;
    const fs::path folder = dir / "\xC3\x84rzte";
    fs::create_directories(folder);
    WriteBytes(folder / "HKEY_CURRENT_USER.reg", std::string("\x00garbage", 8));
    TRegistryHive hive(folder / "HKEY_CURRENT_USER.reg", THive::CurrentUser);
    std::vector<std::string> problems;
    hive.SetProblemSink([&](const std::string& message) { problems.push_back(message); });
    EXPECT_FALSE(hive.KeyExists(kKey));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("\xC4rzte"
                               "/HKEY_CURRENT_USER.reg"),
              std::string::npos)
        << problems[0];
    EXPECT_EQ(problems[0].find("\xC3\x84"), std::string::npos) << problems[0];
}

TEST_F(RegistryTest, DamagedFileReadsEmptyAndIsKeptBeforeBeingReplaced)
{
    const std::string garbage = std::string("\x00\x01garbage[HKEY", 13);
    WriteBytes(file, garbage);
    auto hive = Open();
    EXPECT_FALSE(hive->KeyExists(kKey));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("damaged"), std::string::npos);
    EXPECT_FALSE(hive->KeyExists(kKey));
    EXPECT_EQ(problems.size(), 1u);  // reported once per version of the file

    hive->WriteDword(kKey, "New", 1);
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().filename().string().starts_with("HKEY_CURRENT_USER.reg.damaged-"))
            copies.push_back(entry.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadBytes(copies[0]), garbage);
    EXPECT_EQ(Open()->ReadDword(kKey, "New"), 1u);

    hive->WriteDword(kKey, "Newer", 2);  // the replaced file was sound: no second copy
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        count += entry.path().filename().string().find(".damaged-") != std::string::npos;
    EXPECT_EQ(count, 1u);
}

TEST_F(RegistryTest, UnreadableLinesAreReportedSkippedAndKeptInACopy)
{
    const std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Tovarin\\Quarzel]\n"
        "\"Good\"=dword:00000002\n"
        "\"Bad\"=dword:xyz\n"
        "stray text\n"
        "\"Also\"=\"fine\"\n";
    WriteBytes(file, text);
    auto hive = Open();
    EXPECT_EQ(hive->GetValueNames(kKey), (std::vector<std::string>{"Good", "Also"}));
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("line 5"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("line 6"), std::string::npos) << problems[1];

    hive->WriteDword(kKey, "Good", 3);
    bool copied = false;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            copied = ReadBytes(entry.path()) == text;
    EXPECT_TRUE(copied);
}

TEST_F(RegistryTest, UnwritableHiveFailsTheWriteAndChangesNothing)
{
    auto hive = Open();
    hive->WriteString(kKey, "Kept", "old");
    const std::string before = ReadBytes(file);

    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_THROW(hive->WriteString(kKey, "Kept", "new"), ERegistryError);
    EXPECT_THROW(hive->CreateKey("\\Other"), ERegistryError);
    EXPECT_EQ(hive->ReadString(kKey, "Kept"), "old");
    EXPECT_EQ(ReadBytes(file), before);

    // A folder that cannot exist: the hive's folder would be a file.
    WriteBytes(dir / "plain", "x");
    TRegistryHive nowhere(dir / "plain" / "HKEY_LOCAL_MACHINE.reg", THive::LocalMachine);
    EXPECT_FALSE(nowhere.KeyExists(kKey));
    EXPECT_THROW(nowhere.WriteDword(kKey, "V", 1), ERegistryError);
    EXPECT_FALSE(nowhere.ValueExists(kKey, "V"));
}

TEST_F(RegistryTest, FolderWithoutWritePermissionFailsTheWrite)
{
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    const fs::path locked = dir / "etc";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    TRegistryHive hive(locked / "HKEY_LOCAL_MACHINE.reg", THive::LocalMachine);
    EXPECT_THROW(hive.WriteString(kKey, "HKEY", "LOCAL_MACHINE"), ERegistryError);
    EXPECT_FALSE(hive.ValueExists(kKey, "HKEY"));
}

TEST_F(RegistryTest, MissingFolderIsCreatedAndRegistryFilesAreNamedAfterTheirHives)
{
    auto registry = TRegistry::InDirectory(dir / "new" / "folder");
    registry->LocalMachine().WriteString(kKey, "HKEY", "LOCAL_MACHINE");
    registry->CurrentUser().WriteDword(kKey, "Interval", 10);
    EXPECT_TRUE(fs::exists(dir / "new" / "folder" / "HKEY_LOCAL_MACHINE.reg"));
    EXPECT_NE(ReadBytes(dir / "new" / "folder" / "HKEY_CURRENT_USER.reg").find("[HKEY_CURRENT_USER\\SOFTWARE"),
              std::string::npos);
    EXPECT_FALSE(registry->CurrentUser().ValueExists(kKey, "HKEY"));
    EXPECT_EQ(&registry->Hive(THive::LocalMachine), &registry->LocalMachine());
}

TEST(RegistryLocation, ProgramRegistryFollowsOptionThenEnvironment)
{
    const auto set = [](const char* name, const char* value) {
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    const char* oldRegistry = std::getenv("HALCYRA_REGISTRY");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedRegistry = oldRegistry ? oldRegistry : "";
    const std::string savedConfig = oldConfig ? oldConfig : "";

    set("HALCYRA_REGISTRY", "/r");
    EXPECT_EQ(TRegistry::ForProgram("/opt")->CurrentUser().File(), "/opt/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(TRegistry::ForProgram()->LocalMachine().File(), "/r/HKEY_LOCAL_MACHINE.reg");
    set("HALCYRA_REGISTRY", nullptr);
    set("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(TRegistry::ForProgram()->CurrentUser().File(), "/cfg/halcyra/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(TRegistry::ForProgram()->LocalMachine().File(), "/etc/halcyra/HKEY_LOCAL_MACHINE.reg");

    set("HALCYRA_REGISTRY", oldRegistry ? savedRegistry.c_str() : nullptr);
    set("XDG_CONFIG_HOME", oldConfig ? savedConfig.c_str() : nullptr);
}

}  // namespace
}  // namespace halcyra
