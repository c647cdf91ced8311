#include "patients/PatientMonitorFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

// The real file access, counting what is read.
class TCountingIo final : public TPosixSaveFileIo {
public:
    std::unique_ptr<TStream> OpenRead(const fs::path& path) override
    {
        ++headerReads;
        return TPosixSaveFileIo::OpenRead(path);
    }
    std::string ReadAll(const fs::path& path) override
    {
        ++wholeReads;
        return TPosixSaveFileIo::ReadAll(path);
    }
    void Update(const fs::path& path, const std::function<std::string(std::string current)>& rewrite) override
    {
        if (failUpdates) throw ESaveFileIoError("cannot replace " + path.string());
        TPosixSaveFileIo::Update(path, rewrite);
    }
    int headerReads = 0;
    int wholeReads = 0;
    bool failUpdates = false;
};

class TRecorder final : public IDataManagerLinkFactory, public IQuarzelAutoObject {
public:
    std::unique_ptr<IQuarzelAutoObject> Create() override { return std::make_unique<TForward>(*this); }
    void NotifyDataChanged() override {}
    void SetCollectorState(std::int32_t, std::int32_t) override {}
    void AddValue(std::string_view id, std::string_view label, std::string_view unit, double, double value) override
    {
        if (fail) throw EDataManagerError("refused");
        calls.push_back(std::string(id) + " " + std::string(label) + " " + std::string(unit) + " " +
                        std::to_string(value));
    }
    void AddDelimiter(std::int32_t, std::string_view, std::string_view, double, std::int32_t) override {}

    std::vector<std::string> calls;
    bool fail = false;

private:
    class TForward final : public IQuarzelAutoObject {
    public:
        explicit TForward(TRecorder& to) : to_(to) {}
        void NotifyDataChanged() override {}
        void SetCollectorState(std::int32_t, std::int32_t) override {}
        void AddValue(std::string_view p, std::string_view l, std::string_view u, double t, double v) override
        {
            to_.AddValue(p, l, u, t, v);
        }
        void AddDelimiter(std::int32_t, std::string_view, std::string_view, double, std::int32_t) override {}

    private:
        TRecorder& to_;
    };
};

struct TStoredSeries {
    std::uint16_t index;
    std::string name;
    std::string unit;
    std::vector<std::pair<double, double>> points;  // time, value
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
            TStoredSeries s{serie->Index, serie->Info.ParameterName(), serie->UnitName, {}};
            if (serie->Serie)
                for (const auto& point : serie->Serie->DataSet().Points())
                    s.points.emplace_back(point->XValue, point->YValue);
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

    test::TTempDir dir;
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir / "registry");
    TSettingsStore settings{*registry};
    TParameterModel params{settings};
    TRecorder recorder;
    TDataManagerLink link;
    std::shared_ptr<TCountingIo> io = std::make_shared<TCountingIo>();
    TSaveItNew writer{io};
    TPatientMonitorFile monitorFile{files, io, params, link};
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
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 72, TValueTiming::Periodic);
    monitorFile.AppendValue("SpO2", "", "", "%", t2, 98, TValueTiming::Periodic);
    // An earlier time stamp still becomes the last written.
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 73, TValueTiming::Periodic);

    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].index, 0);
    EXPECT_EQ(stored[0].name, "HR");
    EXPECT_EQ(stored[0].unit, "bpm");
    EXPECT_EQ(stored[0].points, (std::vector<std::pair<double, double>>{{t2, 72}, {t1, 73}}));
    EXPECT_EQ(stored[1].index, 1);
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t2, 98}}));
    EXPECT_EQ(monitorFile.LastWrittenTime(), t1);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"1234567890 HR bpm 72.000000", "1234567890 SpO2 % 98.000000",
                                                        "1234567890 HR bpm 73.000000"}));

    // Opened again, the list mirrors the file and new series continue its numbering.
    Open();
    ASSERT_EQ(monitorFile.SeriesList().size(), 2u);
    EXPECT_EQ(monitorFile.SeriesList()[1]->Info.ParameterName(), "SpO2");
    EXPECT_EQ(monitorFile.SeriesList()[1]->Serie, nullptr);
    monitorFile.AppendValue("RR", "", "", "rpm", t2, 16, TValueTiming::Periodic);
    EXPECT_EQ(Stored("Halcyra.pil").at(2).index, 2);
}

TEST_F(PatientMonitorFileTest, AnEmptyUnitMatchesAnySeriesOfTheLabelAndAnotherUnitMakesANewOne)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    monitorFile.AppendValue("HR", "", "", "", t2, 73, TValueTiming::Periodic);
    monitorFile.AppendValue("HR", "", "", "1/min", t1, 74, TValueTiming::Periodic);
    monitorFile.AppendValue("hr", "", "", "bpm", t1, 75, TValueTiming::Periodic);
    monitorFile.AppendValue("HR", "arm", "", "bpm", t1, 76, TValueTiming::Periodic);
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
        monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
        const auto stored = Stored(std::string(c.expectedName) + ".pil");
        ASSERT_EQ(stored.size(), 1u) << c.what;
        EXPECT_EQ(stored[0].points.size(), 1u) << c.what;
    }
}

