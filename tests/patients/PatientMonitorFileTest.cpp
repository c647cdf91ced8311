#include "app/DataManagerNotices.h"
#include "patients/PatientMonitorFile.h"

#include "savefile/MonitorCheck.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

// A stream that counts the bytes read through it.
class TCountedStream final : public TStream {
public:
    TCountedStream(std::unique_ptr<TStream> inner, std::int64_t& read) : inner_(std::move(inner)), read_(read) {}
    std::int64_t Size() const override { return inner_->Size(); }
    std::int64_t Position() const override { return inner_->Position(); }
    void Seek(std::int64_t position) override { inner_->Seek(position); }
    void ReadBuffer(void* data, std::size_t count) override
    {
        inner_->ReadBuffer(data, count);
        read_ += static_cast<std::int64_t>(count);
    }
    void WriteBuffer(const void* data, std::size_t count) override { inner_->WriteBuffer(data, count); }

private:
    std::unique_ptr<TStream> inner_;
    std::int64_t& read_;
};

// The real file access, counting what is read.
class TCountingIo final : public TPosixSaveFileIo {
public:
    std::unique_ptr<TStream> OpenRead(const fs::path& path) override
    {
        ++headerReads;
        return std::make_unique<TCountedStream>(TPosixSaveFileIo::OpenRead(path), bytesRead);
    }
    std::string ReadAll(const fs::path& path) override
    {
        ++wholeReads;
        return TPosixSaveFileIo::ReadAll(path);
    }
    // Every point goes into a file that is sound with it: a crash right after any append or replacement
    // leaves a file whose points all belong to declared series.
    void Update(const fs::path& path, const std::function<std::string(std::string current)>& rewrite,
                TUpdateStamps* stamps) override
    {
        if (failUpdates) throw ESaveFileIoError("cannot replace " + path.string());
        TPosixSaveFileIo::Update(
            path,
            [&](std::string current) {
                std::string next = rewrite(std::move(current));
                for (const std::string& problem : CheckMonitorFile(next)) appendProblems.push_back(problem);
                return next;
            },
            stamps);
    }
    void Append(const fs::path& path, std::string_view bytes, const TAppendCheck& check, TFileStamp* after) override
    {
        ++appends;
        if (failAppends) throw ESaveFileIoError("cannot write " + path.string());
        if (order != nullptr) order->push_back("append");
        std::ifstream in(path, std::ios::binary);
        const std::string before((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const std::string& problem : CheckMonitorFile(before + std::string(bytes)))
            appendProblems.push_back(problem);
        TPosixSaveFileIo::Append(path, bytes, check, after);
    }
    void Sync(const fs::path& path) override
    {
        if (order != nullptr) order->push_back("sync");
        TPosixSaveFileIo::Sync(path);
    }
    // What reached the files and the data manager, in order.
    std::vector<std::string>* order = nullptr;
    int headerReads = 0;
    int wholeReads = 0;
    int appends = 0;
    std::int64_t bytesRead = 0;
    bool failUpdates = false;
    bool failAppends = false;
    bool crashBeforeReplace = false;
    int replacements = 0;
    std::vector<std::string> appendProblems;

protected:
    void BeforeReplace(const fs::path& temporary, const fs::path& target) override
    {
        if (crashBeforeReplace) throw std::runtime_error("crash");
        ++replacements;
        TPosixSaveFileIo::BeforeReplace(temporary, target);
    }
};

class TRecorder final : public IDataManagerLinkFactory, public IQuarzelAutoObject {
public:
    std::unique_ptr<IQuarzelAutoObject> Create(IDataManagerEvents& events) override
    {
        return std::make_unique<TForward>(*this, events);
    }
    void NotifyDataChanged() override {}
    void SetCollectorState(std::int32_t, std::int32_t) override {}
    void AddValue(std::string_view id, std::string_view label, std::string_view unit, double, double value) override
    {
        if (fail) throw EDataManagerError("refused");
        if (order != nullptr) order->push_back("told");
        calls.push_back(std::string(id) + " " + std::string(label) + " " + std::string(unit) + " " +
                        std::to_string(value));
    }
    void AddDelimiter(std::int32_t, std::string_view, std::string_view, double, std::int32_t) override {}

    std::vector<std::string> calls;
    bool fail = false;
    std::vector<std::string>* order = nullptr;

private:
    class TForward final : public IQuarzelAutoObject {
    public:
        TForward(TRecorder& to, IDataManagerEvents& events) : to_(to), events_(events) {}
        void NotifyDataChanged() override { events_.CallAnswered(); }
        void SetCollectorState(std::int32_t, std::int32_t) override { events_.CallAnswered(); }
        void AddValue(std::string_view p, std::string_view l, std::string_view u, double t, double v) override
        {
            to_.AddValue(p, l, u, t, v);
            events_.CallAnswered();
        }
        void AddDelimiter(std::int32_t, std::string_view, std::string_view, double, std::int32_t) override
        {
            events_.CallAnswered();
        }

