// What the run keeps for each patient, as the engine reports it to the window and to --status.
#include "EngineFixture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using test::AperiodicObx;
using test::At;
using test::Msh;
using test::Obr;
using test::Obx;
using test::Pid;
using test::TEngineFixture;

using test::kHR;
using test::kNBP;
using test::kSpO2;

std::vector<std::string> Vitals(const std::string& id, const std::string& name, const std::string& time,
                                const std::string& hr = "72")
{
    return {Msh(), Pid(id, name), Obr(time), Obx(kHR, hr, "bpm"), Obx(kSpO2, "97", "%")};
}

const TPatientStatus& PatientIn(const TRunStatus& status, const std::string& id)
{
    for (const TPatientStatus& p : status.patients)
        if (p.id == id) return p;
    throw std::runtime_error("no patient " + id + " in the status");
}

TEST(PatientStatus, CountsThePointsWrittenPerPatientWithTheLatestTimeAndTheFile)
{
    TEngineFixture f;
    f.Collecting();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 11), Vitals("111", "Smith^John", "20240506120011"));
    f.ReceiveAt(At(12, 0, 12), Vitals("222", "Doe^Jane", "20240506120012"));
    // The second message of the interval writes nothing.
    f.ReceiveAt(At(12, 0, 14), Vitals("111", "Smith^John", "20240506120014"));
    f.TickAt(At(12, 0, 20, 300));
    // An aperiodic point older than the last one written leaves the latest time as it is.
    f.ReceiveAt(At(12, 0, 21), {Msh(), Pid("111", "Smith^John"), Obr("20240506120021"), Obx(kHR, "75", "bpm"),
                                AperiodicObx(kNBP, "120", "mmHg", "20240506115930")});
    // Unticked: seen, but nothing is written for it.
    f.ReceiveAt(At(12, 0, 22), Vitals("333", "Roe^Richard", "20240506120022"));
    f.census.SetTicked(f.RowOf("333"), false);
    f.ReceiveAt(At(12, 0, 31), Vitals("333", "Roe^Richard", "20240506120031"));

    const TRunStatus status = f.engine.RunStatus();
    EXPECT_EQ(status.status, csCollecting);
    EXPECT_EQ(status.intervalSeconds, 10);
    EXPECT_EQ(status.messagesReceived, 6);
    EXPECT_EQ(FormatIsoMilliseconds(status.nextBoundary), "2024-05-06T12:00:40.250");
    EXPECT_EQ(status.pointsWritten, 8);
    ASSERT_EQ(status.patients.size(), 3u);

    const TPatientStatus& smith = PatientIn(status, "111");
    EXPECT_EQ(smith.name, "John Smith");
    EXPECT_TRUE(smith.ticked && smith.collecting);
    EXPECT_EQ(smith.pointsWritten, 4);
    EXPECT_EQ(FormatIsoSeconds(smith.lastPointTime), "2024-05-06T12:00:20");
    EXPECT_EQ(smith.file, "C:\\KVD\\DATA\\111\\Halcyra.pil");
    EXPECT_EQ(smith.problem, "");

    const TPatientStatus& doe = PatientIn(status, "222");
    EXPECT_EQ(doe.pointsWritten, 2);
    EXPECT_EQ(FormatIsoSeconds(doe.lastPointTime), "2024-05-06T12:00:10");

    const TPatientStatus& roe = PatientIn(status, "333");
    EXPECT_FALSE(roe.ticked || roe.collecting);
    EXPECT_EQ(roe.pointsWritten, 2);  // while it was ticked

    // Every point the status counts is one the data manager heard of.
    EXPECT_EQ(f.Values().size(), 8u);

    const std::string text = FormatRunStatusText(status);
    EXPECT_NE(text.find("Status: collecting; interval 10 s"), std::string::npos) << text;
    EXPECT_NE(text.find("  111  name John Smith  ticked yes  collecting yes  last written 2024-05-06 12:00:20  "
                        "points 4  file C:\\KVD\\DATA\\111\\Halcyra.pil  problem -\n"),
              std::string::npos)
        << text;
}

