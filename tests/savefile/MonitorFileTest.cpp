#include "Bytes.h"
#include "savefile/MemorySaveFileIo.h"
#include "savefile/MonitorCheck.h"
#include "savefile/SaveITNew.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace halcyra {
namespace {

using test::TBytes;

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// The declaration folding as the layout prescribes it.
std::string Declaration(std::int32_t index, const std::string& name, const std::string& unit)
{
    TBytes content;
    content.Int(211, index).Str(212, name).Str(213, "").Str(214, "").Str(215, unit).Str(216, "");
    return TBytes().Wrap(210, content);
}

// A checksummed save file of monitor data: the header, the file type, then what `rest` writes.
std::string ChecksummedMonitorFile(const std::function<void(TMicroWriter&)>& rest)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.SetChecksumEnabled(true);
    writer.WriteHeader();
    writer.BeginFolding(3);
    writer.WriteInteger(2, 8);
    writer.EndFolding();
    rest(writer);
    writer.EndFolding();
    return out.TakeBytes();
}

class MonitorFile : public ::testing::Test {
protected:
    test::TTempDir dir;
    std::filesystem::path file = dir / "Halcyra.pil";
    TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
    std::vector<std::string> log;

    void SetUp() override
    {
        saveIt.SetFileName(file);
        saveIt.OnLog = [this](const std::string& line) { log.push_back(line); };
    }
    void Create() { saveIt.OpenOrCreate("Halcyra", "", "123456", "Ann Smith", false); }
};

TEST_F(MonitorFile, NewFileMatchesTheHandBuiltLayout)
{
    std::vector<std::filesystem::path> created;
    saveIt.OnFileStructureChanged = [&](const std::filesystem::path& name) { created.push_back(name); };
    Create();
    EXPECT_EQ(ReadFile(file), test::HandBuiltNewMonitorFile());
    EXPECT_EQ(created, std::vector<std::filesystem::path>{file});
    // Opening it again checks it and creates nothing.
    Create();
    EXPECT_EQ(created.size(), 1u);
    ASSERT_NE(saveIt.MonitorInfo(), nullptr);
    EXPECT_EQ(saveIt.MonitorInfo()->PatientName, "Ann Smith");
}

TEST_F(MonitorFile, DeclarationsFillTheReservedAreaThenGrowItKeepingThePoints)
{
    Create();
    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    std::string bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 666u);
    EXPECT_EQ(bytes.substr(158, 85), Declaration(0, "HR", "bpm"));
    EXPECT_EQ(test::I32At(bytes, 243), 205);
    EXPECT_EQ(test::I32At(bytes, 247), 415);

    for (std::uint16_t i = 1; i < 5; ++i) saveIt.AddParameterSerie(i, "P" + std::to_string(i), "", "", "", "u/l");
    ASSERT_EQ(ReadFile(file).size(), 666u);
    EXPECT_EQ(test::I32At(ReadFile(file), 158 + 5 * 85 + 4), 75);

    ASSERT_TRUE(saveIt.AddValuePoint(0, 45000.5, 72.0));
    ASSERT_TRUE(saveIt.AddValuePoint(4, 45000.5, 1.25));
    ASSERT_TRUE(saveIt.AddDelimiterPoint(0, 0, 45000.75));
    const std::string points = ReadFile(file).substr(666);
    ASSERT_EQ(points.size(), 3u * 26);

    saveIt.AddParameterSerie(5, "SpO2", "", "", "", "%");
    bytes = ReadFile(file);
    EXPECT_EQ(test::I32At(bytes, 668), 205);
    EXPECT_EQ(test::I32At(bytes, 672), 583);
    EXPECT_EQ(bytes.size(), 668u + 8 + 583 + points.size());
    EXPECT_EQ(bytes.substr(bytes.size() - points.size()), points);

    saveIt.DropFileCache();
    saveIt.ReloadStructure();
    const auto series = saveIt.ParameterSeries();
    ASSERT_EQ(series.size(), 6u);
    EXPECT_EQ(series[5]->Info.ParameterName(), "SpO2");
    ASSERT_NE(series[0]->Serie, nullptr);
    EXPECT_EQ(series[0]->Serie->DataSet().Points().at(0)->YValue, 72.0);
    EXPECT_EQ(series[0]->Serie->DataSet().ControlPoints().at(0)->XValue, 45000.75);
    EXPECT_EQ(series[4]->Serie->DataSet().Points().at(0)->YValue, 1.25);
    EXPECT_EQ(series[5]->Serie, nullptr);
    EXPECT_TRUE(CheckMonitorFile(bytes).empty());
}