    private:
        TRecorder& to_;
        IDataManagerEvents& events_;
    };
};

struct TStoredSeries {
    std::uint16_t index;
    std::string name;
    std::string unit;
    std::vector<std::pair<double, double>> points;  // time, value
    std::vector<double> delimiters;                 // by time
    bool operator==(const TStoredSeries&) const = default;
};

class PatientMonitorFileTest : public ::testing::Test {
protected:
    PatientMonitorFileTest()
    {
        link.CreateDataManagerLink(recorder, "", false);
        monitorFile.SetLogger([this](const std::string& line) { log.push_back(line); });
        fs::create_directories(files.HostPath(folder));
    }

    fs::path Host(const std::string& name) { return files.HostPath(folder + name); }

    // Everything the file holds, read as the data manager would.
    std::vector<TStoredSeries> Stored(const std::string& name)
    {
        TSaveItNew reader(std::make_shared<TPosixSaveFileIo>());
        reader.SetFileName(Host(name));
        reader.ReloadStructure();
        std::vector<TStoredSeries> stored;
        for (const TParameterSerie* serie : reader.ParameterSeries()) {
            TStoredSeries s{serie->Index, serie->Info.ParameterName(), serie->UnitName, {}, {}};
            if (serie->Serie) {
                for (const auto& point : serie->Serie->DataSet().Points())
                    s.points.emplace_back(point->XValue, point->YValue);
                for (const auto& point : serie->Serie->DataSet().ControlPoints()) s.delimiters.push_back(point->XValue);
            }
            stored.push_back(std::move(s));
        }
        return stored;
    }

    // A file made by someone else: another monitor, another patient, or with series of its own.
    void MakeFile(const std::string& name, const std::string& monitor, const std::string& id,
                  const std::vector<std::uint16_t>& indices = {})
    {
        TSaveItNew other(std::make_shared<TPosixSaveFileIo>());
        other.SetFileName(Host(name));
        other.OpenOrCreate(monitor, "", id, "Someone", false);
        for (std::uint16_t index : indices)
            other.AddParameterSerie(index, "P" + std::to_string(index), "", "", "", "u");
    }

    void Open(const std::string& id = "1234567890")
    {
        monitorFile.OpenPatientMonitorFile(writer, folder, id, "Ann Lee");
    }

    // Another writer of the same files: a later run of the program, or another process.
    struct TOtherWriter {
        explicit TOtherWriter(PatientMonitorFileTest& t) : writer(t.io), file(t.files, t.io, t.params, t.notices)
        {
            file.OpenPatientMonitorFile(writer, t.folder, "1234567890", "Ann Lee");
        }
        TSaveItNew writer;
        TPatientMonitorFile file;
    };

    // Value records of series 0 appended behind the file's records, as a long run leaves them.
    void AppendRawValues(const std::string& name, int count, TDateTime from)
    {
        std::string records;
        for (int i = 0; i < count; ++i) {
            const std::int32_t head[2] = {220, 18};
            const std::uint16_t index = 0;
            const double time = from + i * kOneSecond;
            const double value = 60;
            records.append(reinterpret_cast<const char*>(head), sizeof head);
            records.append(reinterpret_cast<const char*>(&index), sizeof index);
            records.append(reinterpret_cast<const char*>(&time), sizeof time);
            records.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
        std::ofstream(Host(name), std::ios::binary | std::ios::app) << records;
    }

    bool Value(std::string_view label, TDateTime time, double value, TValueTiming timing = TValueTiming::Grid)
    {
        return monitorFile.AppendValue(label, "", "", "", time, value, timing);
    }
    std::optional<TDateTime> Delimiter(std::string_view label, TDateTime after)
    {
        return monitorFile.AppendDelimiter(label, "", "", "", 0, after);
    }

    test::TTempDir dir;
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir / "registry");
    TSettingsStore settings{*registry};
    TParameterModel params{settings};
    TRecorder recorder;
    TManualClock clock{EncodeDateTime(2024, 5, 6, 12, 0, 30)};
    TDataManagerLink link{clock};
    TDataManagerNotices notices{link};
    std::shared_ptr<TCountingIo> io = std::make_shared<TCountingIo>();
    TSaveItNew writer{io};
    TPatientMonitorFile monitorFile{files, io, params, notices};
    std::vector<std::string> log;
    const std::string folder = "C:\\KVD\\DATA\\1234567890\\";
    const TDateTime t1 = EncodeDateTime(2024, 5, 6, 12, 0, 0);
    const TDateTime t2 = EncodeDateTime(2024, 5, 6, 12, 0, 10);
};

TEST_F(PatientMonitorFileTest, ValuesGoToSeriesDeclaredInTheOrderTheyFirstArrive)
{
    Open();
    ASSERT_TRUE(monitorFile.IsOpen());
    EXPECT_EQ(monitorFile.MonitorName(), "Halcyra");
    EXPECT_EQ(monitorFile.OpenFileName(), folder + "Halcyra.pil");
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 72, TValueTiming::Grid);
    monitorFile.AppendValue("SpO2", "", "", "%", t2, 98, TValueTiming::Grid);
    // A series never runs back in time, on the grid or at a value's own time.
    EXPECT_FALSE(monitorFile.AppendValue("HR", "", "", "bpm", t1, 73, TValueTiming::Grid));
    EXPECT_FALSE(monitorFile.AppendValue("HR", "", "", "bpm", t1, 73, TValueTiming::Own));
    // An earlier time stamp in another series still becomes the last written.
    monitorFile.AppendValue("NBPs", "", "", "mmHg", t1, 120, TValueTiming::Own);

    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].index, 0);
    EXPECT_EQ(stored[0].name, "HR");
    EXPECT_EQ(stored[0].unit, "bpm");
    EXPECT_EQ(stored[0].points, (std::vector<std::pair<double, double>>{{t2, 72}}));
    EXPECT_EQ(stored[1].index, 1);
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t2, 98}}));
    EXPECT_EQ(stored[2].points, (std::vector<std::pair<double, double>>{{t1, 120}}));
    EXPECT_EQ(monitorFile.LastWrittenTime(), t1);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"1234567890 HR bpm 72.000000", "1234567890 SpO2 % 98.000000",
                                                        "1234567890 NBPs mmHg 120.000000"}));

    // Opened again, the list mirrors the file and new series continue its numbering.
    Open();
    ASSERT_EQ(monitorFile.SeriesList().size(), 3u);
    EXPECT_EQ(monitorFile.SeriesList()[1]->Info.ParameterName(), "SpO2");
    EXPECT_EQ(monitorFile.SeriesList()[1]->Serie, nullptr);
    monitorFile.AppendValue("RR", "", "", "rpm", t2, 16, TValueTiming::Grid);
    EXPECT_EQ(Stored("Halcyra.pil").at(3).index, 3);
}