TEST(PatientStatus, TheLastProblemSaysWhyValuesWereNotWrittenUntilAPointIsWrittenAgain)
{
    struct TCase {
        const char* name;
        // Makes the problem happen in the interval from 12:00:10 on; the patient is 111 (or 1212121234).
        std::function<void(TEngineFixture&)> cause;
        std::string id;
        std::string problem;
        // Whether the next interval's message writes again and so ends the problem.
        bool writesAgain;
    };
    const TCase cases[] = {
        {"an empty value",
         [](TEngineFixture& f) {
             f.ReceiveAt(At(12, 0, 11), {Msh(), Pid("111", "Smith^John"), Obr("20240506120011"), Obx(kHR, "", "bpm")});
         },
         "111", "The value of HR was empty", true},
        {"a value that is no number",
         [](TEngineFixture& f) {
             f.ReceiveAt(At(12, 0, 11),
                         {Msh(), Pid("111", "Smith^John"), Obr("20240506120011"), Obx(kHR, "n/a", "bpm")});
         },
         "111", "The value of HR \"n/a\" is not a number", true},
        {"a folder that belongs to another ID",
         [](TEngineFixture& f) {
             f.reduction.SetSettings({false, TPatientIdReductionMode::LastCharacters, 10});
             f.ReceiveAt(At(12, 0, 11), Vitals("191212121234", "Smith^John", "20240506120011"));
             f.TickAt(At(12, 0, 20, 300));
             f.ReceiveAt(At(12, 0, 21), Vitals("201212121234", "Doe^Jane", "20240506120021"));
         },
         "1212121234",
         "Values of patient ID 201212121234 are not written: the folder C:\\KVD\\DATA\\1212121234\\ belongs to "
         "patient ID 191212121234",
         true},
        {"no monitor-data file can be opened",
         [](TEngineFixture& f) {
             // Every name the file may take is a folder.
             f.files.ForceDirectories("C:\\KVD\\DATA\\111\\Halcyra.pil");
             for (int k = 1; k <= kLastMonitorNumber; ++k)
                 f.files.ForceDirectories("C:\\KVD\\DATA\\111\\Halcyra" + std::to_string(k) + ".pil");
             f.ReceiveAt(At(12, 0, 11), Vitals("111", "Smith^John", "20240506120011"));
         },
         "111", "No monitor-data file could be opened in C:\\KVD\\DATA\\111\\", false},
        {"a ticked patient without a folder",
         [](TEngineFixture& f) {
             f.handler.Settings().autoCreate = false;
             f.ReceiveAt(At(12, 0, 11), Vitals("111", "Smith^John", "20240506120011"));
             f.census.SetTicked(f.RowOf("111"), true);
             f.TickAt(At(12, 0, 20, 300));
             f.ReceiveAt(At(12, 0, 21), Vitals("111", "Smith^John", "20240506120021"));
         },
         "111", "The patient has no folder in the data folder (C:\\KVD\\DATA\\111\\)", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TEngineFixture f;
        f.Collecting();
        f.TickAt(At(12, 0, 10, 300));
        c.cause(f);
        TPatientStatus patient = PatientIn(f.engine.RunStatus(), c.id);
        EXPECT_EQ(patient.problem, c.problem);
        EXPECT_TRUE(patient.problemCurrent);
        const TPatientRecord* record = f.engine.StatusBoard().Find(c.id);
        ASSERT_NE(record, nullptr);
        EXPECT_TRUE(record->HasCurrentProblem());
        const std::int64_t before = patient.pointsWritten;

        f.TickAt(At(12, 0, 30, 300));
        const std::string good = c.id == "111" ? "111" : "191212121234";
        f.ReceiveAt(At(12, 0, 31), Vitals(good, "Smith^John", "20240506120031"));
        patient = PatientIn(f.engine.RunStatus(), c.id);
        // The last problem is kept; it is current only while nothing was written after it.
        EXPECT_EQ(patient.problem, c.problem);
        EXPECT_EQ(patient.problemCurrent, !c.writesAgain);
        EXPECT_EQ(patient.pointsWritten > before, c.writesAgain);
        if (c.writesAgain) {
            EXPECT_EQ(FormatIsoSeconds(patient.lastPointTime), "2024-05-06T12:00:30");
        }
    }
}

// The log lines of the run that mention `text`.
std::vector<std::string> LinesWith(const TEngineFixture& f, const std::string& text)
{
    std::vector<std::string> found;
    for (const std::string& line : f.logLines)
        if (line.find(text) != std::string::npos) found.push_back(line.substr(line.find(": ") + 2));
    return found;
}

// A monitor-data file of this monitor and patient where patient 111's file would be; no owner: a damaged one.
void PlaceFile(TEngineFixture& f, const std::string& owner, const std::string& monitor = "Halcyra")
{
    f.files.ForceDirectories("C:\\KVD\\DATA\\111\\");
    const auto host = f.files.HostPath("C:\\KVD\\DATA\\111\\Halcyra.pil");
    if (owner.empty()) {
        std::ofstream(host) << "garbage";
        return;
    }
    TSaveItNew writer(f.io);
    writer.SetFileName(host);
    writer.OpenOrCreate(monitor, "", owner, "Other^Patient", false);
}

TEST(PatientStatus, EveryChangeOfARecordIsLoggedOnceAndASetAsideFileIsTheProblemUntilTheNewFileHasAValue)
{
    struct TCase {
        const char* name;
        std::function<void(TEngineFixture&)> before;  // before the first message
        std::string secondName;                       // the name of the later messages
        std::vector<std::string> lines;               // the lines about the change, each once
        std::string file;                             // the file --status names
    };
    const std::string aside = "C:\\KVD\\DATA\\111\\Halcyra.pil of patient 111 is set aside because ";
    const std::string next = "; the values go to C:\\KVD\\DATA\\111\\Halcyra1.pil";
    const TCase cases[] = {
        {"a new name on the ID",
         nullptr,
         "Smith^Johnny",
         {"Patient ID 111 has a new name: \"John Smith\" is now \"Johnny Smith\"; its series go on in the same file"},
         "C:\\KVD\\DATA\\111\\Halcyra.pil"},
        {"another patient's file",
         [](TEngineFixture& f) { PlaceFile(f, "999"); },
         "Smith^John",
         {aside + "it belongs to another patient" + next},
         "C:\\KVD\\DATA\\111\\Halcyra1.pil"},
        {"another monitor's file",
         [](TEngineFixture& f) { PlaceFile(f, "111", "Other"); },
         "Smith^John",
         {aside + "it was written by another monitor" + next},
         "C:\\KVD\\DATA\\111\\Halcyra1.pil"},
        {"a damaged file",
         [](TEngineFixture& f) { PlaceFile(f, ""); },
         "Smith^John",
         {aside + "it is damaged (Stream read error)" + next},
         "C:\\KVD\\DATA\\111\\Halcyra1.pil"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TEngineFixture f;
        f.Collecting();
        if (c.before) c.before(f);
        f.TickAt(At(12, 0, 10, 300));
        // A message without values: the file is opened, nothing is written yet.
        f.ReceiveAt(At(12, 0, 11), {Msh(), Pid("111", "Smith^John"), Obr("20240506120011")});
        const bool setAside = c.file.find("Halcyra1") != std::string::npos;
        TPatientStatus patient = PatientIn(f.engine.RunStatus(), "111");
        EXPECT_EQ(patient.problemCurrent, setAside);
        if (setAside) {
            EXPECT_EQ(patient.problem, c.lines.front());
        }
        for (const int second : {20, 30}) {
            f.TickAt(At(12, 0, second, 300));
            f.ReceiveAt(At(12, 0, second + 1),
                        Vitals("111", c.secondName, "202405061200" + std::to_string(second + 1)));
        }
        std::vector<std::string> told;
        for (const std::string& what : {std::string("has a new name"), std::string("is set aside")})
            for (const std::string& line : LinesWith(f, what)) told.push_back(line);
        EXPECT_EQ(told, c.lines);
        patient = PatientIn(f.engine.RunStatus(), "111");
        EXPECT_FALSE(patient.problemCurrent);
        EXPECT_EQ(patient.pointsWritten, 4);
        EXPECT_EQ(patient.file, c.file);
        // A file that is gone is not named.
        std::filesystem::remove(f.files.HostPath(c.file));
        EXPECT_EQ(PatientIn(f.engine.RunStatus(), "111").file, "");
    }
}

// A read-only data folder under 64 patients: one line when it starts, one a minute with a count while it
// lasts, one when it clears; not one per patient and interval.
TEST(PatientStatus, AWriteFailureOfOneCauseIsOneLineThenOneAMinuteThenOneWhenItClears)
{
    TEngineFixture f;
    f.Collecting();
    const auto interval = [&](int k) {
        f.TickAt(At(12, 0, 10, 300) + k * 10 * kOneSecond);
        for (int p = 1; p <= 64; ++p)
            f.Receive(Vitals("P" + std::to_string(p), "Bed^" + std::to_string(p), FormatCompactStamp(f.clock.Now())));
    };
    interval(0);
    ASSERT_EQ(f.engine.RunStatus().pointsWritten, 128);
    f.logLines.clear();

    f.countingIo->WriteError = EROFS;
    for (int k = 1; k <= 25; ++k) interval(k);  // four minutes and ten seconds
    f.countingIo->WriteError = 0;
    interval(26);

    std::vector<std::string> lines;
    for (const std::string& line : f.logLines) lines.push_back(line.substr(line.find(": ") + 2));
    ASSERT_EQ(lines.size(), 6u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0].rfind("Could not append 2 values to ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("Read-only file system (further failures of this cause are counted once a minute)"),
              std::string::npos)
        << lines[0];
    for (std::size_t k = 1; k <= 4; ++k)
        EXPECT_EQ(lines[k],
                  "Values are not written (Read-only file system): 384 times for 64 patients in the last 60 s");
    EXPECT_EQ(lines[5],
              "Values are written again (Read-only file system cleared): 1600 writes of 64 patients were "
              "lost in 4 min 10 s");
    EXPECT_EQ(f.engine.RunStatus().pointsWritten, 256);
}

// A lost data manager is shown, the files keep every value meanwhile, and one that comes back is told the
// state and to read the files again; an answer overdue on the tick counts as a loss too.
TEST(PatientStatus, TheDataManagerLinkIsShownLostAndBackWhileTheFilesKeepEveryValue)
{
    TEngineFixture f;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 11), Vitals("111", "Smith^John", "20240506120011"));
    EXPECT_EQ(f.Values().size(), 2u);
    EXPECT_EQ(DataManagerLine(f.engine.RunStatus().dataManager), "Data manager: connected");

    f.clock.Set(At(12, 0, 13));
    f.autoObject.Leave();
    f.ReceiveAt(At(12, 0, 21), Vitals("111", "Smith^John", "20240506120021", "80"));
    TRunStatus status = f.engine.RunStatus();
    EXPECT_FALSE(status.dataManager.connected);
    EXPECT_EQ(DataManagerLine(status.dataManager),
              "Data manager: lost since 12:00:13: the data manager left the D-Bus session bus");
    EXPECT_NE(FormatRunStatusText(status).find("\nData manager: lost since 12:00:13"), std::string::npos);
    EXPECT_EQ(PatientIn(status, "111").pointsWritten, 4);
    EXPECT_EQ(f.Values().size(), 2u);

    f.autoObject.calls.clear();
    f.clock.Set(At(12, 0, 25));
    f.autoObject.Return();
    f.ReceiveAt(At(12, 0, 31), Vitals("111", "Smith^John", "20240506120031", "90"));
    EXPECT_EQ(f.autoObject.calls,
              (std::vector<std::string>{"SetCollectorState 0 2", "NotifyDataChanged",
                                        "AddValue 111 HR bpm 2024-05-06T12:00:30.000 90",
                                        "AddValue 111 SpO2 % 2024-05-06T12:00:30.000 97", "NotifyDataChanged"}));
    status = f.engine.RunStatus();
    EXPECT_TRUE(status.dataManager.connected);
    EXPECT_EQ(status.dataManager.since, At(12, 0, 25));

    f.autoObject.holdAnswers = true;
    f.ReceiveAt(At(12, 0, 41), Vitals("111", "Smith^John", "20240506120041"));
    EXPECT_EQ(f.engine.RunStatus().dataManager.backlog, 3);
    f.clock.Set(At(12, 0, 46, 500));
    f.engine.Tick();
    status = f.engine.RunStatus();
    EXPECT_FALSE(status.dataManager.connected);
    EXPECT_EQ(status.dataManager.lastError, "no answer from the data manager within 5 s");
    EXPECT_EQ(status.dataManager.callsFailed, 1);
    EXPECT_EQ(PatientIn(status, "111").pointsWritten, 8);
    int losses = 0;
    for (const std::string& line : f.logLines)
        losses += line.find("Error: the data manager link is lost") != std::string::npos;
    EXPECT_EQ(losses, 2);
}

}  // namespace
}  // namespace halcyra
