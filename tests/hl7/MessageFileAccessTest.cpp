// When the handling of a message looks at the patient folders and files: only when the message may write,
// and what it remembers of a folder or file is noticed to be stale when someone else changed it.
#include "EngineFixture.h"

#include "savefile/MonitorCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace halcyra {
namespace {

using test::At;
using test::Msh;
using test::Obr;
using test::Obx;
using test::Pid;
using test::TEngineFixture;

using test::kHR;
using test::kSpO2;

const std::string kFolder = "C:\\KVD\\DATA\\123456\\";

std::vector<std::string> Message(TDateTime time, const std::string& value = "72")
{
    return {Msh(), Pid("123456", "Smith^John"), Obr(FormatCompactStamp(time)), Obx(kHR, value, "bpm"),
            Obx(kSpO2, "97", "%")};
}

// Every file access the handling can make: through the file layer (each maps its path first) or through
// the monitor-data files' access.
std::uint64_t FileCalls(const TEngineFixture& f)
{
    return f.drives.PathsMapped() + static_cast<std::uint64_t>(f.countingIo->Calls);
}

// Receives the message and gives the file accesses it made.
std::uint64_t CallsOf(TEngineFixture& f, TDateTime now, const std::vector<std::string>& message)
{
    const std::uint64_t before = FileCalls(f);
    f.ReceiveAt(now, message);
    return FileCalls(f) - before;
}

// "label time value" of every value point of the file, read back whole.
std::vector<std::string> Points(const TEngineFixture& f, const std::filesystem::path& host)
{
    std::vector<std::string> points;
    if (!std::filesystem::exists(host)) return points;
    std::ifstream in(host, std::ios::binary);
    EXPECT_EQ(CheckMonitorFile(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())),
              std::vector<std::string>{});
    TSaveItNew reader(f.io);
    reader.SetFileName(host);
    reader.ReloadStructure();
    for (const TParameterSerie* serie : reader.ParameterSeries()) {
        if (!serie->Serie) continue;
        for (const auto& point : serie->Serie->DataSet().Points())
            points.push_back(serie->Info.ParameterName() + " " + FormatIsoMilliseconds(point->XValue) + " " +
                             std::to_string(static_cast<int>(point->YValue)));
    }
    return points;
}

std::filesystem::path MonitorFile(const TEngineFixture& f)
{
    return f.files.HostPath(kFolder + "Halcyra.pil");
}

TEST(MessageFileAccess, AMessageThatWillNotWriteMakesNoFileSystemCall)
{
    struct TCase {
        const char* patient;
        std::function<void(TEngineFixture&)> setUp;
        bool written;
    };
    const TCase cases[] = {
        {"written already in this interval", [](TEngineFixture& f) { f.Collecting(); }, true},
        {"not ticked",
         [](TEngineFixture& f) {
             f.patientFile.CreatePatient("123456", "John", "Smith", kFolder);
             f.cycle.SetStatus(csConnected);
             f.cycle.Start();
         },
         false},
        {"not registered, ticked",
         [](TEngineFixture& f) {
             f.cycle.SetStatus(csConnected);
             f.cycle.Start();
             f.ReceiveAt(At(12, 0, 4), Message(At(12, 0, 4)));
             f.census.SetTicked(f.RowOf("123456"), true);
         },
         false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.patient);
        TEngineFixture f;
        c.setUp(f);
        f.TickAt(At(12, 0, 10, 300));
        // The interval's first message looks at the folder (and writes when it may).
        EXPECT_GT(CallsOf(f, At(12, 0, 11), Message(At(12, 0, 11))), 0u);
        const std::size_t values = f.Values().size();
        EXPECT_EQ(values, c.written ? 2u : 0u);
        const int told = f.Count("NotifyDataChanged");
        for (int second = 12; second < 15; ++second)
            EXPECT_EQ(CallsOf(f, At(12, 0, second), Message(At(12, 0, second))), 0u) << second;
        EXPECT_EQ(f.Values().size(), values);
        // The data manager still hears of every message of a registered patient.
        EXPECT_EQ(f.Count("NotifyDataChanged") - told, c.patient == std::string("not registered, ticked") ? 0 : 3);

        // The next interval looks again.
        f.TickAt(At(12, 0, 20, 300));
        EXPECT_GT(CallsOf(f, At(12, 0, 21), Message(At(12, 0, 21))), 0u);
        EXPECT_EQ(f.Values().size(), values + (c.written ? 2u : 0u));
    }
}