TEST_F(PatientMonitorFileTest, AnEmptyUnitMatchesAnySeriesOfTheLabelAndAnotherUnitMakesANewOne)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    monitorFile.AppendValue("HR", "", "", "", t2, 73, TValueTiming::Grid);
    monitorFile.AppendValue("HR", "", "", "1/min", t1, 74, TValueTiming::Grid);
    monitorFile.AppendValue("hr", "", "", "bpm", t1, 75, TValueTiming::Grid);
    monitorFile.AppendValue("HR", "arm", "", "bpm", t1, 76, TValueTiming::Grid);
    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0].points.size(), 2u);
    EXPECT_EQ(stored[1].unit, "1/min");
    EXPECT_EQ(stored[2].name, "hr");
    EXPECT_EQ(stored[3].points.at(0).second, 76);
    for (std::size_t k = 0; k < monitorFile.SeriesList().size(); ++k) EXPECT_EQ(monitorFile.SeriesList()[k]->Index, k);
}

TEST_F(PatientMonitorFileTest, AFileOfAnotherMonitorOrPatientOrWithBrokenIndicesSendsValuesToTheNextName)
{
    struct Case {
        const char* what;
        std::function<void()> setup;
        const char* expectedName;
    };
    const std::vector<Case> cases = {
        {"another monitor", [&] { MakeFile("Halcyra.pil", "Other", "1234567890"); }, "Halcyra1"},
        {"another patient", [&] { MakeFile("Halcyra.pil", "Halcyra", "999"); }, "Halcyra1"},
        {"indices 0, 2",
         [&] {
             MakeFile("Halcyra.pil", "Halcyra", "1234567890", {0, 2});
         },
         "Halcyra1"},
        {"two taken",
         [&] {
             MakeFile("Halcyra.pil", "Other", "1234567890");
             MakeFile("Halcyra1.pil", "Halcyra", "999");
         },
         "Halcyra2"},
        {"not a monitor-data file",
         [&] {
             fs::create_directories(Host(""));
             std::ofstream(Host("Halcyra.pil")) << "garbage";
         },
         "Halcyra1"},
    };
    for (const Case& c : cases) {
        fs::remove_all(Host(""));
        fs::create_directories(Host(""));
        c.setup();
        Open();
        EXPECT_EQ(monitorFile.MonitorName(), c.expectedName) << c.what;
        monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
        const auto stored = Stored(std::string(c.expectedName) + ".pil");
        ASSERT_EQ(stored.size(), 1u) << c.what;
        EXPECT_EQ(stored[0].points.size(), 1u) << c.what;
        // A refused file is not read again while it is unchanged (ours is, once, after its declaration).
        Open();
        const int reads = io->headerReads;
        Open();
        EXPECT_EQ(monitorFile.MonitorName(), c.expectedName) << c.what;
        EXPECT_EQ(io->headerReads, reads) << c.what;
    }
}