TEST_F(MonitorFile, DeclarationExactlyAsLargeAsTheReservedAreaGrows)
{
    saveIt.SetMinimumReservedSpaceForMonitorParameters(85);
    Create();
    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(test::I32At(bytes, 243), 205);
    EXPECT_EQ(test::I32At(bytes, 247), 158);  // max(85, offset of the old reserved area)
    EXPECT_EQ(bytes.size(), 243u + 8 + 158);
}

// Memory files that count their whole-file replacements and appends.
class TCountingMemoryIo final : public TMemorySaveFileIo {
public:
    void Update(const std::filesystem::path& path, const std::function<std::string(std::string current)>& rewrite,
                TUpdateStamps* stamps) override
    {
        ++updates;
        TMemorySaveFileIo::Update(path, rewrite, stamps);
    }
    void Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check,
                TFileStamp* after) override
    {
        ++appends;
        TMemorySaveFileIo::Append(path, bytes, check, after);
    }
    int updates = 0;
    int appends = 0;
};

// Several series declared at once: one replacement of the file, which then holds exactly what declaring
// them one by one gives, whether they fit the reserved area, grow it once or several times, behind points
// and a record cut short. Value points declared with them go in with the same replacement, as appending
// them one by one afterwards would leave them.
TEST(MonitorFileDeclarations, ManyAtOnceGiveTheBytesOfOneByOneInOneRewrite)
{
    struct TCase {
        const char* what;
        std::int32_t reserve;
        int count;
        bool points;
    };
    const TCase cases[] = {
        {"in place", 500, 4, false},
        {"growing once", 500, 8, true},
        {"growing several times", 40, 60, true},
        {"no reserve at all", 0, 5, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TSeriesDeclaration> declarations;
        for (int i = 0; i < c.count; ++i)
            declarations.push_back({static_cast<std::uint16_t>(i), "Param" + std::to_string(i * 37),
                                    i % 3 == 0 ? "arm" : "", "", "", i % 2 == 0 ? "mmHg" : ""});
        std::string files[2];
        for (const bool atOnce : {false, true}) {
            auto io = std::make_shared<TCountingMemoryIo>();
            TSaveItNew saveIt(io);
            saveIt.SetFileName("Halcyra.pil");
            saveIt.SetMinimumReservedSpaceForMonitorParameters(c.reserve);
            saveIt.OpenOrCreate("Halcyra", "", "123456", "Ann Smith", false);
            if (c.points) {
                ASSERT_TRUE(saveIt.AddValuePoint(0, 45000.5, 72.0));
                ASSERT_TRUE(saveIt.AddDelimiterPoint(0, 0, 45000.75));
                io->Files["Halcyra.pil"] += TBytes().Record(220, 0, 45001.0, 1.0).Str().substr(0, 11);
            }
            const std::vector<TValueRecord> values = {{0, 45002.0, 60.0}, {1, 45002.0, 61.0}, {0, 45003.0, 62.0}};
            const int appends = io->appends;
            if (atOnce) {
                EXPECT_TRUE(saveIt.AddValuePoints(declarations, values));
                EXPECT_EQ(io->updates, 1);
                EXPECT_EQ(io->appends, appends);
            } else {
                for (const TSeriesDeclaration& d : declarations)
                    saveIt.AddParameterSerie(d.index, d.parameterName, d.measurementPlace, d.paramExtraName,
                                             d.parameterId, d.unitName);
                for (const TValueRecord& v : values) ASSERT_TRUE(saveIt.AddValuePoint(v.index, v.time, v.value));
            }
            files[atOnce ? 1 : 0] = io->Files["Halcyra.pil"];
        }
        EXPECT_EQ(files[1], files[0]);
        EXPECT_EQ(CheckMonitorFile(files[1]), std::vector<std::string>{});
    }
}

TEST_F(MonitorFile, ExistingFileIsCheckedAgainstTheMonitorInformation)
{
    Create();
    struct TCase {
        std::string kind, qualifier, id, name;
        bool compareAll;
        bool ok;
    };
    for (const TCase& c : std::vector<TCase>{{"Halcyra", "", "123456", "Ann Smyth", false, true},
                                             {"Halcyra", "", "123456", "Ann Smyth", true, false},
                                             {"Halcyra", "", "123456", "Ann Smith", true, true},
                                             {"Halcyra", "", "654321", "Ann Smith", false, false},
                                             {"halcyra", "", "123456", "Ann Smith", false, false},
                                             {"Halcyra", "x", "123456", "Ann Smith", false, false}}) {
        if (c.ok)
            EXPECT_NO_THROW(saveIt.OpenOrCreate(c.kind, c.qualifier, c.id, c.name, c.compareAll)) << c.kind << c.id;
        else
            EXPECT_THROW(saveIt.OpenOrCreate(c.kind, c.qualifier, c.id, c.name, c.compareAll), ETovError)
                << c.kind << c.id << c.name;
    }
    try {
        saveIt.OpenOrCreate("Halcyra", "", "654321", "Bob", false);
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Exception:The existing file does not match!\r\nHalcyra - Halcyra\r\n - \r\n123456 - 654321\r\n"
                  "Ann Smith - Bob");
    }
}

