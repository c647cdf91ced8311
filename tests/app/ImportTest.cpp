// halcyra --import as a site runs it: real processes on a temporary registry and prefix, the files read
// back with halcyra-pil.
#include "platform/LocalTimes.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"
#include "support/TimeZone.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

struct TObs {
    std::string id;  // OBX-3
    int value;
    std::string unit;
    std::string aperiodicTime;  // OBX-14 of an aperiodic observation
};

// A framed message; an empty time leaves the OBR out.
std::string Message(const std::string& patientId, const std::string& name, const std::string& time,
                    const std::vector<TObs>& observations)
{
    std::string m =
        "\x0BMSH|^~\\&|CS|WARD|||" + time + "||ORU^R01|1|P|2.3\rPID|1||" + patientId + "||" + name + "\rPV1|1|I|BED\r";
    if (!time.empty()) m += "OBR|1|||MON|||" + time + "\r";
    for (const TObs& o : observations) {
        m += "OBX|1|NM|" + o.id + "||" + std::to_string(o.value) + "|" + o.unit;
        if (!o.aperiodicTime.empty()) m += "|||||||APERIODIC|" + o.aperiodicTime;
        m += "\r";
    }
    return m + "\x1C\r";
}

const std::string kHR = "0002-4182^HR^MDIL";
const std::string kSpO2 = "150456^SpO2^MDIL";
const std::string kNBP = "0002-4A05^NBPs^MDIL";

std::string Stamp(int minute, int second)
{
    char text[32];
    std::snprintf(text, sizeof text, "20240506%02d%02d%02d", 12, minute, second);
    return text;
}

std::string Iso(int minute, int second)
{
    char text[32];
    std::snprintf(text, sizeof text, "2024-05-06T12:%02d:%02d.000", minute, second);
    return text;
}

class ImportTest : public ::testing::Test {
protected:
    ImportTest()
    {
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
    }

    void Settings(int interval)
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        auto& hive = registry.CurrentUser();
        hive.WriteDword(kProgramKey, "AutoStart", 1);
        hive.WriteDword(kProgramKey, "AutoCreate", 1);
        hive.WriteDword(kProgramKey, "Interval", static_cast<std::uint32_t>(interval));
    }

    void WriteCapture(const std::string& bytes)
    {
        std::ofstream out(dir_ / "capture.hl7", std::ios::binary);
        out << bytes;
    }

    // Runs a program to its end; gives its exit code.
    int Run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.setProgram(program);
        process.setArguments(arguments);
        if (!zone_.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("TZ", zone_);
            process.setProcessEnvironment(env);
        }
        process.start();
        EXPECT_TRUE(process.waitForFinished(120000));
        out_ = process.readAllStandardOutput().toStdString();
        err_ = process.readAllStandardError().toStdString();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    int Import(const fs::path& file)
    {
        return Run(HALCYRA_EXE, {"--import", QString::fromStdString(file.string()), "--registry",
                                 QString::fromStdString((dir_ / "registry").string()), "--prefix",
                                 QString::fromStdString((dir_ / "prefix").string()), "NOVELGARD"});
    }

    fs::path PatientFolder(const std::string& id) const { return dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / id; }

    // The points of a monitor-data file as "series,unit,time,value,kind" lines, sorted.
    std::vector<std::string> Points(const std::string& id)
    {
        EXPECT_EQ(Run(HALCYRA_PIL_EXE,
                      {"dump", QString::fromStdString((PatientFolder(id) / "Halcyra.pil").string()), "--csv"}),
                  0);
        std::vector<std::string> lines;
        std::istringstream in(out_);
        std::string line;
        std::getline(in, line);  // the header
        while (std::getline(in, line)) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    bool Sound(const std::string& id)
    {
        const std::string file = (PatientFolder(id) / "Halcyra.pil").string();
        return Run(HALCYRA_PIL_EXE, {"check", QString::fromStdString(file)}) == 0 && out_ == file + ": sound\n";
    }

    test::TTempDir dir_;
    std::string out_;
    std::string err_;
    QString zone_;  // TZ of the programs run; empty: the test's own
};

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Three patients, one message a second each for two minutes, collection started by AutoStart.
TEST_F(ImportTest, ThreePatientsForTwoMinutesGiveOnePointPerIntervalAndParameter)
{
    Settings(10);
    const std::string ids[] = {"100001", "100002", "100003"};
    const std::string names[] = {"Smith^John", "Lee^Ann", "Ray^Bob"};
    std::string capture;
    for (int s = 0; s < 120; ++s)
        for (int b = 0; b < 3; ++b)
            capture += Message(ids[b], names[b], Stamp(s / 60, s % 60),
                               {{kHR, 60 + 10 * b + s % 7, "bpm", ""}, {kSpO2, 90 + s % 9, "%", ""}});
    WriteCapture(capture);
    ASSERT_EQ(Import(dir_ / "capture.hl7"), 0) << err_;
    // Start-up runs at 11:59:59; the first message connects, the tick at 12:00:01 starts collecting with the
    // first boundary at 12:00:10, and every boundary up to 12:01:50 takes the message that arrives with it.
    EXPECT_EQ(out_, "Imported 360 messages: 3 patients, 66 values written, 6 delimiters written\n");
    for (int b = 0; b < 3; ++b) {
        SCOPED_TRACE(ids[b]);
        ASSERT_TRUE(fs::exists(PatientFolder(ids[b]) / "Patient"));
        EXPECT_EQ(fs::file_size(PatientFolder(ids[b]) / "Patient"), 271u);
        EXPECT_TRUE(Sound(ids[b])) << out_;
        std::vector<std::string> expected;
        for (int s = 10; s < 120; s += 10) {
            expected.push_back("HR,bpm," + Iso(s / 60, s % 60) + "," + std::to_string(60 + 10 * b + s % 7) + ",value");
            expected.push_back("SpO2,%," + Iso(s / 60, s % 60) + "," + std::to_string(90 + s % 9) + ",value");
        }
        expected.push_back("HR,bpm," + Iso(1, 51) + ",0,delimiter");
        expected.push_back("SpO2,%," + Iso(1, 51) + ",0,delimiter");
        EXPECT_EQ(Points(ids[b]), Sorted(expected));
    }
}