// What is kept of a file holds only while the file is the same one, at the same size: a file replaced
// under it is read again, also when the replacement has the same size.
TEST_F(PatientMonitorFileTest, AKeptFileStateGivesWayToAFileReplacedUnderIt)
{
    MakeFile("Halcyra.pil", "Other", "1234567890");
    Open();
    EXPECT_EQ(monitorFile.MonitorName(), "Halcyra1");
    fs::remove(Host("Halcyra.pil"));
    MakeFile("Halcyra.pil", "Halcyra", "1234567890");
    Open();
    EXPECT_EQ(monitorFile.MonitorName(), "Halcyra");

    ASSERT_TRUE(monitorFile.AppendValue("Q0", "", "", "u", t1, 1, TValueTiming::Grid));
    Open();
    const int reads = io->headerReads;
    // Another writer's file whose series 0 is another parameter, as long as ours.
    MakeFile("other.pil", "Halcyra", "1234567890", {0});
    AppendRawValues("other.pil", 1, t2);
    ASSERT_EQ(fs::file_size(Host("other.pil")), fs::file_size(Host("Halcyra.pil")));
    fs::rename(Host("other.pil"), Host("Halcyra.pil"));

    Open();
    EXPECT_GT(io->headerReads, reads);
    ASSERT_TRUE(monitorFile.AppendValue("Q0", "", "", "u", t2, 2, TValueTiming::Grid));
    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].name, "P0");
    EXPECT_EQ(stored[0].points, (std::vector<std::pair<double, double>>{{t2, 60}}));
    EXPECT_EQ(stored[1].name, "Q0");
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t2, 2}}));
}

TEST_F(PatientMonitorFileTest, WithoutAnyUsableFileNothingIsWrittenAnywhereAndTheLossIsLogged)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    const auto before = Stored("Halcyra.pil");

    const std::string missing = "C:\\KVD\\DATA\\missing\\";
    monitorFile.OpenPatientMonitorFile(writer, missing, "555", "Bo Ek");
    EXPECT_FALSE(monitorFile.IsOpen());
    EXPECT_EQ(monitorFile.Writer(), nullptr);
    EXPECT_TRUE(monitorFile.SeriesList().empty());
    EXPECT_FALSE(fs::exists(files.HostPath(missing)));  // no folder is made

    monitorFile.AppendValue("HR", "", "", "bpm", t2, 80, TValueTiming::Grid);
    monitorFile.AppendValue("SpO2", "", "", "%", t2, 90, TValueTiming::Grid);
    EXPECT_EQ(monitorFile.SeriesIndexFor("HR", "", "", "bpm"), -1);
    EXPECT_FALSE(monitorFile.AppendDelimiter("HR", "", "", "bpm", 1, t2).has_value());
    EXPECT_EQ(Stored("Halcyra.pil").at(0).points, before.at(0).points);  // the last patient's file is untouched
    EXPECT_EQ(monitorFile.LastWrittenTime(), t1);
    EXPECT_EQ(recorder.calls.size(), 1u);
    ASSERT_EQ(log.size(), 1u);  // one line for the message, naming the patient and the folder
    EXPECT_NE(log[0].find("555"), std::string::npos);
    EXPECT_NE(log[0].find(missing), std::string::npos);

    monitorFile.OpenPatientMonitorFile(writer, missing, "555", "Bo Ek");
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 80, TValueTiming::Grid);
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(PatientMonitorFileTest, AnExcludedValueDeclaresItsSeriesButWritesNoPoint)
{
    params.ExcludedParams().emplace_back(1, "HR");
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].points.empty());
    EXPECT_EQ(monitorFile.LastWrittenTime(), 0);
    EXPECT_TRUE(recorder.calls.empty());

    params.SetAutomatic(true);
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    EXPECT_EQ(Stored("Halcyra.pil").at(0).points.size(), 1u);
}

// After a power loss the data manager may know only of values the file holds: each append reaches the disk
// before the data manager hears of its values. Without a link nothing waits for the disk per append.
TEST_F(PatientMonitorFileTest, ValuesAreOnDiskBeforeTheDataManagerHearsOfThem)
{
    std::vector<std::string> order;
    io->order = &order;
    recorder.order = &order;
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    order.clear();
    monitorFile.AppendValues(
        {{"HR", "", "", "bpm", t2, 73, TValueTiming::Grid}, {"SpO2", "", "", "%", t2, 98, TValueTiming::Grid}});
    // SpO2 is declared: the values go in with the file's replacement, which is synced itself.
    EXPECT_EQ(order, (std::vector<std::string>{"told", "told"}));

    order.clear();
    monitorFile.AppendValues({{"HR", "", "", "bpm", t2 + kOneSecond * 10, 74, TValueTiming::Grid},
                              {"SpO2", "", "", "%", t2 + kOneSecond * 10, 97, TValueTiming::Grid}});
    EXPECT_EQ(order, (std::vector<std::string>{"append", "sync", "told", "told"}));

    link.DisableDataManagerLink("gone");
    order.clear();
    monitorFile.AppendValue("HR", "", "", "bpm", t2 + kOneSecond * 20, 75, TValueTiming::Grid);
    EXPECT_EQ(order, (std::vector<std::string>{"append"}));
    // The end of an import makes what was written without a sync durable, once per file.
    monitorFile.AppendValue("HR", "", "", "bpm", t2 + kOneSecond * 30, 76, TValueTiming::Grid);
    order.clear();
    monitorFile.SyncWrittenFiles();
    monitorFile.SyncWrittenFiles();
    EXPECT_EQ(order, (std::vector<std::string>{"sync"}));
}

TEST_F(PatientMonitorFileTest, AFailingDataManagerEndsTheLinkButNotTheWriting)
{
    Open();
    recorder.fail = true;
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    EXPECT_FALSE(link.LinkEnabled());
    recorder.fail = false;
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 73, TValueTiming::Grid);
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_EQ(Stored("Halcyra.pil").at(0).points.size(), 2u);
}