// A folder someone removes is noticed by the next message that writes: made again when the patient may be
// made, and written again once the data manager makes it again otherwise; never a point twice.
TEST(MessageFileAccess, AFolderRemovedWhileRunningIsNoticedByTheNextWrite)
{
    for (const bool autoCreate : {true, false}) {
        SCOPED_TRACE(autoCreate ? "made again" : "made again by the data manager");
        TEngineFixture f;
        f.Collecting();
        f.TickAt(At(12, 0, 10, 300));
        f.ReceiveAt(At(12, 0, 11), Message(At(12, 0, 11), "70"));
        ASSERT_EQ(Points(f, MonitorFile(f)).size(), 2u);
        f.handler.Settings().autoCreate = autoCreate;

        // Late in the interval: the folder state learnt now stands into the next interval's first message.
        f.ReceiveAt(At(12, 0, 17), Message(At(12, 0, 17), "71"));
        std::filesystem::remove_all(f.files.HostPath(kFolder));
        f.ReceiveAt(At(12, 0, 18), Message(At(12, 0, 18), "71"));
        f.TickAt(At(12, 0, 20, 300));
        f.ReceiveAt(At(12, 0, 21), Message(At(12, 0, 21), "72"));
        if (!autoCreate) {
            EXPECT_FALSE(std::filesystem::exists(f.files.HostPath(kFolder)));
            f.patientFile.CreatePatient("123456", "John", "Smith", kFolder);
            f.TickAt(At(12, 0, 30, 300));
            f.ReceiveAt(At(12, 0, 31), Message(At(12, 0, 31), "73"));
        }
        const std::string grid = autoCreate ? "2024-05-06T12:00:20.000" : "2024-05-06T12:00:30.000";
        const std::string value = autoCreate ? "72" : "73";
        EXPECT_EQ(Points(f, MonitorFile(f)),
                  (std::vector<std::string>{"HR " + grid + " " + value, "SpO2 " + grid + " 97"}));
        EXPECT_TRUE(f.files.FileExists(kFolder + "Patient"));
        EXPECT_EQ(f.Values().size(), 4u);
    }
}

// A patient listed before collecting began is made by its first message while collecting, due or not,
// and takes the aperiodic value that message brings.
TEST(MessageFileAccess, APatientMadeByAMessageThatIsNotDueTakesItsAperiodicValue)
{
    TEngineFixture f;
    f.handler.Settings().autoCreate = true;
    f.cycle.SetStatus(csConnected);
    f.ReceiveAt(At(12, 0, 7), Message(At(12, 0, 7)));
    EXPECT_FALSE(f.files.FileExists(kFolder + "Patient"));
    f.cycle.Start();
    f.cycle.MarkSaved("123456", "Smith John", true);
    f.ReceiveAt(At(12, 0, 8), {Msh(), Pid("123456", "Smith^John"), Obr("20240506120008"), Obx(kHR, "72", "bpm"),
                               test::AperiodicObx(test::kNBP, "120", "mmHg", "20240506120006")});
    EXPECT_TRUE(f.files.FileExists(kFolder + "Patient"));
    EXPECT_EQ(Points(f, MonitorFile(f)), (std::vector<std::string>{"NBPs 2024-05-06T12:00:06.000 120"}));
}

// The drive C: is mapped elsewhere while running: the values go where the mapping now points, into a file
// read from there, and no more into the old one.
TEST(MessageFileAccess, AChangedDriveMappingIsNoticedByTheNextWrite)
{
    TEngineFixture f;
    f.Collecting();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 11), Message(At(12, 0, 11), "70"));
    const std::filesystem::path oldFile = f.dir / "prefix" / "drive_c" / "KVD" / "DATA" / "123456" / "Halcyra.pil";
    ASSERT_EQ(Points(f, oldFile).size(), 2u);

    f.ReceiveAt(At(12, 0, 17), Message(At(12, 0, 17), "71"));
    const std::filesystem::path driveC = f.dir / "prefix" / "dosdevices" / "c:";
    std::filesystem::create_directories(f.dir / "other_c");
    std::filesystem::remove(driveC);
    std::filesystem::create_directory_symlink(f.dir / "other_c", driveC);
    f.patientFile.CreatePatient("123456", "John", "Smith", kFolder);
    f.TickAt(At(12, 0, 20, 300));
    f.ReceiveAt(At(12, 0, 21), Message(At(12, 0, 21), "72"));

    EXPECT_EQ(Points(f, oldFile).size(), 2u);
    EXPECT_EQ(Points(f, f.dir / "other_c" / "KVD" / "DATA" / "123456" / "Halcyra.pil"),
              (std::vector<std::string>{"HR 2024-05-06T12:00:20.000 72", "SpO2 2024-05-06T12:00:20.000 97"}));
}

}  // namespace
}  // namespace halcyra