// Patients arriving late, a patient missing an interval, several messages in one interval, an aperiodic
// value, a message without an observation time, and the delimiters of every parameter at the end.
TEST_F(ImportTest, AScriptedSessionIsWrittenAsTheCollectionRulesSay)
{
    Settings(10);
    const std::string a = "A1", b = "B2", c = "C3";
    std::string capture;
    capture += Message(a, "Ash^Al", Stamp(0, 0), {{kHR, 70, "bpm", ""}, {kSpO2, 98, "%", ""}});  // connects
    capture += Message(a, "Ash^Al", Stamp(0, 3), {{kHR, 71, "bpm", ""}});  // marked since 12:00:00
    capture += Message(b, "Bo^Bea", Stamp(0, 4), {{kHR, 80, "bpm", ""}, {kSpO2, 95, "%", ""}});  // new: at once
    capture += Message(a, "Ash^Al", Stamp(0, 10), {{kHR, 72, "bpm", ""}, {kSpO2, 97, "%", ""}});
    capture += Message(b, "Bo^Bea", Stamp(0, 12), {{kHR, 81, "bpm", ""}});
    capture += Message(a, "Ash^Al", Stamp(0, 14), {{kHR, 73, "bpm", ""}});
    capture += Message(a, "Ash^Al", Stamp(0, 16), {{kNBP, 120, "mmHg", Stamp(0, 15)}, {kHR, 74, "bpm", ""}});
    capture += Message(c, "Cy^Cal", Stamp(0, 23), {{kHR, 60, "bpm", ""}});
    capture += Message(a, "Ash^Al", Stamp(0, 26), {{kHR, 75, "bpm", ""}, {kSpO2, 96, "%", ""}});
    capture += Message(b, "Bo^Bea", Stamp(0, 31), {{kHR, 82, "bpm", ""}, {kSpO2, 94, "%", ""}});
    // Arrives with the message before it: its arrival time aligns to 12:00:30 as well, where HR has its point.
    capture += Message(a, "Ash^Al", "", {{kHR, 76, "bpm", ""}});
    capture += Message(a, "Ash^Al", Stamp(0, 41), {{kHR, 77, "bpm", ""}});
    WriteCapture(capture);
    ASSERT_EQ(Import(dir_ / "capture.hl7"), 0) << err_;
    EXPECT_EQ(out_, "Imported 12 messages: 3 patients, 12 values written, 6 delimiters written\n");

    // The last value is written at 12:00:40, so every series is closed at 12:00:41; a patient gets a
    // delimiter in each series of its own, and no series only to hold one.
    const auto end = [](const std::string& series) { return series + "," + Iso(0, 41) + ",0,delimiter"; };
    EXPECT_EQ(Points(a), Sorted({"HR,bpm," + Iso(0, 10) + ",72,value", "HR,bpm," + Iso(0, 30) + ",75,value",
                                 "HR,bpm," + Iso(0, 40) + ",77,value", end("HR,bpm"),
                                 "SpO2,%," + Iso(0, 10) + ",97,value", "SpO2,%," + Iso(0, 30) + ",96,value",
                                 end("SpO2,%"), "NBPs,mmHg," + Iso(0, 15) + ",120,value", end("NBPs,mmHg")}));
    EXPECT_EQ(Points(b),
              Sorted({"HR,bpm," + Iso(0, 0) + ",80,value", "HR,bpm," + Iso(0, 10) + ",81,value",
                      "HR,bpm," + Iso(0, 30) + ",82,value", end("HR,bpm"), "SpO2,%," + Iso(0, 0) + ",95,value",
                      "SpO2,%," + Iso(0, 30) + ",94,value", end("SpO2,%")}));
    EXPECT_EQ(Points(c), Sorted({"HR,bpm," + Iso(0, 20) + ",60,value", end("HR,bpm")}));
    for (const auto& id : {a, b, c}) EXPECT_TRUE(Sound(id)) << id << ": " << out_;
}