TEST_F(MonitorFile, ExistingFilesOfAnotherKind)
{
    const auto expectError = [&](const std::string& bytes, const std::string& message) {
        WriteFile(file, bytes);
        try {
            Create();
            FAIL() << "no exception for " << message;
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    };
    TBytes otherType;
    otherType.I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0").Wrap(3, TBytes().Int(2, 1));
    expectError(otherType, "Exception:Incorrect filetype");
    TBytes noInfo;
    noInfo.I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0").Wrap(3, TBytes().Int(2, 8)).I32(205).I32(0);
    expectError(noInfo, "Exception:No MonitorInfo!");
    expectError(TBytes().Str(1, "Hello").Zeros(8), "Exception:Not a valid tov-file");
}

TEST_F(MonitorFile, FileWithoutReservedAreaIsNotDeclaredIntoAndStaysUntouched)
{
    std::string bytes = test::HandBuiltNewMonitorFile().substr(0, 158) + TBytes().Record(220, 0, 1.0, 2.0).Str();
    WriteFile(file, bytes);
    try {
        saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_STREQ(e.what(), "Exception:The file has no reserved area for parameter declarations");
    }
    EXPECT_EQ(ReadFile(file), bytes);
    // A reserved area that claims more bytes than the file holds is refused the same way.
    bytes = test::HandBuiltNewMonitorFile().substr(0, 600);
    WriteFile(file, bytes);
    EXPECT_THROW(saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm"), ETovError);
    EXPECT_EQ(ReadFile(file), bytes);
}

// Stands for a crash once the new content is complete on disk but before it replaces the file.
class TCrashBeforeReplace : public TPosixSaveFileIo {
public:
    std::string temporaryContent;
    std::string targetContent;

protected:
    void BeforeReplace(const std::filesystem::path& temporary, const std::filesystem::path& target) override
    {
        temporaryContent = ReadFile(temporary);
        targetContent = ReadFile(target);
        throw std::runtime_error("crash");
    }
};

TEST_F(MonitorFile, RewriteReplacesTheFileAtomically)
{
    Create();
    const std::string before = ReadFile(file);
    auto io = std::make_shared<TCrashBeforeReplace>();
    TSaveItNew crashing(io);
    crashing.SetFileName(file);
    EXPECT_THROW(crashing.AddParameterSerie(0, "HR", "", "", "", "bpm"), std::runtime_error);
    EXPECT_EQ(io->targetContent, before);
    EXPECT_EQ(io->temporaryContent.size(), 666u);
    EXPECT_EQ(io->temporaryContent.substr(158, 85), Declaration(0, "HR", "bpm"));
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);

    // The replacement keeps the file's permissions.
    using std::filesystem::perms;
    std::filesystem::permissions(file, perms::owner_read | perms::owner_write | perms::group_read);
    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    EXPECT_EQ(std::filesystem::status(file).permissions(), perms::owner_read | perms::owner_write | perms::group_read);
    EXPECT_EQ(ReadFile(file).substr(158, 85), Declaration(0, "HR", "bpm"));
}

TEST_F(MonitorFile, FailedAppendsAreLoggedNotRaised)
{
    // Missing file: the value is not written into a stray file without header.
    EXPECT_FALSE(saveIt.AddValuePoint(0, 1.0, 2.0));
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("Could not append a value to " + file.string()), std::string::npos) << log[0];
    // The log is single-byte text: a host path in it is converted.
    const std::filesystem::path folder = dir / "\xC3\x84rzte";
    std::filesystem::create_directory(folder);
    saveIt.SetFileName(folder / "Halcyra.pil");
    EXPECT_FALSE(saveIt.AddValuePoint(0, 1.0, 2.0));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("/\xC4rzte/Halcyra.pil: "), std::string::npos) << log[1];
    log.clear();
    saveIt.SetFileName(file);

    // Another writer holds the file: appends fail as under deny-write sharing.
    Create();
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(saveIt.AddDelimiterPoint(0, 0, 1.0));
    EXPECT_THROW(saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm"), ESaveFileIoError);
    ::close(fd);
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(ReadFile(file).size(), 666u);
    EXPECT_TRUE(saveIt.AddDelimiterPoint(0, 0, 1.0));

    // A failing device (through the seam).
    auto io = std::make_shared<TMemorySaveFileIo>();
    io->Files["f.pil"] = "x";
    io->FailAppends = true;
    TSaveItNew memory(io);
    memory.SetFileName("f.pil");
    std::string line;
    memory.OnLog = [&](const std::string& l) { line = l; };
    EXPECT_NO_THROW(EXPECT_FALSE(memory.AddValuePoint(0, 1.0, 2.0)));
    EXPECT_NE(line.find("No space left on device"), std::string::npos);
    EXPECT_EQ(io->Files["f.pil"], "x");
}