TEST_F(PatientMonitorFileTest, WithoutAnyUsableFileNothingIsWrittenAnywhereAndTheLossIsLogged)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    const auto before = Stored("Halcyra.pil");

    const std::string missing = "C:\\KVD\\DATA\\missing\\";
    monitorFile.OpenPatientMonitorFile(writer, missing, "555", "Bo Ek");
    EXPECT_FALSE(monitorFile.IsOpen());
    EXPECT_EQ(monitorFile.Writer(), nullptr);
    EXPECT_TRUE(monitorFile.SeriesList().empty());
    EXPECT_FALSE(fs::exists(files.HostPath(missing)));  // no folder is made

    monitorFile.AppendValue("HR", "", "", "bpm", t2, 80, TValueTiming::Periodic);
    monitorFile.AppendValue("SpO2", "", "", "%", t2, 90, TValueTiming::Periodic);
    EXPECT_EQ(monitorFile.SeriesIndexFor("HR", "", "", "bpm"), -1);
    EXPECT_FALSE(monitorFile.AppendDelimiter("HR", "", "", "bpm", 1, t2).has_value());
    EXPECT_EQ(Stored("Halcyra.pil").at(0).points, before.at(0).points);  // the last patient's file is untouched
    EXPECT_EQ(monitorFile.LastWrittenTime(), t1);
    EXPECT_EQ(recorder.calls.size(), 1u);
    ASSERT_EQ(log.size(), 1u);  // one line for the message, naming the patient and the folder
    EXPECT_NE(log[0].find("555"), std::string::npos);
    EXPECT_NE(log[0].find(missing), std::string::npos);

    monitorFile.OpenPatientMonitorFile(writer, missing, "555", "Bo Ek");
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 80, TValueTiming::Periodic);
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(PatientMonitorFileTest, AnExcludedValueDeclaresItsSeriesButWritesNoPoint)
{
    params.ExcludedParams().emplace_back(1, "HR");
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].points.empty());
    EXPECT_EQ(monitorFile.LastWrittenTime(), 0);
    EXPECT_TRUE(recorder.calls.empty());

    params.SetAutomatic(true);
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    EXPECT_EQ(Stored("Halcyra.pil").at(0).points.size(), 1u);
}

TEST_F(PatientMonitorFileTest, AFailingDataManagerEndsTheLinkButNotTheWriting)
{
    Open();
    recorder.fail = true;
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    EXPECT_FALSE(link.LinkEnabled());
    recorder.fail = false;
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 73, TValueTiming::Periodic);
    EXPECT_TRUE(recorder.calls.empty());
    EXPECT_EQ(Stored("Halcyra.pil").at(0).points.size(), 2u);
}

TEST_F(PatientMonitorFileTest, OpeningReadsOnlyTheHeaderAndNotAgainWhileTheFileIsUnchanged)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    Open();
    const int reads = io->headerReads;
    for (int message = 0; message < 5; ++message) {
        Open();
        monitorFile.AppendValue("HR", "", "", "bpm", t1 + message * kOneSecond, 72, TValueTiming::Periodic);
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

TEST_F(PatientMonitorFileTest, ASeriesThatCannotBeDeclaredLosesOnlyItsOwnValueAndSaysSo)
{
    Open();
    monitorFile.AppendValue("HR", "", "", "bpm", t1, 72, TValueTiming::Periodic);
    io->failUpdates = true;
    EXPECT_NO_THROW(monitorFile.AppendValue("SpO2", "", "", "%", t1, 98, TValueTiming::Periodic));
    // The rest of the message is still written.
    monitorFile.AppendValue("HR", "", "", "bpm", t2, 73, TValueTiming::Periodic);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Could not declare SpO2 in " + folder + "Halcyra.pil: ", 0), 0u) << log[0];
    EXPECT_EQ(monitorFile.SeriesList().size(), 1u);
    EXPECT_EQ(recorder.calls.size(), 2u);

    io->failUpdates = false;
    monitorFile.AppendValue("SpO2", "", "", "%", t2, 97, TValueTiming::Periodic);
    const auto stored = Stored("Halcyra.pil");
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].points.size(), 2u);
    EXPECT_EQ(stored[1].index, 1);
    EXPECT_EQ(stored[1].points, (std::vector<std::pair<double, double>>{{t2, 97}}));
}

TEST_F(PatientMonitorFileTest, AKeptHeaderIsNotUsedForAnotherPatientId)
{
    Open();
    monitorFile.OpenPatientMonitorFile(writer, folder, "other", "Ann Lee");
    EXPECT_EQ(monitorFile.MonitorName(), "Halcyra1");
}

}  // namespace
}  // namespace halcyra