TEST_F(PatientMonitorFileTest, OpeningReadsOnlyTheHeaderAndNotAgainWhileTheFileIsUnchanged)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    Open();
    const int reads = io->headerReads;
    for (int message = 0; message < 5; ++message) {
        Open();
        monitorFile.AppendValue("HR", "", "", "bpm", t1 + message * kOneSecond, 72, TValueTiming::Grid);
        monitorFile.AppendDelimiter("HR", "", "", "bpm", 0, t2);
    }
    EXPECT_EQ(io->headerReads, reads);
    EXPECT_EQ(io->wholeReads, 0);

    // Someone else's point or declaration makes the next open read the header again.
    MakeFile("Halcyra.pil", "Halcyra", "1234567890", {1});
    Open();
    EXPECT_GT(io->headerReads, reads);
    ASSERT_EQ(monitorFile.SeriesList().size(), 2u);
    EXPECT_EQ(monitorFile.SeriesList()[1]->Info.ParameterName(), "P1");
    EXPECT_EQ(io->wholeReads, 0);

    // Another patient's file in between keeps both headers.
    const std::string otherFolder = "C:\\KVD\\DATA\\555\\";
    fs::create_directories(files.HostPath(otherFolder));
    monitorFile.OpenPatientMonitorFile(writer, otherFolder, "555", "Bo Ek");
    Open();
    const int afterBoth = io->headerReads;
    monitorFile.OpenPatientMonitorFile(writer, otherFolder, "555", "Bo Ek");
    Open();
    EXPECT_EQ(io->headerReads, afterBoth);
    EXPECT_EQ(monitorFile.SeriesList().size(), 2u);
}

// Declaring our own series replaces the file, which still holds what is kept of it: a station that brings new
// labels with every message does not make each open read the header again. A point someone else appended
// before the declaration does.
TEST_F(PatientMonitorFileTest, OurOwnDeclarationsKeepTheFileStateAndAForeignPointDoesNot)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    const int reads = io->headerReads;
    for (int message = 1; message <= 5; ++message) {
        Open();
        const TDateTime at = t1 + message * kOneSecond;
        ASSERT_EQ(monitorFile.AppendValues({{"HR", "", "", "bpm", at, 72, TValueTiming::Grid},
                                            {"S" + std::to_string(message), "", "", "u", at, 1, TValueTiming::Grid}}),
                  2);
    }
    EXPECT_EQ(io->headerReads, reads);

    AppendRawValues("Halcyra.pil", 1, t2);  // series 0, HR
    ASSERT_TRUE(monitorFile.AppendValue("S9", "", "", "u", t1, 1, TValueTiming::Grid));
    Open();
    EXPECT_GT(io->headerReads, reads);
    EXPECT_FALSE(monitorFile.AppendValue("HR", "", "", "bpm", t2, 80, TValueTiming::Grid)) << "written twice";
    EXPECT_EQ(Stored("Halcyra.pil").size(), 7u);
}

TEST_F(PatientMonitorFileTest, ASeriesThatCannotBeDeclaredLosesOnlyItsOwnValueAndSaysSo)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Grid);
    io->failUpdates = true;
    EXPECT_NO_THROW(monitorFile.AppendValue("SpO2", "", "", "%", t1, 98, TValueTiming::Grid));
    // The rest of the message is still written.
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 73, TValueTiming::Grid);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Could not declare SpO2 in " + folder + "Halcyra.pil: ", 0), 0u) << log[0];
    EXPECT_EQ(monitorFile.SeriesList().size(), 1u);
    EXPECT_EQ(recorder.calls.size(), 2u);

    io->failUpdates = false;
    monitorFile.AppendValue("SpO2", "", "", "%", t2, 97, TValueTiming::Grid);
    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].points.size(), 2u);
    EXPECT_EQ(stored[1].index, 1);
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t2, 97}}));
}