// A message's points for a file of known series: one append of all of them, the bytes one-by-one appends
// give; when it fails, none of them and one log line.
TEST(MonitorFilePoints, SeveralPointsGoInWithOneAppendOrNotAtAll)
{
    const std::vector<TValueRecord> values = {{0, 45000.0, 60.0}, {1, 45000.0, 97.0}, {0, 45001.0, 61.0}};
    std::string files[2];
    for (const bool atOnce : {false, true}) {
        auto io = std::make_shared<TCountingMemoryIo>();
        TSaveItNew saveIt(io);
        std::vector<std::string> log;
        saveIt.OnLog = [&](const std::string& line) { log.push_back(line); };
        saveIt.SetFileName("Halcyra.pil");
        saveIt.OpenOrCreate("Halcyra", "", "123456", "Ann Smith", false);
        saveIt.AddParameterSeries({{0, "HR", "", "", "", "bpm"}, {1, "SpO2", "", "", "", "%"}});
        // A record cut short at the end is cut away first, once.
        io->Files["Halcyra.pil"] += TBytes().Record(220, 0, 44999.0, 1.0).Str().substr(0, 9);
        if (atOnce) {
            TFileStamp after;
            EXPECT_TRUE(saveIt.AddValuePoints({}, values, &after));
            EXPECT_EQ(io->appends, 1);
            EXPECT_EQ(after.size, io->Files["Halcyra.pil"].size());
        } else {
            for (const TValueRecord& v : values) ASSERT_TRUE(saveIt.AddValuePoint(v.index, v.time, v.value));
        }
        EXPECT_EQ(log.size(), 1u);
        files[atOnce ? 1 : 0] = io->Files["Halcyra.pil"];

        if (!atOnce) continue;
        io->FailAppends = true;
        EXPECT_FALSE(saveIt.AddValuePoints({}, values));
        EXPECT_EQ(io->Files["Halcyra.pil"], files[1]);
        ASSERT_EQ(log.size(), 2u);
        EXPECT_EQ(log[1].rfind("Could not append 3 values to Halcyra.pil: ", 0), 0u) << log[1];
    }
    EXPECT_EQ(files[1], files[0]);
    EXPECT_EQ(CheckMonitorFile(files[1]), std::vector<std::string>{});
}

TEST_F(MonitorFile, AppendedRecordsAre26BytesEach)
{
    Create();
    saveIt.AddValuePoint(3, 45000.5, 7.25);
    saveIt.AddDelimiterPoint(3, 9, 45001.0);
    EXPECT_EQ(ReadFile(file).substr(666), TBytes().Record(220, 3, 45000.5, 7.25).Record(85, 3, 45001.0, 9.0).Str());
}

TEST_F(MonitorFile, AppendCutsAwayARecordCutShortFirst)
{
    // A crash or another writer left part of a record at the end: written behind it, every later record
    // would be read out of step.
    const std::string whole = TBytes().Record(220, 0, 45000.0, 1.0).Str();
    for (const std::size_t kept : {1u, 7u, 8u, 25u}) {
        std::filesystem::remove(file);
        Create();
        saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
        ASSERT_TRUE(saveIt.AddValuePoint(0, 45000.0, 1.0));
        std::ofstream(file, std::ios::binary | std::ios::app) << whole.substr(0, kept);
        log.clear();
        ASSERT_TRUE(saveIt.AddValuePoint(0, 45001.0, 2.0)) << kept;
        EXPECT_TRUE(saveIt.AddDelimiterPoint(0, 0, 45002.0));
        const std::string bytes = ReadFile(file);
        EXPECT_EQ(bytes.size(), 666u + 3 * 26) << kept;
        EXPECT_EQ(CheckMonitorFile(bytes), std::vector<std::string>{}) << kept;
        ASSERT_EQ(log.size(), 1u) << kept;
        EXPECT_NE(log[0].find("Cut away " + std::to_string(kept) + " bytes"), std::string::npos) << log[0];
        saveIt.DropFileCache();
        saveIt.ReloadStructure();
        EXPECT_EQ(saveIt.ParameterSeries().at(0)->Serie->DataSet().Points().size(), 2u);
    }

    // A declaration rewrite leaves such a rest behind too.
    std::ofstream(file, std::ios::binary | std::ios::app) << whole.substr(0, 11);
    saveIt.AddParameterSerie(1, "SpO2", "", "", "", "%");
    EXPECT_EQ(CheckMonitorFile(ReadFile(file)), std::vector<std::string>{});

    // A file cut inside its reserved area takes no record: it would land where readers skip.
    const std::string cut = test::HandBuiltNewMonitorFile().substr(0, 600);
    WriteFile(file, cut);
    EXPECT_FALSE(saveIt.AddValuePoint(0, 45003.0, 3.0));
    EXPECT_EQ(ReadFile(file), cut);
}