// Stamps far from the rest of the capture, first and later: each such message arrives with the message before
// it (or where the capture starts), and its values are written at that arrival, not at the stamp; so is an
// aperiodic value with a stamp far from its arrival.
TEST_F(ImportTest, StrayStampsArriveWithTheMessageBefore)
{
    Settings(10);
    const std::string far = "99991231235959";
    std::string capture;
    capture += Message("A1", "Ash^Al", far, {{kHR, 70, "bpm", ""}});
    capture += Message("A1", "Ash^Al", Stamp(0, 0), {{kHR, 71, "bpm", ""}});  // connects
    capture += Message("A1", "Ash^Al", Stamp(0, 10), {{kHR, 72, "bpm", ""}});
    capture += Message("A1", "Ash^Al", Stamp(0, 20), {{kHR, 73, "bpm", ""}});
    // Three days on, and the stamps after it do not go on from there; a new patient is written at once.
    capture += Message("B2", "Bo^Bea", "20240509120000", {{kHR, 80, "bpm", ""}});
    capture += Message("A1", "Ash^Al", Stamp(0, 30), {{kHR, 74, "bpm", ""}});
    capture += Message("A1", "Ash^Al", Stamp(0, 31), {{kNBP, 120, "mmHg", "17520914000000"}});
    WriteCapture(capture);
    ASSERT_EQ(Import(dir_ / "capture.hl7"), 0) << err_;
    EXPECT_EQ(out_, "Imported 7 messages: 2 patients, 5 values written, 3 delimiters written\n");
    const auto end = [](const std::string& series) { return series + "," + Iso(0, 32) + ",0,delimiter"; };
    EXPECT_EQ(Points("A1"), Sorted({"HR,bpm," + Iso(0, 10) + ",72,value", "HR,bpm," + Iso(0, 20) + ",73,value",
                                    "HR,bpm," + Iso(0, 30) + ",74,value", end("HR,bpm"),
                                    "NBPs,mmHg," + Iso(0, 31) + ",120,value", end("NBPs,mmHg")}));
    EXPECT_EQ(Points("B2"), Sorted({"HR,bpm," + Iso(0, 20) + ",80,value", end("HR,bpm")}));
}