// A message's values for a patient: the new series are declared with one replacement of the file, then the
// points follow in message order, each into a file that already declares its series.
TEST_F(PatientMonitorFileTest, TheNewSeriesOfAMessageAreDeclaredWithOneRewriteBeforeItsPoints)
{
    Open();
    Value("HR", t1, 70);
    const int before = io->replacements;
    const auto inode = fileio::StampOf(Host("Halcyra.pil")).inode;
    std::vector<TFileValue> values;
    for (int i = 0; i < 40; ++i) values.push_back({"P" + std::to_string(i), "", "", "u", t2, double(i)});
    values.insert(values.begin() + 5, TFileValue{"HR", "", "", "", t2, 71});
    values.push_back({"P3", "", "", "u", t2 + kOneSecond, 99, TValueTiming::Own});
    const int appends = io->appends;
    EXPECT_EQ(monitorFile.AppendValues(values), 42);

    // The points went in with the declaration's replacement.
    EXPECT_EQ(io->replacements - before, 1);
    EXPECT_EQ(io->appends, appends);
    EXPECT_NE(fileio::StampOf(Host("Halcyra.pil")).inode, inode);
    EXPECT_EQ(io->appendProblems, std::vector<std::string>{});
    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 41u);
    EXPECT_EQ(stored[0].points, (std::vector<std::pair<double, double>>{{t1, 70}, {t2, 71}}));
    EXPECT_EQ(stored[4].name, "P3");
    EXPECT_EQ(stored[4].points, (std::vector<std::pair<double, double>>{{t2, 3}, {t2 + kOneSecond, 99}}));
    // The data manager hears of each point as it is written, in message order.
    ASSERT_EQ(recorder.calls.size(), 43u);
    EXPECT_EQ(recorder.calls[5], "1234567890 P4 u 4.000000");
    EXPECT_EQ(recorder.calls[6], "1234567890 HR  71.000000");
    EXPECT_EQ(recorder.calls.back(), "1234567890 P3 u 99.000000");

    // A message of known series only does not rewrite the file: its points go in with one append.
    EXPECT_EQ(monitorFile.AppendValues({{"P1", "", "", "u", t2 + 10 * kOneSecond, 1},
                                        {"P2", "", "", "u", t2 + 10 * kOneSecond, 2},
                                        {"HR", "", "", "", t2 + 10 * kOneSecond, 72}}),
              3);
    EXPECT_EQ(io->replacements - before, 1);
    EXPECT_EQ(io->appends, appends + 1);
    EXPECT_EQ(Stored("Halcyra.pil")[0].points.back(), (std::pair<double, double>{t2 + 10 * kOneSecond, 72}));
}

// A crash while declaring leaves the file as it was, and the values of series the file had are written. The
// declaration carries the message's points, so the file never holds the new series without them; an
// append that fails writes none of the message's points. Either way the file is sound.
TEST_F(PatientMonitorFileTest, ACrashAroundTheDeclarationLeavesASoundFile)
{
    const auto fileProblems = [&] {
        std::ifstream in(Host("Halcyra.pil"), std::ios::binary);
        return CheckMonitorFile(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    };
    Open();
    Value("HR", t1, 70);
    io->crashBeforeReplace = true;
    EXPECT_EQ(monitorFile.AppendValues(
                  {{"SpO2", "", "", "%", t2, 97}, {"HR", "", "", "", t2, 71}, {"RR", "", "", "rpm", t2, 16}}),
              1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Could not declare SpO2 and 1 other series in " + folder + "Halcyra.pil: ", 0), 0u)
        << log[0];
    EXPECT_EQ(fileProblems(), std::vector<std::string>{});
    EXPECT_EQ(Stored("Halcyra.pil").size(), 1u);

    io->crashBeforeReplace = false;
    io->failAppends = true;  // no append is needed: the replacement takes the points
    const int appends = io->appends;
    EXPECT_EQ(monitorFile.AppendValues({{"SpO2", "", "", "%", t2, 97}, {"RR", "", "", "rpm", t2, 16}}), 2);
    EXPECT_EQ(io->appends, appends);
    EXPECT_EQ(fileProblems(), std::vector<std::string>{});
    auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t2, 97}}));
    EXPECT_EQ(stored[2].points, (std::vector<std::pair<double, double>>{{t2, 16}}));

    const std::size_t told = recorder.calls.size();
    const std::vector<TFileValue> next = {{"HR", "", "", "", t2 + kOneSecond * 10, 72},
                                          {"SpO2", "", "", "%", t2 + kOneSecond * 10, 96}};
    EXPECT_EQ(monitorFile.AppendValues(next), 0);
    EXPECT_EQ(recorder.calls.size(), told);
    EXPECT_EQ(Stored("Halcyra.pil"), stored);
    // Nothing of the failed message counts as written: it is written whole once the file takes it.
    io->failAppends = false;
    EXPECT_EQ(monitorFile.AppendValues(next), 2);
    EXPECT_EQ(recorder.calls.size(), told + 2);
    EXPECT_EQ(fileProblems(), std::vector<std::string>{});
    EXPECT_EQ(io->appendProblems, std::vector<std::string>{});
}

// A file holds at most kMaxSeriesPerFile series: a value of a new series beyond them is not written, which
// is logged once per file; the file's own series keep being written.
TEST_F(PatientMonitorFileTest, AFullFileTakesNoNewSeriesAndSaysSoOnce)
{
    Open();
    std::vector<TFileValue> values;
    for (std::size_t i = 0; i + 2 < kMaxSeriesPerFile; ++i)
        values.push_back({"P" + std::to_string(i), "", "", "u", t1, 1});
    ASSERT_EQ(monitorFile.AppendValues(values), static_cast<int>(values.size()));
    EXPECT_TRUE(log.empty());

    EXPECT_EQ(monitorFile.AppendValues({{"A", "", "", "u", t2, 1},
                                        {"B", "", "", "u", t2, 2},
                                        {"C", "", "", "u", t2, 3},
                                        {"A", "", "", "u", t2 + kOneSecond, 4, TValueTiming::Own},
                                        {"P0", "", "", "u", t2, 5},
                                        {"D", "", "", "u", t2, 6}}),
              4);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], folder + "Halcyra.pil of patient 1234567890 holds " + std::to_string(kMaxSeriesPerFile) +
                          " series, the most a file takes: new series (the first is C) are not declared and their "
                          "values are not written");
    EXPECT_FALSE(Value("E", t2, 7));
    EXPECT_EQ(monitorFile.SeriesIndexFor("E", "", "", "u"), -1);
    EXPECT_EQ(log.size(), 1u);

    // As another run finds it.
    TOtherWriter later(*this);
    EXPECT_EQ(later.file.SeriesList().size(), kMaxSeriesPerFile);
    EXPECT_FALSE(later.file.AppendValue("F", "", "", "u", t2, 8, TValueTiming::Grid));
    EXPECT_TRUE(later.file.AppendValue("B", "", "", "u", t2 + kOneSecond, 9, TValueTiming::Grid));
    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), kMaxSeriesPerFile);
    EXPECT_EQ(stored[kMaxSeriesPerFile - 2].points,
              (std::vector<std::pair<double, double>>{{t2, 1}, {t2 + kOneSecond, 4}}));
    EXPECT_EQ(stored.back().name, "B");
    EXPECT_EQ(stored.back().points.size(), 2u);
}