// A first folding claiming 16 MB in a file of a few hundred bytes: a reader that skips the folding finds
// nothing behind it. The record cut short at its end is not the damage, so cutting it away mends nothing.
TEST(MonitorFileFoldings, AFoldingRunningPastTheEndIsReportedAndNotWrittenInto)
{
    const std::string declared = test::HandBuiltNewMonitorFile().substr(0, 158) + Declaration(0, "HR", "bpm") +
                                 TBytes().I32(205).I32(415).Zeros(415).Str() +
                                 TBytes().Record(220, 0, 45000.0, 1.0).Str();
    const std::string cutShort = TBytes().Record(220, 0, 45001.0, 2.0).Str().substr(0, 11);
    std::string claiming = declared;
    const std::string claim = TBytes().I32(16 * 1024 * 1024).Str();
    claiming.replace(4, 4, claim);
    struct TCase {
        std::string name;
        std::string bytes;
        bool sound;
        bool onlyTailCutShort;
    };
    for (const TCase& c : std::vector<TCase>{
             {"sound", declared, true, false},
             {"sound, cut short", declared + cutShort, false, true},
             {"claiming", claiming, false, false},
             {"claiming, cut short", claiming + cutShort, false, false},
         }) {
        SCOPED_TRACE(c.name);
        const TMonitorCheck check = InspectMonitorFile(c.bytes);
        EXPECT_EQ(check.problems.empty(), c.sound);
        EXPECT_EQ(check.onlyTailCutShort, c.onlyTailCutShort);
        if (c.sound || c.onlyTailCutShort) continue;
        EXPECT_NE(check.problems.back().find("past the end of the file"), std::string::npos) << check.problems.back();

        auto io = std::make_shared<TMemorySaveFileIo>();
        io->Files["c.pil"] = c.bytes;
        TSaveItNew saveIt(io);
        saveIt.SetFileName("c.pil");
        std::string line;
        saveIt.OnLog = [&](const std::string& l) { line = l; };
        EXPECT_FALSE(saveIt.AddValuePoint(0, 45002.0, 3.0));
        EXPECT_FALSE(line.empty());
        EXPECT_ANY_THROW(saveIt.AddParameterSerie(1, "SpO2", "", "", "", "%"));
        EXPECT_EQ(io->Files["c.pil"], c.bytes);
    }
}

TEST(MonitorFileForms, AppendIntoAFormWhereTheRecordWouldBeLostIsRefused)
{
    // Checksummed: everything lies inside folding 1, and a record behind it is never read.
    const std::string checksummed = ChecksummedMonitorFile([](TMicroWriter& writer) {
        TMonitorInfo info;
        info.MonitorKind = "Halcyra";
        info.WriteTo(writer);
        writer.BeginFolding(205);
        writer.WriteRaw(std::string(20, '\0').data(), 20);
        writer.EndFolding();
    });
    // Version 1.0: its size fields are followed by 4 more bytes, so our record would be misread.
    TBytes old;
    old.I32(1).I32(32).I32(1).Raw("Tovarin Save File Header 1.0");
    old.I32(3).I32(12).I32(-1).I32(2).I32(4).I32(-1).I32(8);
    old.I32(205).I32(4).I32(-1).Zeros(4);

    for (const std::string& bytes : {checksummed, old.Str()}) {
        auto io = std::make_shared<TMemorySaveFileIo>();
        io->Files["c.pil"] = bytes;
        TSaveItNew saveIt(io);
        saveIt.SetFileName("c.pil");
        std::string line;
        saveIt.OnLog = [&](const std::string& l) { line = l; };
        EXPECT_FALSE(saveIt.AddValuePoint(0, 45000.0, 1.0));
        EXPECT_NE(line.find(savefile_text::kCannotAppendInFormat), std::string::npos) << line;
        EXPECT_EQ(io->Files["c.pil"], bytes);
    }
}

