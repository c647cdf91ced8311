// What one message can carry at the edges: patient fields longer than the folders, files and registry hold,
// and time stamps far from the clock. Each is cut or replaced, logged once, and the values still written.
#include "EngineFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using test::AperiodicObx;
using test::At;
using test::FileContent;
using test::Msh;
using test::Obr;
using test::Obx;
using test::Pid;
using test::TEngineFixture;

using test::kHR;
using test::kNBP;

constexpr std::size_t kMiB = 1024 * 1024;

std::vector<std::string> LogLinesWith(const TEngineFixture& f, const std::string& text)
{
    std::vector<std::string> lines;
    for (const std::string& line : f.logLines)
        if (line.find(text) != std::string::npos) lines.push_back(line);
    return lines;
}

// The log lines of long patient fields: an ID kept with its digest, a name cut.
std::vector<std::string> CutLines(const TEngineFixture& f)
{
    std::vector<std::string> lines;
    for (const std::string& line : f.logLines)
        if (line.find(" is kept as ") != std::string::npos || line.find(" is cut to ") != std::string::npos)
            lines.push_back(line);
    return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::string Folder(const std::string& id)
{
    return "C:\\KVD\\DATA\\" + id + "\\";
}

TEST(MessageLimits, LongPatientFieldsAreCutLoggedOnceAndTheValuesWritten)
{
    struct TCase {
        std::string name;
        std::string pid3;
        std::string pid5;
        std::string id;  // as cut
        std::string first;
        std::string last;
        std::vector<std::string> logged;  // what each log line of a cut says, in order
    };
    const std::string longName(kMiB, 'N');
    const std::string keptMiB = std::string(246, '7') + "~f9ec9dc5";
    const std::string loggedMiB = "Patient ID of " + std::to_string(kMiB) + " characters (" + std::string(40, '7') +
                                  "...) is kept as " + std::string(12, '7') + "..." + std::string(12, '7') +
                                  "~f9ec9dc5: a folder name holds 255 bytes";
    const TCase cases[] = {
        {"1 MiB name",
         "123456",
         "Smith^" + longName,
         "123456",
         std::string(255, 'N'),
         "Smith",
         {"Patient 123456: the name of " + std::to_string(kMiB + 6) + " characters is cut to 255 for each part"}},
        {"1 MiB ID", std::string(kMiB, '7'), "Smith^John", keptMiB, "John", "Smith", {loggedMiB}},
        {"both",
         std::string(kMiB, '7'),
         "Smith^" + longName,
         keptMiB,
         std::string(255, 'N'),
         "Smith",
         {loggedMiB, "Patient " + std::string(40, '7') + "...: the name of " + std::to_string(kMiB + 6) +
                         " characters is cut to 255"}},
        // 0xE9 takes two bytes in a folder name on the host.
        {"ID of 300 characters of 2 bytes",
         std::string(300, '\xE9'),
         "Smith^John",
         std::string(123, '\xE9') + "~1222da61",
         "John",
         "Smith",
         {"Patient ID of 300 characters (" + std::string(40, '\xE9') + "...) is kept as " + std::string(12, '\xE9') +
          "..." + std::string(12, '\xE9') + "~1222da61: a folder name"}},
        // The ID is taken from the cut name, which fits a folder name.
        {"ID from a long last name",
         "",
         std::string(300, 'L') + "^Ann",
         std::string(255, 'L'),
         "Ann",
         std::string(255, 'L'),
         {": the name of 304 characters is cut to 255"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TEngineFixture f;
        f.Collecting();
        f.TickAt(At(12, 0, 10, 300));
        f.ReceiveAt(At(12, 0, 12), {Msh(), Pid(c.pid3, c.pid5), Obr("20240506120012"), Obx(kHR, "72", "bpm")});
        f.TickAt(At(12, 0, 20, 300));
        f.ReceiveAt(At(12, 0, 21), {Msh(), Pid(c.pid3, c.pid5), Obr("20240506120021"), Obx(kHR, "72", "bpm")});

        EXPECT_EQ(f.handler.PatientID(), c.id);
        const int row = f.RowOf(c.id);
        ASSERT_GT(row, 0);
        EXPECT_EQ(f.census.Patient(row).FirstName, c.first);
        EXPECT_EQ(f.census.Patient(row).LastName, c.last);
        EXPECT_LE(f.census.Row(row).text.size(), 255u + 2 + 255);
        EXPECT_LE(f.settings.RootHive().ReadString(kProgramKey, "Patient1").size(), 1000u);
        // Both messages' values, in the folder of the cut ID, whose file holds no more than the cut texts.
        EXPECT_EQ(f.Values(), (std::vector<std::string>{c.id + " HR bpm 2024-05-06T12:00:10.000 72",
                                                        c.id + " HR bpm 2024-05-06T12:00:20.000 72"}));
        ASSERT_TRUE(f.files.FileExists(Folder(c.id) + "Halcyra.pil"));
        EXPECT_LT(std::filesystem::file_size(f.files.HostPath(Folder(c.id) + "Halcyra.pil")), 16u * 1024);
        const std::vector<std::string> logged = CutLines(f);
        ASSERT_EQ(logged.size(), c.logged.size());
        for (std::size_t k = 0; k < logged.size(); ++k) {
            EXPECT_NE(logged[k].find(c.logged[k]), std::string::npos) << logged[k];
            EXPECT_LT(logged[k].size(), 400u);
        }
    }
}

// IDs alike in all that fits in a folder name used to share a census row, a folder and a file: the second
// patient's values went to the first one's file, or were refused as another patient's.
TEST(MessageLimits, LongIdsAlikeInAllThatFitsKeepTheirOwnRowsFoldersAndFiles)
{
    TEngineFixture f;
    f.Collecting();
    const std::string common(255, '7');
    const std::string ann = common + std::string(45, 'A');
    const std::string bo = common + std::string(45, 'B');
    const std::string keptAnn = std::string(246, '7') + "~c38d463f";
    const std::string keptBo = std::string(246, '7') + "~d2ddf9ee";
    for (int second : {12, 21}) {
        f.TickAt(At(12, 0, second - 2, 300));
        const std::string time = "202405061200" + std::to_string(second);
        f.ReceiveAt(At(12, 0, second), {Msh(), Pid(ann, "Lee^Ann"), Obr(time), Obx(kHR, "71", "bpm")});
        f.ReceiveAt(At(12, 0, second), {Msh(), Pid(bo, "Ek^Bo"), Obr(time), Obx(kHR, "82", "bpm")});
    }

    const int annRow = f.RowOf(keptAnn);
    const int boRow = f.RowOf(keptBo);
    ASSERT_GT(annRow, 0);
    ASSERT_GT(boRow, 0);
    EXPECT_NE(annRow, boRow);
    EXPECT_EQ(f.census.Patient(annRow).FirstName, "Ann");
    EXPECT_EQ(f.census.Patient(boRow).FirstName, "Bo");
    EXPECT_TRUE(f.census.IsTicked(annRow));
    EXPECT_TRUE(f.census.IsTicked(boRow));
    EXPECT_EQ(Sorted(f.files.ListDirectory("C:\\KVD\\DATA")), Sorted({keptAnn, keptBo}));
    // Each file whole: its own patient and values, nothing of the other.
    EXPECT_EQ(FileContent(f, Folder(keptAnn) + "Halcyra.pil"),
              (std::vector<std::string>{keptAnn, "HR 2024-05-06T12:00:10.000 71", "HR 2024-05-06T12:00:20.000 71"}));
    EXPECT_EQ(FileContent(f, Folder(keptBo) + "Halcyra.pil"),
              (std::vector<std::string>{keptBo, "HR 2024-05-06T12:00:10.000 82", "HR 2024-05-06T12:00:20.000 82"}));
    EXPECT_TRUE(LogLinesWith(f, "belongs to patient ID").empty());
    // One line for each ID, however many messages carried it.
    const std::vector<std::string> logged = CutLines(f);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_NE(logged[0].find("Patient ID of 300 characters (" + std::string(40, '7') + "...) is kept as " +
                             std::string(12, '7') + "..." + std::string(12, '7') + "~c38d463f"),
              std::string::npos)
        << logged[0];
    EXPECT_NE(logged[1].find("is kept as " + std::string(12, '7') + "..." + std::string(12, '7') + "~d2ddf9ee"),
              std::string::npos)
        << logged[1];
}

// A label or unit of a megabyte would name a series in the file and a default unit in the registry.
TEST(MessageLimits, LongObservationLabelsAndUnitsAreCutAndLoggedOnce)
{
    TEngineFixture f;
    f.Collecting();
    const std::string label(kMiB, 'L');
    const std::string unit(kMiB, 'U');
    for (int second : {12, 21}) {
        f.TickAt(At(12, 0, second - 2, 300));
        f.ReceiveAt(At(12, 0, second),
                    {Msh(), Pid("123456", "Smith^John"), Obr("202405061200" + std::to_string(second)),
                     Obx("1^" + label + "^MDIL", "72", unit), Obx(kHR, "60", "bpm")});
    }
    TSaveItNew reader(std::make_shared<TPosixSaveFileIo>());
    reader.SetFileName(f.files.HostPath(Folder("123456") + "Halcyra.pil"));
    reader.ReloadStructure();
    std::vector<std::string> series;
    for (const TParameterSerie* serie : reader.ParameterSeries())
        series.push_back(serie->Info.ParameterName() + " [" + serie->UnitName + "] " +
                         std::to_string(serie->Serie ? serie->Serie->DataSet().Points().size() : 0));
    EXPECT_EQ(Sorted(series), Sorted({std::string(255, 'L') + " [" + std::string(255, 'U') + "] 2", "HR [bpm] 2"}));
    EXPECT_EQ(LogLinesWith(f, "is cut to 255 characters").size(), 1u);
}

TEST(MessageLimits, TheDataStreamFileOfALongIdAndNameIsCutToAFileName)
{
    TEngineFixture f;
    f.view.saveDataStream = true;
    f.handler.Settings().debugFolder = "C:\\TEMP\\";
    f.files.ForceDirectories("C:\\TEMP");
    // 0xE9 takes two bytes on the host; the file is written beside a temporary file of a longer name.
    f.Receive({Msh(), Pid("12345", "Smith^" + std::string(kMiB, '\xE9')), Obr("20240506120008")});
    f.Receive({Msh(), Pid(std::string(kMiB, '7'), "Smith^Al"), Obr("20240506120008")});
    EXPECT_EQ(Sorted(f.files.ListDirectory("C:\\TEMP")),
              Sorted({"12345 " + std::string(106, '\xE9') + ".txt", std::string(219, '7') + ".txt"}));
}

TEST(MessageLimits, APatientWhoseFolderCannotBeMadeIsLoggedOnce)
{
    TEngineFixture f;
    f.Collecting();
    // A file where the patient's folder would be.
    ASSERT_TRUE(f.files.ForceDirectories("C:\\KVD\\DATA"));
    f.files.WriteFileAtomic("C:\\KVD\\DATA\\555", "not a folder");
    for (int second : {8, 9})
        f.ReceiveAt(At(12, 0, second), {Msh(), Pid("555", "Lee^Ann"), Obr("20240506120008"), Obx(kHR, "72", "bpm")});
    EXPECT_TRUE(f.Values().empty());
    const std::vector<std::string> logged = LogLinesWith(f, "no patient could be created");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("Patient ID 555: no patient could be created in C:\\KVD\\DATA\\555\\"), std::string::npos);
}

// The clock reads 2024-05-06 12:00:08; the interval is 10 s.
TEST(MessageLimits, AnObservationTimeMoreThanADayFromTheClockGivesTheArrival)
{
    struct TCase {
        std::string obr7;
        std::string written;
        bool logged;
    };
    const TCase cases[] = {
        {"99991231235959", "2024-05-06T12:00:10.000", true},  {"18000101000000", "2024-05-06T12:00:10.000", true},
        {"17520914000000", "2024-05-06T12:00:10.000", true},  {"00010101000000", "2024-05-06T12:00:10.000", true},
        {"20240507120009", "2024-05-06T12:00:10.000", true},  {"20240505120007", "2024-05-06T12:00:10.000", true},
        {"garbage", "2024-05-06T12:00:10.000", false},        {"20240507120007", "2024-05-07T12:00:10.000", false},
        {"20240505120009", "2024-05-05T12:00:10.000", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.obr7);
        TEngineFixture f;
        f.Collecting();
        f.ReceiveAt(At(12, 0, 8), {Msh(), Pid("1", "Lee^Ann"), Obr(c.obr7), Obx(kHR, "72", "bpm")});
        f.ReceiveAt(At(12, 0, 9), {Msh(), Pid("1", "Lee^Ann"), Obr(c.obr7), Obx(kHR, "73", "bpm")});
        EXPECT_EQ(f.Values(), std::vector<std::string>{"1 HR bpm " + c.written + " 72"});
        const std::vector<std::string> logged = LogLinesWith(f, "more than a day from the clock");
        ASSERT_EQ(logged.size(), c.logged ? 1u : 0u);
        if (c.logged) {
            EXPECT_NE(logged[0].find("Patient 1: the OBR-7 time " + c.obr7 +
                                     " is more than a day from the clock; the time of arrival is used"),
                      std::string::npos);
        }
    }
}

TEST(MessageLimits, AnAperiodicTimeMoreThanADayFromTheClockGivesTheArrival)
{
    TEngineFixture f;
    f.Collecting();
    // In order of time: a series never runs back.
    for (const char* time : {"20240506120003", "99991231235959", "18000101000000"})
        f.ReceiveAt(At(12, 0, 8, 500),
                    {Msh(), Pid("1", "Lee^Ann"), Obr("20240506120008"), AperiodicObx(kNBP, "120", "mmHg", time)});
    EXPECT_EQ(f.Values(), (std::vector<std::string>{"1 NBPs mmHg 2024-05-06T12:00:03.000 120",
                                                    "1 NBPs mmHg 2024-05-06T12:00:08.500 120",
                                                    "1 NBPs mmHg 2024-05-06T12:00:08.500 120"}));
    EXPECT_EQ(LogLinesWith(f, "Patient 1: the OBX-14 time 99991231235959 is more than a day").size(), 1u);
    EXPECT_EQ(LogLinesWith(f, "more than a day").size(), 1u);
}

}  // namespace
}  // namespace halcyra