TEST_F(PatientMonitorFileTest, AKeptHeaderIsNotUsedForAnotherPatientId)
{
    Open();
    monitorFile.OpenPatientMonitorFile(writer, folder, "other", "Ann Lee");
    EXPECT_EQ(monitorFile.MonitorName(), "Halcyra1");
}

TEST_F(PatientMonitorFileTest, APeriodicValueIsWrittenOncePerSeriesAndTime)
{
    Open();
    EXPECT_TRUE(Value("HR", t1, 72));
    EXPECT_FALSE(Value("HR", t1, 73));
    EXPECT_TRUE(Value("SpO2", t1, 98));  // another series at that time
    // Aperiodic values keep their own times and are written as they come, also between the periodic ones.
    EXPECT_TRUE(Value("HR", t1 + 3 * kOneSecond, 80, TValueTiming::Own));
    EXPECT_TRUE(Value("HR", t1 + 3 * kOneSecond, 81, TValueTiming::Own));
    EXPECT_FALSE(Value("HR", t1, 74));  // the grid time before them is still known
    EXPECT_TRUE(Value("HR", t2, 75));

    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].points, (std::vector<std::pair<double, double>>{
                                    {t1, 72}, {t1 + 3 * kOneSecond, 80}, {t1 + 3 * kOneSecond, 81}, {t2, 75}}));
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t1, 98}}));
    // The data manager hears only of points in the file; a skipped value is no written time.
    EXPECT_EQ(recorder.calls.size(), 5u);
    EXPECT_FALSE(Value("SpO2", t1, 97));
    EXPECT_EQ(monitorFile.LastWrittenTime(), t2);
    EXPECT_EQ(monitorFile.ValuesWritten(), 5);
}

TEST_F(PatientMonitorFileTest, AGridTimeAlreadyInTheFileIsNotWrittenAgainByALaterRunOrAnotherWriter)
{
    const TDateTime t3 = t2 + 10 * kOneSecond;
    struct TCase {
        const char* what;
        std::function<void()> before;  // what the file holds when our writer opens it again
        TDateTime time;
        bool written;
    };
    const std::vector<TCase> cases = {
        {"a later run, mid-interval", [] {}, t2, false},
        {"a later run, the next grid time", [] {}, t3, true},
        {"another writer appended the time meanwhile",
         [&] {
             TOtherWriter other(*this);
             other.file.AppendValue("HR", "", "", "bpm", t3, 90, TValueTiming::Grid);
         },
         t3, false},
        {"a long run of values by another writer",
         [&] {
             TOtherWriter other(*this);
             other.file.AppendValue("SpO2", "", "", "%", t2, 97, TValueTiming::Grid);
             AppendRawValues("Halcyra.pil", 1000, t3);  // of series 0, HR
             other.file.AppendValue("SpO2", "", "", "%", t3, 96, TValueTiming::Grid);
         },
         t3 + 999 * kOneSecond, false},
        // Records of another size: where the records before them begin is not known, so nothing is
        // skipped rather than a value lost.
        {"a record of another producer",
         [&] {
             const std::int32_t head[2] = {221, 30};
             std::ofstream(Host("Halcyra.pil"), std::ios::binary | std::ios::app)
                 << std::string(reinterpret_cast<const char*>(head), 8) << std::string(30, '\0');
             TOtherWriter other(*this);
             other.file.AppendValue("HR", "", "", "bpm", t3, 90, TValueTiming::Grid);
         },
         t3, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Host(""));
        fs::create_directories(Host(""));
        {
            TOtherWriter earlier(*this);
            earlier.file.AppendValue("HR", "", "", "bpm", t1, 70, TValueTiming::Grid);
            earlier.file.AppendValue("HR", "", "", "bpm", t2, 72, TValueTiming::Grid);
        }
        // A fresh writer, as after a restart: only the file tells what it holds.
        TSaveItNew freshWriter(io);
        TPatientMonitorFile fresh(files, io, params, notices);
        fresh.OpenPatientMonitorFile(freshWriter, folder, "1234567890", "Ann Lee");
        c.before();
        fresh.OpenPatientMonitorFile(freshWriter, folder, "1234567890", "Ann Lee");
        const std::size_t before = Stored("Halcyra.pil").at(0).points.size();
        EXPECT_EQ(fresh.AppendValue("HR", "", "", "bpm", c.time, 75, TValueTiming::Grid), c.written);
        EXPECT_EQ(Stored("Halcyra.pil").at(0).points.size(), before + (c.written ? 1 : 0));
    }
}