TEST(MonitorFileForms, NewFileNeverTakesTheTextsOfAFileReadBefore)
{
    // Texts 203 and 204 of the file information belong to the file they were read from.
    TBytes info;
    info.Str(201, "Halcyra").Str(202, "").Str(203, "999").Str(204, "Other Patient");
    TBytes b;
    b.I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0");
    b.Wrap(3, TBytes().Int(2, 8).Int(30, 0).Str(203, "Other Patient").Str(204, "Bed 7"));
    b.Wrap(200, info).I32(205).I32(4).Zeros(4);
    auto io = std::make_shared<TMemorySaveFileIo>();
    io->Files["other.pil"] = b;
    TSaveItNew saveIt(io);
    saveIt.SetFileName("other.pil");
    saveIt.ReloadStructure();
    saveIt.SetFileName("new.pil");
    saveIt.OpenOrCreate("Halcyra", "", "123456", "Ann Smith", false);
    EXPECT_EQ(io->Files["new.pil"], test::HandBuiltNewMonitorFile());
}

// Another process rewrites the file after this one has opened it for an append, before the lock.
class TReplacedBeforeLock : public TPosixSaveFileIo {
public:
    bool replaced = false;

protected:
    void BeforeAppendLock(const std::filesystem::path& path) override
    {
        if (replaced) return;
        replaced = true;
        const pid_t child = ::fork();
        if (child == 0) {
            TSaveItNew other(std::make_shared<TPosixSaveFileIo>());
            other.SetFileName(path);
            try {
                other.AddParameterSerie(1, "SpO2", "", "", "", "%");
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("the rewrite failed");
    }
};

TEST_F(MonitorFile, AppendGoesIntoTheFileThatReplacedTheOneItOpened)
{
    Create();
    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    auto io = std::make_shared<TReplacedBeforeLock>();
    TSaveItNew appender(io);
    appender.SetFileName(file);
    ASSERT_TRUE(appender.AddValuePoint(0, 45000.0, 60.0));
    ASSERT_TRUE(io->replaced);
    saveIt.DropFileCache();
    saveIt.ReloadStructure();
    const auto series = saveIt.ParameterSeries();
    ASSERT_EQ(series.size(), 2u);
    ASSERT_NE(series[0]->Serie, nullptr);
    EXPECT_EQ(series[0]->Serie->DataSet().Points().size(), 1u);
}

// Dies once the new content is linked beside the file, before it replaces it: a crash mid-rewrite.
class TDiesBeforeReplace : public TPosixSaveFileIo {
protected:
    void BeforeReplace(const std::filesystem::path&, const std::filesystem::path&) override { ::_exit(0); }
};

TEST_F(MonitorFile, RewriteLeavesNoTemporaryFileOfACrashedWriterBehind)
{
    Create();
    const pid_t child = ::fork();
    if (child == 0) {
        TSaveItNew crashing(std::make_shared<TDiesBeforeReplace>());
        crashing.SetFileName(file);
        try {
            crashing.AddParameterSerie(0, "HR", "", "", "", "bpm");
        } catch (...) {
        }
        ::_exit(1);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    ASSERT_EQ(entries().size(), 2u);  // the crashed writer's temporary file beside the file
    // A temporary file of a process that still runs (pid 1) is its writer's, not a leftover.
    WriteFile(dir / ".Halcyra.pil.tmp1-0", "busy");

    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    EXPECT_EQ(entries(), (std::vector<std::string>{".Halcyra.pil.tmp1-0", "Halcyra.pil"}));
    EXPECT_EQ(ReadFile(file).substr(158, 85), Declaration(0, "HR", "bpm"));
}

TEST(MonitorFileCache, ReloadReadsOnlyWhenTheFileChanged)
{
    auto io = std::make_shared<TMemorySaveFileIo>();
    TSaveItNew saveIt(io);
    saveIt.SetFileName("a.pil");
    saveIt.OpenOrCreate("Halcyra", "", "1", "A", false);
    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    const int start = io->Reads;
    saveIt.ReloadStructure();
    saveIt.ReloadStructure();
    EXPECT_EQ(io->Reads, start + 1);
    saveIt.DropFileCache();
    saveIt.ReloadStructure();
    EXPECT_EQ(io->Reads, start + 2);
    saveIt.AddValuePoint(0, 1.0, 5.0);
    saveIt.ReloadStructure();
    EXPECT_EQ(io->Reads, start + 3);
    EXPECT_EQ(saveIt.ParameterSeries().at(0)->Serie->DataSet().Points().size(), 1u);
    // Another file name is another file.
    io->Files["b.pil"] = io->Files["a.pil"];
    saveIt.SetFileName("b.pil");
    saveIt.ReloadStructure();
    EXPECT_EQ(io->Reads, start + 4);
    // A file that is gone empties the list.
    io->Files.erase("b.pil");
    saveIt.ReloadStructure();
    EXPECT_TRUE(saveIt.LoadedObjects().empty());
}

// Counts the bytes fetched from disk by the streams it hands out.
class TCountingIo : public TPosixSaveFileIo {
public:
    std::uint64_t fetched = 0;
    std::unique_ptr<TStream> OpenRead(const std::filesystem::path& path) override
    {
        return std::make_unique<TCounted>(path, fetched);
    }

private:
    struct TCounted : TFileReadStream {
        TCounted(const std::filesystem::path& path, std::uint64_t& total) : TFileReadStream(path), total_(total) {}
        ~TCounted() override { total_ += BytesFetched(); }
        std::uint64_t& total_;
    };
};

TEST_F(MonitorFile, HeaderRegionReadFetchesOnlyThePrefix)
{
    Create();
    saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
    saveIt.AddParameterSerie(1, "SpO2", "finger", "", "", "%");
    TBytes points;
    for (int i = 0; i < 100000; ++i) points.Record(220, static_cast<std::uint16_t>(i % 2), 45000.0 + i, i);
    {
        std::ofstream(file, std::ios::binary | std::ios::app) << points.Str();
    }
    auto io = std::make_shared<TCountingIo>();
    TSaveItNew reader(io);
    reader.SetFileName(file);
    reader.ReadHeaderRegion();
    EXPECT_LT(io->fetched, 32768u);
    const auto series = reader.ParameterSeries();
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(series[1]->Info.MeasurementPlace(), "finger");
    EXPECT_EQ(series[1]->Serie, nullptr);
    EXPECT_EQ(reader.FileType(), TTovFileType::ftMonitorData);

    // Opening an existing file reads the same prefix only.
    io->fetched = 0;
    reader.OpenOrCreate("Halcyra", "", "123456", "Ann Smith", false);
    EXPECT_LT(io->fetched, 32768u);
}

TEST(MonitorFileLegacy, OldHeaderVersion10FileIsRead)
{
    // Version 1.0: every value, group and folding Size is followed by 4 skipped bytes; string sizes
    // count the characters only, and take no extra bytes.
    const auto str = [](TBytes& b, std::int32_t id, const std::string& s) {
        b.I32(id).I32(static_cast<std::int32_t>(s.size())).I32(1).Raw(s);
    };
    const auto folding = [](TBytes& b, std::int32_t id, const TBytes& content) {
        b.I32(id).I32(static_cast<std::int32_t>(content.Size())).I32(-1).Append(content);
    };
    TBytes b;
    str(b, 1, "Tovarin Save File Header 1.0");
    folding(b, 3, TBytes().I32(2).I32(4).I32(-1).I32(8));
    TBytes info;
    str(info, 201, "Halcyra");
    str(info, 203, "42");
    folding(b, 200, info);
    TBytes serie;
    serie.I32(211).I32(4).I32(-1).I32(0);
    str(serie, 212, "HR");
    str(serie, 215, "bpm");
    folding(b, 210, serie);
    b.I32(205).I32(4).I32(-1).Zeros(4);
    b.I32(220).I32(18).I32(-1).U16(0).F64(45000.5).F64(60.0);

    auto io = std::make_shared<TMemorySaveFileIo>();
    io->Files["old.pil"] = b;
    TSaveItNew saveIt(io);
    saveIt.SetFileName("old.pil");
    saveIt.ReloadStructure();
    ASSERT_NE(saveIt.MonitorInfo(), nullptr);
    EXPECT_EQ(saveIt.MonitorInfo()->PatientId, "42");
    const auto series = saveIt.ParameterSeries();
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0]->UnitName, "bpm");
    ASSERT_NE(series[0]->Serie, nullptr);
    EXPECT_EQ(series[0]->Serie->DataSet().Points().at(0)->YValue, 60.0);
    // Our declarations have the version-2 form: declaring into this file is refused.
    EXPECT_THROW(saveIt.AddParameterSerie(1, "X", "", "", "", ""), ETovError);
    EXPECT_EQ(io->Files["old.pil"], b.Str());
}

TEST(MonitorFileLegacy, SixteenBitStringsAndVideo)
{
    TBytes info;
    info.Str(201, "Halcyra").I32(204).I32(4 + 8).I32(2).Raw(std::string("J\0\xf6\0r\0g\0", 8));
    TBytes video;
    video.Str(231, "clip1.avi").Str(203, "Ann").Str(204, "Bed 3");
    TBytes b;
    b.I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0").Wrap(3, TBytes().Int(2, 10)).Wrap(200, info);
    b.I32(230).I32(12).F64(45000.0).I32(5);  // before any video file: dropped
    b.Wrap(232, video);
    b.I32(230).I32(12).F64(45000.5).I32(7);

    auto io = std::make_shared<TMemorySaveFileIo>();
    io->Files["/data/p/v.pil"] = b;
    TSaveItNew saveIt(io);
    saveIt.SetFileName("/data/p/v.pil");
    saveIt.ReloadStructure();
    EXPECT_EQ(saveIt.FileType(), TTovFileType::ftVideoFileController);
    EXPECT_EQ(saveIt.MonitorInfo()->PatientName, "J\xf6rg");
    const TVideoSerie* videoSerie = nullptr;
    for (const auto& object : saveIt.LoadedObjects())
        if (auto* v = dynamic_cast<const TVideoSerie*>(object.get())) videoSerie = v;
    ASSERT_NE(videoSerie, nullptr);
    EXPECT_EQ(videoSerie->Caption, "Video from Bed 3 Ann");
    EXPECT_EQ(videoSerie->Folder, "/data/p");
    EXPECT_EQ(videoSerie->Files, std::vector<std::string>{"clip1.avi"});
    ASSERT_EQ(videoSerie->DataSet().Points().size(), 1u);
    const auto* frame = dynamic_cast<const TVideoFrame*>(videoSerie->DataSet().Points()[0].get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->YValue, 7.0);
    EXPECT_EQ(frame->AVIFileNumber, 0);
}

TEST(MonitorFileLegacy, ChecksumErrorIsShownToTheUser)
{
    std::string bytes = ChecksummedMonitorFile([](TMicroWriter&) {});
    bytes[bytes.size() - 3] ^= 1;  // inside item 2's value

    auto io = std::make_shared<TMemorySaveFileIo>();
    io->Files["c.pil"] = bytes;
    TSaveItNew saveIt(io);
    saveIt.SetFileName("c.pil");
    std::vector<std::string> shown;
    saveIt.OnShowMessage = [&](const std::string& m) { shown.push_back(m); };
    saveIt.ReloadStructure();
    EXPECT_EQ(shown, std::vector<std::string>{"c.pil has a checksum error."});
}

TEST(MonitorCheck, ReportsWhatIsWrong)
{
    const std::string good = test::HandBuiltNewMonitorFile();
    TSaveItNew builder(std::make_shared<TMemorySaveFileIo>());
    struct TCase {
        std::string name;
        std::string bytes;
        std::string problem;  // expected in the first reported line; empty for a sound file
    };
    const std::string declared =
        good.substr(0, 158) + Declaration(0, "HR", "bpm") + TBytes().I32(205).I32(415).Zeros(415).Str();
    std::vector<TCase> cases = {
        {"sound", declared + TBytes().Record(220, 0, 1.0, 2.0).Record(85, 0, 2.0, 0.0).Str(), ""},
        {"text", "hello world, this is not a save file", "not a save file"},
        {"empty", "", "not a save file"},
        {"other type", TBytes().I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0").Wrap(3, TBytes().Int(2, 1)),
         "wrong file type 1"},
        {"bad index", good.substr(0, 158) + Declaration(4, "HR", "bpm") + TBytes().I32(205).I32(415).Zeros(415).Str(),
         "series 0 (HR) has index 4"},
        {"undeclared", declared + TBytes().Record(220, 1, 1.0, 2.0).Str(), "offset 666: record for series 1"},
        {"truncated", declared + TBytes().Record(220, 0, 1.0, 2.0).Str().substr(0, 20), "offset 666: truncated"},
        {"short", declared + TBytes().I32(220).I32(4).I32(0).Str(), "offset 666: record shorter"},
        {"no reserve", good.substr(0, 158), "no reserved area"},
    };
    for (const TCase& c : cases) {
        const auto problems = CheckMonitorFile(c.bytes);
        if (c.problem.empty()) {
            EXPECT_TRUE(problems.empty()) << c.name << ": " << (problems.empty() ? "" : problems[0]);
        } else {
            ASSERT_FALSE(problems.empty()) << c.name;
            EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << c.name << ": " << problems[0];
        }
    }
}

}  // namespace
}  // namespace halcyra