// A capture across a change of summer time in central Europe, one message a second with local stamps (or
// stamps in UTC with their zone), is imported as a live clock crosses the change: at its start the grid skips the
// missing hour; at its end the clock goes back, every series is closed, and the repeated hour's values, whose times the
// series has passed, are held back until the clock passes them again.
TEST_F(ImportTest, BothChangesOfSummerTimeAreCrossedAsByALiveClock)
{
    struct TCase {
        const char* name;
        TUnixSeconds from;  // the first message
        int seconds;
        std::vector<std::string> around;  // the HR points about the change, in order of time
        int delimiters;
        const char* logged;
        bool utcStamps = false;  // stamps in UTC with the zone +0000, as some stations send them
    };
    const TCase cases[] = {
        {"spring",
         1774745400,  // 2026-03-29 01:50:00 CET
         1200,
         {"2026-03-29T01:59:40.000,value", "2026-03-29T01:59:50.000,value", "2026-03-29T03:00:00.000,value",
          "2026-03-29T03:00:10.000,value"},
         1,
         "Clock set forward by 1 h 0 min at 02:00:00; boundaries follow the clock"},
        {"autumn",
         1792889400,  // 2026-10-25 02:50:00 CEST
         4800,
         {"2026-10-25T02:59:40.000,value", "2026-10-25T02:59:50.000,value", "2026-10-25T02:59:51.000,delimiter",
          "2026-10-25T03:00:00.000,value", "2026-10-25T03:00:10.000,value"},
         2,
         "Clock set back by 1 h 0 min at 03:00:00; boundaries follow the clock"},
        {"autumn, stamps in UTC",
         1792889400,
         4800,
         {"2026-10-25T02:59:40.000,value", "2026-10-25T02:59:50.000,value", "2026-10-25T02:59:51.000,delimiter",
          "2026-10-25T03:00:00.000,value", "2026-10-25T03:00:10.000,value"},
         2,
         "Clock set back by 1 h 0 min at 03:00:00; boundaries follow the clock",
         true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TScopedTimeZone zone("Europe/Berlin");
        zone_ = "Europe/Berlin";
        TLocalTimes localTimes;
        Settings(10);
        std::string capture;
        for (int s = 0; s < c.seconds; ++s) {
            const TUnixSeconds instant = c.from + s;
            const std::string stamp = c.utcStamps ? FormatCompactStamp(25569 + instant / 86400) + "+0000"
                                                  : FormatCompactStamp(localTimes.LocalOf(instant));
            capture += Message("A1", "Ash^Al", stamp, {{kHR, 60 + s % 30, "bpm", ""}});
        }
        WriteCapture(capture);
        ASSERT_EQ(Import(dir_ / "capture.hl7"), 0) << err_;
        EXPECT_NE(err_.find(c.logged), std::string::npos) << err_;
        EXPECT_EQ(err_.find("Not Connected", err_.find("Connected and collecting")), std::string::npos) << err_;
        EXPECT_TRUE(Sound("A1")) << out_;
        // In order of time: one value every ten seconds but where the clock skipped an hour, one delimiter
        // where it went back, none after the last.
        std::vector<std::string> hr;
        for (const std::string& line : Points("A1"))
            if (line.rfind("HR,bpm,", 0) == 0)
                hr.push_back(line.substr(7, 23) + "," + line.substr(line.rfind(',') + 1));
        const auto at = std::find(hr.begin(), hr.end(), c.around.front());
        ASSERT_NE(at, hr.end());
        ASSERT_GE(hr.end() - at, static_cast<std::ptrdiff_t>(c.around.size()));
        EXPECT_EQ(std::vector<std::string>(at, at + static_cast<std::ptrdiff_t>(c.around.size())), c.around);
        EXPECT_EQ(std::count_if(hr.begin(), hr.end(),
                                [](const std::string& p) { return p.find("delimiter") != std::string::npos; }),
                  c.delimiters);
        EXPECT_NE(hr.back().find("delimiter"), std::string::npos);
        fs::remove_all(dir_ / "prefix");
        fs::remove_all(dir_ / "registry");
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
    }
}

TEST_F(ImportTest, AFileThatCannotBeReadOrHoldsNoMessageChangesNothing)
{
    EXPECT_EQ(Import(dir_ / "missing.hl7"), 1);
    EXPECT_NE(err_.find("cannot read"), std::string::npos) << err_;
    EXPECT_NE(err_.find("missing.hl7"), std::string::npos) << err_;
    // Text that holds no message is no import that wrote nothing.
    std::ofstream(dir_ / "notes.txt") << "no HL7 here\n";
    EXPECT_EQ(Import(dir_ / "notes.txt"), 1);
    EXPECT_NE(err_.find("notes.txt holds no HL7 message; nothing imported"), std::string::npos) << err_;
    EXPECT_TRUE(fs::is_empty(dir_ / "prefix"));
    EXPECT_TRUE(fs::is_empty(dir_ / "registry"));
}

}  // namespace
}  // namespace halcyra