TEST_F(PatientMonitorFileTest, OpeningALongFileReadsOnlyItsHeaderAndItsLastRecords)
{
    Open();
    Value("HR", t1, 70);
    Value("SpO2", t1, 97);
    AppendRawValues("Halcyra.pil", 100000, t2);  // 2.6 MB of HR
    Value("SpO2", t2, 96);

    TSaveItNew freshWriter(io);
    TPatientMonitorFile fresh(files, io, params, notices);
    const std::int64_t before = io->bytesRead;
    fresh.OpenPatientMonitorFile(freshWriter, folder, "1234567890", "Ann Lee");
    EXPECT_LT(io->bytesRead - before, 64 * 1024);
    EXPECT_EQ(io->wholeReads, 0);
    // Both series' last points were found: the last HR time, and SpO2's.
    EXPECT_FALSE(fresh.AppendValue("HR", "", "", "", t2 + 99999 * kOneSecond, 1, TValueTiming::Grid));
    EXPECT_FALSE(fresh.AppendValue("SpO2", "", "", "", t2, 1, TValueTiming::Grid));
    EXPECT_FALSE(fresh.AppendValue("SpO2", "", "", "", t1 + kOneSecond, 1, TValueTiming::Grid));
    EXPECT_TRUE(fresh.AppendValue("SpO2", "", "", "", t2 + kOneSecond, 1, TValueTiming::Grid));
    EXPECT_TRUE(fresh.AppendValue("HR", "", "", "", t2 + 100000 * kOneSecond, 1, TValueTiming::Grid));
}

TEST_F(PatientMonitorFileTest, ADelimiterClosesOnlyAnOpenSeriesAfterItsOwnLastPoint)
{
    params.ExcludedParams().emplace_back(3, "RR");
    Open();
    Value("HR", t2, 72);
    Value("NBPs", t1, 120, TValueTiming::Own);  // an older time, written last
    Value("RR", t2, 16);                        // excluded: declared, no point
    ASSERT_EQ(monitorFile.LastWrittenTime(), t1);

    EXPECT_EQ(Delimiter("HR", t1), t2 + kOneSecond);
    EXPECT_EQ(Delimiter("NBPs", t1), t1 + kOneSecond);
    EXPECT_EQ(Delimiter("RR", t1), std::nullopt);    // nothing to close
    EXPECT_EQ(Delimiter("Temp", t1), std::nullopt);  // no such series: none is declared for a delimiter
    EXPECT_EQ(Delimiter("HR", t1), std::nullopt);    // closed already
    EXPECT_EQ(monitorFile.SeriesList().size(), 3u);

    // A later run learns from the file which series are closed.
    TOtherWriter later(*this);
    EXPECT_EQ(later.file.AppendDelimiter("HR", "", "", "", 0, t2), std::nullopt);
    later.file.AppendValue("HR", "", "", "", t2 + 10 * kOneSecond, 73, TValueTiming::Grid);
    EXPECT_EQ(later.file.AppendDelimiter("HR", "", "", "", 0, t1), t2 + 11 * kOneSecond);
    EXPECT_EQ(later.file.AppendDelimiter("NBPs", "", "", "", 0, t1), std::nullopt);

    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].delimiters, (std::vector<double>{t2 + kOneSecond, t2 + 11 * kOneSecond}));
    EXPECT_EQ(stored[1].delimiters, (std::vector<double>{t1 + kOneSecond}));
    EXPECT_TRUE(stored[2].delimiters.empty());
}

TEST_F(PatientMonitorFileTest, ClosingSeriesNeverCreatesAFile)
{
    const std::string empty = "C:\\KVD\\DATA\\555\\";
    fs::create_directories(files.HostPath(empty));
    monitorFile.OpenExistingPatientMonitorFile(writer, empty, "555", "Bo Ek");
    EXPECT_FALSE(monitorFile.IsOpen());
    EXPECT_TRUE(fs::is_empty(files.HostPath(empty)));

    // Values would go to a new Halcyra.pil, so Halcyra1.pil holds no open series of the patient.
    MakeFile("Halcyra1.pil", "Halcyra", "1234567890");
    monitorFile.OpenExistingPatientMonitorFile(writer, folder, "1234567890", "Ann Lee");
    EXPECT_FALSE(monitorFile.IsOpen());
    EXPECT_FALSE(fs::exists(Host("Halcyra.pil")));

    MakeFile("Halcyra.pil", "Other", "1234567890");
    monitorFile.OpenExistingPatientMonitorFile(writer, folder, "1234567890", "Ann Lee");
    EXPECT_TRUE(monitorFile.IsOpen());
    EXPECT_EQ(monitorFile.MonitorName(), "Halcyra1");
}

}  // namespace
}  // namespace halcyra
