#include "EngineFixture.h"

#include "patients/PatientFile.h"
#include "support/TimeZone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <sstream>

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
using test::kSpO2;

std::vector<std::string> Message(const std::string& time, const std::string& value = "72")
{
    return {Msh(), Pid("123456", "Smith^John"), Obr(time), Obx(kHR, value, "bpm"), Obx(kSpO2, "97", "%")};
}

std::vector<std::string> HeartRate(const std::string& id, const std::string& name, const std::string& time,
                                   const std::string& value)
{
    return {Msh(), Pid(id, name), Obr(time), Obx(kHR, value, "bpm")};
}

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> LogLinesWith(const TEngineFixture& f, const std::string& text)
{
    std::vector<std::string> lines;
    for (const std::string& line : f.logLines)
        if (line.find(text) != std::string::npos) lines.push_back(line);
    return lines;
}

TEST(MessageHandler, OnlyTheFirstMessageOfAnIntervalIsWrittenOnTheGrid)
{
    TEngineFixture f;
    f.Collecting();  // first boundary 12:00:10.250
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), Message("20240506120012", "72"));
    f.ReceiveAt(At(12, 0, 14), Message("20240506120014", "73"));
    f.ReceiveAt(At(12, 0, 16), Message("20240506120016", "74"));
    f.TickAt(At(12, 0, 20, 300));
    f.ReceiveAt(At(12, 0, 21), Message("20240506120021", "75"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{
                              "123456 HR bpm 2024-05-06T12:00:10.000 72", "123456 SpO2 % 2024-05-06T12:00:10.000 97",
                              "123456 HR bpm 2024-05-06T12:00:20.000 75", "123456 SpO2 % 2024-05-06T12:00:20.000 97"}));
    EXPECT_EQ(f.handler.ValuesWritten(), 4);
    EXPECT_EQ(f.handler.MessagesDecoded(), 4);
    // The data manager hears of every message of a registered patient, written or not, and once after the
    // run's first collection state.
    EXPECT_EQ(f.Count("NotifyDataChanged"), 1 + 4);
    EXPECT_TRUE(f.files.FileExists("C:\\KVD\\DATA\\123456\\Patient"));
    EXPECT_TRUE(f.files.FileExists("C:\\KVD\\DATA\\123456\\Halcyra.pil"));
}

TEST(MessageHandler, APatientSeenForTheFirstTimeIsWrittenAtOnce)
{
    TEngineFixture f;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 8), Message("20240506120008"));
    EXPECT_EQ(f.Values().size(), 2u);
    f.ReceiveAt(At(12, 0, 9), Message("20240506120009"));
    EXPECT_EQ(f.Values().size(), 2u);
}

TEST(MessageHandler, APatientTickedInTheMiddleOfAnIntervalIsWrittenByItsNextMessage)
{
    TEngineFixture f;
    f.patientFile.CreatePatient("123456", "John", "Smith", "C:\\KVD\\DATA\\123456\\");
    f.cycle.SetStatus(csConnected);
    f.ReceiveAt(At(12, 0, 8), Message("20240506120008"));  // unticked: AutoCreate is off
    f.cycle.Start();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), Message("20240506120012"));
    EXPECT_TRUE(f.Values().empty());
    f.census.SetTicked(f.RowOf("123456"), true);
    f.ReceiveAt(At(12, 0, 14), Message("20240506120014"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{"123456 HR bpm 2024-05-06T12:00:10.000 72",
                                                    "123456 SpO2 % 2024-05-06T12:00:10.000 97"}));
}

TEST(MessageHandler, AMessageOfExcludedParametersOnlyStillSetsTheMark)
{
    TEngineFixture f;
    f.params.SetAutomatic(false);
    f.params.ExcludedParams().push_back(TParamAndIndexConnection(147842, "HR"));
    f.params.RegisterParameter(150456, "SpO2", "%", f.clock.Now());
    f.handler.Settings().autoCreate = true;
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), {Msh(), Pid("123456", "Smith^John"), Obr("20240506120012"), Obx(kHR, "72", "bpm")});
    f.ReceiveAt(At(12, 0, 14), Message("20240506120014"));
    EXPECT_TRUE(f.Values().empty());
    EXPECT_EQ(f.handler.ValuesWritten(), 0);
    f.TickAt(At(12, 0, 20, 300));
    f.ReceiveAt(At(12, 0, 22), Message("20240506120022"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{"123456 SpO2 % 2024-05-06T12:00:20.000 97"}));
}

TEST(MessageHandler, EachPatientOfAMessageIsWrittenOncePerInterval)
{
    const auto ward = [](const std::string& time, const std::string& value) {
        std::vector<std::string> message{Msh()};
        for (const char* pid : {"1", "2", "3"}) {
            message.push_back(Pid(pid, std::string("Bed^") + pid));
            message.push_back(Obr(time));
            message.push_back(Obx(kHR, value, "bpm"));
        }
        return message;
    };
    TEngineFixture f;
    f.Collecting();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), ward("20240506120012", "70"));
    f.ReceiveAt(At(12, 0, 14), ward("20240506120014", "71"));
    f.TickAt(At(12, 0, 20, 300));
    f.ReceiveAt(At(12, 0, 22), ward("20240506120022", "72"));
    f.ReceiveAt(At(12, 0, 24), ward("20240506120024", "73"));
    for (const char* id : {"1", "2", "3"}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(FileContent(f, std::string("C:\\KVD\\DATA\\") + id + "\\Halcyra.pil"),
                  (std::vector<std::string>{id, "HR 2024-05-06T12:00:10.000 70", "HR 2024-05-06T12:00:20.000 72"}));
    }
    EXPECT_EQ(f.Values().size(), 6u);
}

// Each patient's values reach its file in message order, before the next patient is looked at, and the
// data manager hears of each value as it is written and of the message after all of them.
TEST(MessageHandler, TheValuesOfAMessageReachTheFilesInOrderAndThenTheDataManager)
{
    TEngineFixture f;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 8),
                {Msh(), Pid("1", "A^B"), Obr("20240506120008"), Obx(kHR, "70", "bpm"), Obx(kSpO2, "97", "%"),
                 Pid("2", "C^D"), Obr("20240506120008"), Obx(kNBP, "120", "mmHg"), Obx(kHR, "60", "bpm")});
    const auto calls = f.autoObject.calls;
    const std::vector<std::string> tail(calls.end() - std::min<std::size_t>(calls.size(), 5), calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"AddValue 1 HR bpm 2024-05-06T12:00:10.000 70",
                                              "AddValue 1 SpO2 % 2024-05-06T12:00:10.000 97",
                                              "AddValue 2 NBPs mmHg 2024-05-06T12:00:10.000 120",
                                              "AddValue 2 HR bpm 2024-05-06T12:00:10.000 60", "NotifyDataChanged"}));
    EXPECT_EQ(FileContent(f, "C:\\KVD\\DATA\\1\\Halcyra.pil"),
              (std::vector<std::string>{"1", "HR 2024-05-06T12:00:10.000 70", "SpO2 2024-05-06T12:00:10.000 97"}));
    EXPECT_EQ(FileContent(f, "C:\\KVD\\DATA\\2\\Halcyra.pil"),
              (std::vector<std::string>{"2", "NBPs 2024-05-06T12:00:10.000 120", "HR 2024-05-06T12:00:10.000 60"}));
    EXPECT_EQ(f.handler.ValuesWritten(), 4);

    // A header of another version within a message closes the series after the values in front of it.
    f.ReceiveAt(At(12, 0, 9), {Msh(), Pid("1", "A^B"), Obr("20240506120009"),
                               AperiodicObx(kNBP, "121", "mmHg", "20240506120009"), Msh("2.4")});
    ASSERT_GE(f.autoObject.calls.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(f.autoObject.calls.end() - 8, f.autoObject.calls.end() - 4),
              (std::vector<std::string>{"AddValue 1 NBPs mmHg 2024-05-06T12:00:09.000 121", "AddDelimiter HR bpm",
                                        "AddDelimiter SpO2 %", "AddDelimiter NBPs mmHg"}));
    EXPECT_EQ(FileContent(f, "C:\\KVD\\DATA\\1\\Halcyra.pil").back(), "NBPs 2024-05-06T12:00:10.000 delimiter");
}

// One message gives at most kMaxObservationsPerMessage numeric observations, counted over all of its
// patients; the rest are neither registered nor written, and one log line says how many and whose. Of the
// new default units, the message stores a few.
TEST(MessageHandler, AMessageGivesAtMostItsCapOfObservationsAndSaysSo)
{
    constexpr int kCap = kMaxObservationsPerMessage;
    struct TCase {
        const char* what;
        std::vector<int> perPatient;  // numeric observations of patients 1, 2, ...
        std::string logged;           // the end of the line, empty when none
    };
    const TCase cases[] = {
        {"exactly the cap", {kCap}, ""},
        {"one patient", {kCap + 7}, "the 7 behind them were left out (patient 1)"},
        {"the second patient", {kCap - 100, 250}, "the 150 behind them were left out (patient 2)"},
        {"several patients", {kCap, 2, 3}, "the 5 behind them were left out (patients 2, 3)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        TEngineFixture f;
        f.Collecting();
        std::vector<std::string> message{Msh()};
        int code = 300000;
        for (std::size_t p = 0; p < c.perPatient.size(); ++p) {
            message.push_back(Pid(std::to_string(p + 1), "Bed^" + std::to_string(p + 1)));
            message.push_back(Obr("20240506120008"));
            for (int i = 0; i < c.perPatient[p]; ++i) {
                const std::string id = std::to_string(code) + "^P" + std::to_string(code);
                ++code;
                message.push_back(Obx(id, std::to_string(i), "u"));
                // Values of other types are not observations taken.
                if (i % 100 == 0) message.push_back(Obx(id, "text", "", "ST"));
            }
        }
        f.ReceiveAt(At(12, 0, 8), message);
        const std::size_t taken = std::min(kCap, std::accumulate(c.perPatient.begin(), c.perPatient.end(), 0));
        EXPECT_EQ(f.params.Parameters().Count(), taken);
        EXPECT_EQ(f.Values().size(), taken);
        std::size_t inFiles = 0;
        for (std::size_t p = 0; p < c.perPatient.size(); ++p) {
            const std::string file = "C:\\KVD\\DATA\\" + std::to_string(p + 1) + "\\Halcyra.pil";
            if (std::filesystem::exists(f.files.HostPath(file))) inFiles += FileContent(f, file).size() - 1;
        }
        EXPECT_EQ(inFiles, taken);
        EXPECT_EQ(f.settings.RootHive().GetValueNames(TSettingsStore::ProgramSubkey("DefaultUnits")).size(),
                  kMaxUnitsStoredPerMessage);
        const std::vector<std::string> lines = LogLinesWith(f, "numeric observations");
        ASSERT_EQ(lines.size(), c.logged.empty() ? 0u : 1u);
        if (!lines.empty()) {
            EXPECT_NE(lines[0].find("A message brought more than " + std::to_string(kCap) +
                                    " numeric observations: " + c.logged),
                      std::string::npos)
                << lines[0];
        }

        // The next message is taken whole.
        f.ReceiveAt(At(12, 0, 9), HeartRate("9", "Lee^Ann", "20240506120009", "61"));
        EXPECT_EQ(f.Values().size(), taken + 1);
        EXPECT_EQ(LogLinesWith(f, "numeric observations").size(), lines.size());
    }
}

// A station that invents labels, one message a second: the run registers and stores as default units at
// most its cap of parameters, with a few hive rewrites (not one per label or message), says so once, and
// still shows and writes the values of the labels beyond it.
TEST(MessageHandler, InventedLabelsAreBoundedInTheTableAndTheHive)
{
    constexpr int kMessages = 1500;
    constexpr int kLabelsPerMessage = 20;
    TEngineFixture f;
    f.Collecting();
    TRegistryHive& hive = f.settings.RootHive();
    int rewrites = 0;
    hive.SetBeforeReplaceHook([&rewrites](const std::filesystem::path&) { ++rewrites; });
    int code = 500000;
    const auto invented = [&code](int count, const std::string& id) {
        std::vector<std::string> message{Msh(), Pid(id, "Bed^" + id), Obr("20240506120008")};
        for (int i = 0; i < count; ++i, ++code)
            message.push_back(Obx(std::to_string(code) + "^L" + std::to_string(code), "7", "u" + std::to_string(code)));
        return message;
    };
    const TDateTime start = At(12, 0, 8);
    for (int m = 0; m < kMessages; ++m) f.ReceiveAt(start + m * kOneSecond, invented(kLabelsPerMessage, "1"));

    EXPECT_EQ(f.params.Parameters().Count(), kMaxParametersPerRun);
    EXPECT_EQ(f.params.RefusedParameters(), kMessages * kLabelsPerMessage - kMaxParametersPerRun);
    EXPECT_EQ(hive.GetValueNames(TSettingsStore::ProgramSubkey("DefaultUnits")).size(), kMaxParametersPerRun);
    // The units of the first message, of the next 30 s and of the rest up to the cap (reached after 50 s),
    // and a few for the patient's census.
    EXPECT_LE(rewrites, 8);
    const std::vector<std::string> lines = LogLinesWith(f, "parameters, the most it takes");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("The run has 1000 parameters, the most it takes: new labels from now on (the first: L" +
                            std::to_string(500000 + kMaxParametersPerRun) + ", patient 1)"),
              std::string::npos)
        << lines[0];

    // A label beyond the cap is shown and written all the same (to another patient's file: the first one
    // holds its most series).
    const std::size_t valuesBefore = f.Values().size();
    f.ReceiveAt(start + (kMessages + 10) * kOneSecond, invented(1, "2"));
    EXPECT_EQ(f.view.parameterLabel, "L" + std::to_string(code - 1) + " = 7 u" + std::to_string(code - 1));
    ASSERT_EQ(f.Values().size(), valuesBefore + 1);
    EXPECT_NE(f.Values().back().find("L" + std::to_string(code - 1)), std::string::npos) << f.Values().back();
    EXPECT_EQ(f.params.Parameters().Count(), kMaxParametersPerRun);
    EXPECT_EQ(LogLinesWith(f, "parameters, the most it takes").size(), 1u);
}

TEST(MessageHandler, AValueTextThatIsNoNumberIsNotWritten)
{
    struct TCase {
        std::string text;
        char separator;
        std::string written;  // the value as written, empty when nothing is
    };
    const TCase cases[] = {
        {"", '.', ""},
        {"   ", '.', ""},
        {"abc", '.', ""},
        {"1,5", '.', "1.5"},
        {"1,5", ',', "1.5"},
        {"NaN", '.', ""},
        {"inf", '.', ""},
        {"1e400", '.', ""},
        {" 12 ", '.', "12"},
        {"-0.5", '.', "-0.5"},
        {"-0,5", ',', "-0.5"},
        {"0x10", '.', ""},
        {"12 bpm", ',', ""},
        {"0", '.', "0"},
        {"-0", '.', "0"},
        {"-0,0", ',', "0"},
        {"4e-400", '.', "0"},
        {"-4e-400", '.', "0"},
        {std::string(400, '9'), '.', ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE("'" + c.text + "' with '" + c.separator + "'");
        TEngineFixture f;
        f.handler.Settings().decimalSeparator = c.separator;
        f.Collecting();
        f.ReceiveAt(At(12, 0, 8), Message("20240506120008", c.text));
        std::vector<std::string> expected;
        if (!c.written.empty()) expected.push_back("123456 HR bpm 2024-05-06T12:00:10.000 " + c.written);
        expected.push_back("123456 SpO2 % 2024-05-06T12:00:10.000 97");
        EXPECT_EQ(f.Values(), expected);
        std::vector<std::string> content{"123456"};
        if (!c.written.empty()) content.push_back("HR 2024-05-06T12:00:10.000 " + c.written);
        content.push_back("SpO2 2024-05-06T12:00:10.000 97");
        EXPECT_EQ(FileContent(f, "C:\\KVD\\DATA\\123456\\Halcyra.pil"), content);
        const std::vector<std::string> logged = LogLinesWith(f, "is not a number");
        ASSERT_EQ(logged.size(), c.written.empty() ? 1u : 0u);
        if (!logged.empty()) {
            // A long text is shown by its first 40 characters.
            const std::string shown = c.text.size() > 40 ? c.text.substr(0, 40) + "..." : c.text;
            EXPECT_NE(logged[0].find("Patient 123456, HR: the value \"" + shown + "\""), std::string::npos);
        }
        // The parameter is known and its text shown, whatever the value.
        EXPECT_EQ(f.params.Parameters().Count(), 2u);
        EXPECT_EQ(f.view.parameterLabel, "SpO2 = 97 %");
    }
}

TEST(MessageHandler, AValueThatIsNoNumberLeavesThePatientDueAndIsLoggedOnce)
{
    TEngineFixture f;
    f.Collecting();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), Message("20240506120012", "70"));
    f.TickAt(At(12, 0, 20, 300));
    f.ReceiveAt(At(12, 0, 21), HeartRate("123456", "Smith^John", "20240506120021", ""));
    f.ReceiveAt(At(12, 0, 22), HeartRate("123456", "Smith^John", "20240506120022", "---"));
    f.ReceiveAt(At(12, 0, 22), HeartRate("77", "Lee^Ann", "20240506120022", ""));
    // Nothing was handed over, so the next message of the interval is still the one written.
    f.ReceiveAt(At(12, 0, 23), Message("20240506120023", "75"));
    f.ReceiveAt(At(12, 0, 24), Message("20240506120024", "76"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{
                              "123456 HR bpm 2024-05-06T12:00:10.000 70", "123456 SpO2 % 2024-05-06T12:00:10.000 97",
                              "123456 HR bpm 2024-05-06T12:00:20.000 75", "123456 SpO2 % 2024-05-06T12:00:20.000 97"}));
    // One line per patient and parameter for the run, however many messages carry such a text.
    EXPECT_EQ(LogLinesWith(f, "is not a number").size(), 2u);
    EXPECT_EQ(LogLinesWith(f, "Patient 77, HR").size(), 1u);
}

TEST(MessageHandler, APatientWithoutIdentityGetsNoFolderOrFile)
{
    TEngineFixture f;
    f.Collecting();  // AutoCreate on
    f.ReceiveAt(At(12, 0, 8), {Msh(), Pid("", ""), Obr("20240506120008"), Obx(kHR, "72", "bpm")});
    const int row = f.RowOf("TOVNULL");
    ASSERT_GT(row, 0);
    EXPECT_TRUE(f.census.IsTicked(row));
    // Ticking its row again, and the stop delimiters of the ticked rows, make nothing for it either.
    f.census.SetTicked(row, false);
    f.census.CBListPatientsClickCheck();
    f.census.SetTicked(row, true);
    f.census.CBListPatientsClickCheck();
    f.ReceiveAt(At(12, 0, 9), Message("20240506120009"));
    f.clock.Set(At(12, 0, 9, 500));
    f.cycle.Stop();
    EXPECT_EQ(f.files.ListDirectory("C:\\KVD\\DATA"), std::vector<std::string>{"123456"});
    EXPECT_EQ(f.cycle.DelimitersWritten(), 2);
}

// A storm of new IDs stops at the census limit: a patient the full census turns away gets no folder.
TEST(MessageHandler, APatientTheFullCensusRefusesGetsNoFolder)
{
    TEngineFixture f;
    f.Collecting();  // AutoCreate on
    for (int i = 1; i <= kMaxCensusPatients; ++i) {
        TPatient present;
        present.PatientID = "P" + std::to_string(i);
        f.census.SetEnabled(f.census.AddRow(present.PatientID, present), true);
    }
    f.ReceiveAt(At(12, 0, 8), Message("20240506120008"));
    EXPECT_EQ(f.RowOf("123456"), -1);
    EXPECT_TRUE(f.files.ListDirectory("C:\\KVD\\DATA").empty());
}

// Two source IDs, one folder: the first that writes keeps it, the other's values go nowhere.
TEST(MessageHandler, TwoSourceIdsThatReduceToOneIdShareNoFolder)
{
    TEngineFixture f;
    f.reduction.SetSettings({false, TPatientIdReductionMode::LastCharacters, 10});
    f.Collecting();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), HeartRate("191212121234", "Smith^John", "20240506120012", "72"));
    f.ReceiveAt(At(12, 0, 13), HeartRate("201212121234", "Doe^Jane", "20240506120013", "50"));
    f.TickAt(At(12, 0, 20, 300));
    // Also when the other one comes first in an interval.
    f.ReceiveAt(At(12, 0, 21), HeartRate("201212121234", "Doe^Jane", "20240506120021", "51"));
    f.ReceiveAt(At(12, 0, 22), HeartRate("191212121234", "Smith^John", "20240506120022", "73"));

    const std::string folder = "C:\\KVD\\DATA\\1212121234\\";
    EXPECT_EQ(f.files.ListDirectory("C:\\KVD\\DATA"), std::vector<std::string>{"1212121234"});
    EXPECT_EQ(Sorted(f.files.ListDirectory(folder)), (std::vector<std::string>{"Halcyra.pil", "Patient"}));
    EXPECT_EQ(
        FileContent(f, folder + "Halcyra.pil"),
        (std::vector<std::string>{"1212121234", "HR 2024-05-06T12:00:10.000 72", "HR 2024-05-06T12:00:20.000 73"}));
    EXPECT_EQ(f.files.ReadFile(folder + "Patient").substr(2, 42), PatientNameField("Smith") + PatientNameField("John"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{"1212121234 HR bpm 2024-05-06T12:00:10.000 72",
                                                    "1212121234 HR bpm 2024-05-06T12:00:20.000 73"}));
    // One row for the reduced ID, with the owner's names, saying why the other's values are missing.
    const int row = f.RowOf("1212121234");
    EXPECT_EQ(f.census.Row(row).text, "1212121234, John Smith");
    EXPECT_EQ(f.census.Row(row).hint, "Values of patient ID 201212121234 are not written: the folder " + folder +
                                          " belongs to patient ID 191212121234");
    EXPECT_EQ(LogLinesWith(f, "201212121234").size(), 1u);
    EXPECT_EQ(LogLinesWith(f, "Patient ID 201212121234 is not written: its folder " + folder +
                                  " belongs to patient ID 191212121234")
                  .size(),
              1u);
}

TEST(MessageHandler, TwoSourceIdsThatDifferInLetterCaseShareNoFolder)
{
    TEngineFixture f;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 8), HeartRate("AB12345", "Smith^John", "20240506120008", "72"));
    f.ReceiveAt(At(12, 0, 9), HeartRate("ab12345", "Doe^Jane", "20240506120009", "50"));
    const int other = f.RowOf("ab12345");
    ASSERT_GT(other, 0);
    EXPECT_TRUE(f.census.IsTicked(other));
    // Its row is ticked, yet Stop writes no delimiters for it.
    f.clock.Set(At(12, 0, 9, 500));
    f.cycle.Stop();

    const std::string folder = "C:\\KVD\\DATA\\AB12345\\";
    EXPECT_EQ(f.files.ListDirectory("C:\\KVD\\DATA"), std::vector<std::string>{"AB12345"});
    EXPECT_EQ(Sorted(f.files.ListDirectory(folder)), (std::vector<std::string>{"Halcyra.pil", "Patient"}));
    EXPECT_EQ(
        FileContent(f, folder + "Halcyra.pil"),
        (std::vector<std::string>{"AB12345", "HR 2024-05-06T12:00:10.000 72", "HR 2024-05-06T12:00:11.000 delimiter"}));
    EXPECT_EQ(f.files.ReadFile(folder + "Patient").substr(2, 54),
              PatientNameField("Smith") + PatientNameField("John") + PatientIdField("AB12345"));
    EXPECT_EQ(f.Values(), std::vector<std::string>{"AB12345 HR bpm 2024-05-06T12:00:10.000 72"});
    EXPECT_EQ(f.Count("AddDelimiter HR bpm"), 1);
    EXPECT_EQ(f.census.Row(f.RowOf("AB12345")).hint, "");
    EXPECT_EQ(f.census.Row(other).hint,
              "Values of patient ID ab12345 are not written: the folder "
              "C:\\KVD\\DATA\\ab12345\\ belongs to patient ID AB12345");
    EXPECT_EQ(LogLinesWith(f, "ab12345").size(), 1u);
}

TEST(MessageHandler, AFolderStaysWithItsOwnerAcrossARestart)
{
    TEngineFixture before;
    before.Collecting();
    before.ReceiveAt(At(12, 0, 8), HeartRate("AB12345", "Smith^John", "20240506120008", "72"));

    TEngineFixture f;
    namespace fs = std::filesystem;
    f.files.ForceDirectories("C:\\KVD\\DATA");
    fs::copy(before.files.HostPath("C:\\KVD\\DATA"), f.files.HostPath("C:\\KVD\\DATA"), fs::copy_options::recursive);
    f.clock.Set(At(13, 0, 0));
    f.Collecting();
    // The other spelling is the first to arrive after the restart.
    f.ReceiveAt(At(13, 0, 8), HeartRate("ab12345", "Doe^Jane", "20240506130008", "50"));
    f.ReceiveAt(At(13, 0, 9), HeartRate("AB12345", "Smith^John", "20240506130009", "73"));

    const std::string folder = "C:\\KVD\\DATA\\AB12345\\";
    EXPECT_EQ(Sorted(f.files.ListDirectory(folder)), (std::vector<std::string>{"Halcyra.pil", "Patient"}));
    EXPECT_EQ(FileContent(f, folder + "Halcyra.pil"),
              (std::vector<std::string>{"AB12345", "HR 2024-05-06T12:00:10.000 72", "HR 2024-05-06T13:00:10.000 73"}));
    EXPECT_EQ(f.files.ReadFile(folder + "Patient").substr(2, 42), PatientNameField("Smith") + PatientNameField("John"));
    EXPECT_EQ(f.Values(), std::vector<std::string>{"AB12345 HR bpm 2024-05-06T13:00:10.000 73"});
    EXPECT_EQ(LogLinesWith(f, "Patient ID ab12345 is not written").size(), 1u);
}

TEST(MessageHandler, MessageTimesSnapToTheNearestGridTime)
{
    struct TCase {
        int interval;
        TDateTime arrival;
        std::string obr;
        std::string written;
    };
    const TCase cases[] = {
        {30, At(12, 0, 44), "20240506120044", "2024-05-06T12:00:30.000"},
        {30, At(12, 0, 46), "20240506120046", "2024-05-06T12:01:00.000"},
        {60, EncodeDateTime(2024, 1, 31, 23, 59, 59), "20240131235959", "2024-02-01T00:00:00.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.obr);
        TEngineFixture f;
        f.cycle.FirstShow(c.interval);
        f.clock.Set(c.arrival - 2 * kOneSecond);
        f.Collecting();
        f.ReceiveAt(c.arrival, Message(c.obr));
        ASSERT_EQ(f.Values().size(), 2u);
        EXPECT_EQ(f.Values()[0], "123456 HR bpm " + c.written + " 72");
    }
}

// On a machine in Europe/Berlin; the clock reads 2024-05-06 12:00:08 CEST (10:00:08 UTC), the interval is 10 s.
TEST(MessageHandler, AZonedTimeIsWrittenAtTheLocalTimeItMeansAndCheckedAsSuch)
{
    const test::TScopedTimeZone berlin("Europe/Berlin");
    ASSERT_EQ(test::TScopedTimeZone::WinterOffsetSeconds(), 3600) << "the zone Europe/Berlin is unknown here";
    struct TCase {
        std::string obr7;
        std::string written;
        bool farFromTheClock;
    };
    const TCase cases[] = {
        {"20240506100008+0000", "2024-05-06T12:00:10.000", false},
        {"20240506050008.25-0500", "2024-05-06T12:00:10.000", false},
        // Within a day of the clock as written, but not the instant it names: the time of arrival.
        {"20240507090009-0300", "2024-05-06T12:00:10.000", true},
        // More than a day before the clock as written, but not the instant it names.
        {"20240505110009+0000", "2024-05-05T13:00:10.000", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.obr7);
        TEngineFixture f;
        f.Collecting();
        f.ReceiveAt(At(12, 0, 8), {Msh(), Pid("1", "Lee^Ann"), Obr(c.obr7), Obx(kHR, "72", "bpm"),
                                   AperiodicObx(kNBP, "120", "mmHg", "20240506100003+0000")});
        EXPECT_EQ(f.Values(), (std::vector<std::string>{"1 HR bpm " + c.written + " 72",
                                                        "1 NBPs mmHg 2024-05-06T12:00:03.000 120"}));
        EXPECT_EQ(LogLinesWith(f, "more than a day").size(), c.farFromTheClock ? 1u : 0u);
    }
}

TEST(MessageHandler, TheCentralStationsOwnPaceWritesEveryMessageUnaligned)
{
    TEngineFixture f;
    f.cycle.Settings().useHalcyraSettings = true;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 8), Message("20240506120008", "72"));
    f.ReceiveAt(At(12, 0, 9), Message("20240506120009", "73"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{
                              "123456 HR bpm 2024-05-06T12:00:08.000 72", "123456 SpO2 % 2024-05-06T12:00:08.000 97",
                              "123456 HR bpm 2024-05-06T12:00:09.000 73", "123456 SpO2 % 2024-05-06T12:00:09.000 97"}));
}

TEST(MessageHandler, AnAperiodicValueKeepsItsOwnTimeForItselfOnly)
{
    TEngineFixture f;
    f.Collecting();
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 12), Message("20240506120012"));
    // Later in the same interval: the aperiodic value is written, the periodic one after it is not.
    f.ReceiveAt(At(12, 0, 14), {Msh(), Pid("123456", "Smith^John"), Obr("20240506120014"),
                                AperiodicObx(kNBP, "120", "mmHg", "20240506120013"), Obx(kHR, "80", "bpm")});
    f.TickAt(At(12, 0, 20, 300));
    // The first message of an interval: the periodic value after the aperiodic one keeps the grid time.
    f.ReceiveAt(At(12, 0, 21), {Msh(), Pid("123456", "Smith^John"), Obr("20240506120021"),
                                AperiodicObx(kNBP, "118", "mmHg", "20240506120019"), Obx(kHR, "81", "bpm")});
    EXPECT_EQ(f.Values(),
              (std::vector<std::string>{
                  "123456 HR bpm 2024-05-06T12:00:10.000 72", "123456 SpO2 % 2024-05-06T12:00:10.000 97",
                  "123456 NBPs mmHg 2024-05-06T12:00:13.000 120", "123456 NBPs mmHg 2024-05-06T12:00:19.000 118",
                  "123456 HR bpm 2024-05-06T12:00:20.000 81"}));
}

TEST(MessageHandler, AMessageWithoutReadableObservationTimeTakesItsArrival)
{
    TEngineFixture f;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 12, 400), {Msh(), Pid("1", "A^B"), Obx(kHR, "72", "bpm")});  // no OBR at all
    f.ReceiveAt(At(12, 0, 16), {Msh(), Pid("2", "C^D"), Obr("2024050612"), Obx(kHR, "73", "bpm")});
    // An aperiodic value with an unreadable time takes the arrival too, unaligned.
    f.ReceiveAt(At(12, 0, 17, 500),
                {Msh(), Pid("3", "E^F"), Obr("20240506120017"), AperiodicObx(kNBP, "120", "mmHg", "x")});
    EXPECT_EQ(f.Values(),
              (std::vector<std::string>{"1 HR bpm 2024-05-06T12:00:10.000 72", "2 HR bpm 2024-05-06T12:00:20.000 73",
                                        "3 NBPs mmHg 2024-05-06T12:00:17.500 120"}));
}

TEST(MessageHandler, AnotherVersionDisconnectsButStillListsThePatient)
{
    for (const bool autoCreate : {false, true}) {
        TEngineFixture f;
        f.handler.Settings().autoCreate = autoCreate;
        f.Receive({Msh("2.3.1"), Pid("123456", "Smith^John"), Obr("20240506120008"), Obx(kHR, "72", "bpm")});
        EXPECT_EQ(f.view.versionText, "Bad HL7 Version ID = 2.3.1");
        EXPECT_EQ(f.cycle.Status(), csNotConnected);
        const int row = f.RowOf("123456");
        ASSERT_GT(row, 0);
        EXPECT_EQ(f.census.Row(row).text, "123456, John Smith");
        EXPECT_EQ(f.census.IsTicked(row), autoCreate);
        EXPECT_FALSE(f.files.FileExists("C:\\KVD\\DATA\\123456\\Patient"));  // no patient created at status 0
        EXPECT_TRUE(f.Values().empty());
        // The right version connects again.
        f.Receive(Message("20240506120009"));
        EXPECT_EQ(f.cycle.Status(), csConnected);
        EXPECT_EQ(f.view.versionText, "");
    }
}

TEST(MessageHandler, AnotherVersionWhileCollectingSuspendsCollectingUntilTheNextGoodHeader)
{
    struct TCase {
        TCollectStatus before;
        TCollectStatus afterBad;
        TCollectStatus afterGood;
    };
    const TCase cases[] = {
        {csNotConnected, csNotConnected, csConnected},
        {csConnected, csNotConnected, csConnected},
        {csCollecting, csConnectionLost, csCollecting},
        {csConnectionLost, csConnectionLost, csCollecting},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.before));
        TEngineFixture f;
        f.Collecting();
        f.TickAt(At(12, 0, 10, 300));
        f.ReceiveAt(At(12, 0, 11), Message("20240506120011", "72"));
        f.cycle.SetStatus(c.before);
        f.ReceiveAt(At(12, 0, 12),
                    {Msh("2.4"), Pid("123456", "Smith^John"), Obr("20240506120012"), Obx(kHR, "99", "bpm")});
        EXPECT_EQ(f.cycle.Status(), c.afterBad);
        EXPECT_EQ(f.view.versionText, "Bad HL7 Version ID = 2.4");
        f.ReceiveAt(At(12, 0, 13), Message("20240506120013", "73"));
        EXPECT_EQ(f.cycle.Status(), c.afterGood);
        EXPECT_EQ(f.view.versionText, "");
        f.TickAt(At(12, 0, 20, 300));
        f.ReceiveAt(At(12, 0, 21), Message("20240506120021", "74"));
        // Nothing of the odd message, the interval's first value kept, and collecting goes on where it was on.
        std::vector<std::string> expected = {"123456 HR bpm 2024-05-06T12:00:10.000 72",
                                             "123456 SpO2 % 2024-05-06T12:00:10.000 97"};
        if (c.afterGood == csCollecting) {
            expected.push_back("123456 HR bpm 2024-05-06T12:00:20.000 74");
            expected.push_back("123456 SpO2 % 2024-05-06T12:00:20.000 97");
        }
        EXPECT_EQ(f.Values(), expected);
    }
}

TEST(MessageHandler, TheFirstMessageAfterABoundaryIsTheIntervalsFirstWhenTheTickComesLate)
{
    TEngineFixture f;
    f.handler.Settings().autoCreate = true;
    f.cycle.SetStatus(csConnected);
    f.ReceiveAt(At(12, 0, 5), Message("20240506120005", "70"));  // known before collecting begins
    f.clock.Set(At(12, 0, 7, 250));
    f.cycle.Start();  // boundaries 12:00:10.250, 12:00:20.250
    f.ReceiveAt(At(12, 0, 9), Message("20240506120009", "71"));
    // The ticks come most of a second after the boundaries.
    f.ReceiveAt(At(12, 0, 10, 500), Message("20240506120010", "72"));
    f.TickAt(At(12, 0, 11, 200));
    f.ReceiveAt(At(12, 0, 11, 500), Message("20240506120011", "73"));
    f.ReceiveAt(At(12, 0, 20, 500), Message("20240506120020", "74"));
    f.TickAt(At(12, 0, 21, 200));
    f.ReceiveAt(At(12, 0, 21, 500), Message("20240506120021", "75"));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{
                              "123456 HR bpm 2024-05-06T12:00:10.000 72", "123456 SpO2 % 2024-05-06T12:00:10.000 97",
                              "123456 HR bpm 2024-05-06T12:00:20.000 74", "123456 SpO2 % 2024-05-06T12:00:20.000 97"}));
}

TEST(MessageHandler, AfterAnOutageEveryGridTimeGetsTheValuesOfOneMessage)
{
    TEngineFixture f;
    f.Collecting();  // boundaries 12:00:10.250, 12:00:20.250, ...
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 11), Message("20240506120011", "60"));
    // Seventy seconds without a message: the connection is lost and the boundaries stop.
    for (int second = 12; second <= 81; ++second) f.TickAt(At(12, 0, 0) + second * kOneSecond);
    ASSERT_EQ(f.cycle.Status(), csConnectionLost);
    // The station is back, one message a second, the ticks between them.
    for (int i = 0; i < 20; ++i) {
        const TDateTime arrival = At(12, 1, 21, 500) + i * kOneSecond;
        f.ReceiveAt(arrival, Message(FormatCompactStamp(arrival), std::to_string(100 + i)));
        f.TickAt(arrival + 0.5 * kOneSecond);
    }
    EXPECT_EQ(f.cycle.Status(), csCollecting);
    EXPECT_EQ(f.CallsStartingWith("AddValue 123456 HR"),
              (std::vector<std::string>{"AddValue 123456 HR bpm 2024-05-06T12:00:10.000 60",
                                        "AddValue 123456 HR bpm 2024-05-06T12:01:20.000 100",
                                        "AddValue 123456 HR bpm 2024-05-06T12:01:30.000 109",
                                        "AddValue 123456 HR bpm 2024-05-06T12:01:40.000 119"}));
}

TEST(MessageHandler, AValidHeaderResumesCollectingAfterALoss)
{
    TEngineFixture f;
    f.Collecting();
    f.cycle.SetStatus(csConnectionLost);
    f.ReceiveAt(At(12, 0, 9), Message("20240506120009"));
    EXPECT_EQ(f.cycle.Status(), csCollecting);
    EXPECT_EQ(f.Values().size(), 2u);
}

TEST(MessageHandler, ObservationsThatAreNotNumericOrHaveNoPatient)
{
    TEngineFixture f;
    f.Collecting();
    f.Receive({Msh(), Pid("", ""), Obr("20240506120008"), Obx(kHR, "72", "bpm")});
    EXPECT_FALSE(f.cycle.ObservationsSeen());  // TOVNULL: the observation is skipped entirely
    EXPECT_GT(f.RowOf("TOVNULL"), 0);
    f.Receive({Msh(), Pid("1", "A^B"), Obr("20240506120008"), Obx(kHR, "alarm", "", "ST")});
    EXPECT_TRUE(f.cycle.ObservationsSeen());
    EXPECT_EQ(f.params.Parameters().Count(), 0u);
    EXPECT_TRUE(f.Values().empty());
    // Without a PID the values are nobody's: not the previous patient's, and nothing is written.
    f.Receive({Msh(), Obr("20240506120009"), Obx(kHR, "72", "bpm")});
    EXPECT_EQ(f.handler.PatientID(), "");
    EXPECT_TRUE(f.Values().empty());
}

TEST(MessageHandler, AnEmptyUnitTakesTheDefaultUnitWhenEnabled)
{
    for (const bool enabled : {false, true}) {
        TEngineFixture f;
        f.registry.CurrentUser().WriteString(TSettingsStore::ProgramSubkey("DefaultUnits"), "hr", "bpm");
        f.params.LoadDefaultUnits();
        f.handler.Settings().enableDefaultUnits = enabled;
        f.Collecting();
        f.Receive({Msh(), Pid("1", "A^B"), Obr("20240506120008"), Obx(kHR, "72", "")});
        EXPECT_EQ(f.view.parameterLabel, enabled ? "HR = 72 bpm" : "HR = 72 ");
        ASSERT_EQ(f.Values().size(), 1u);
        EXPECT_EQ(f.Values()[0], enabled ? "1 HR bpm 2024-05-06T12:00:10.000 72" : "1 HR  2024-05-06T12:00:10.000 72");
    }
}

TEST(MessageHandler, NewParametersAreCountedAndEnableTheParametersButtonOnce)
{
    TEngineFixture f;
    f.params.ExcludedParams().push_back(TParamAndIndexConnection(150456, "SpO2"));
    f.Receive(Message("20240506120008"));
    f.Receive(Message("20240506120009"));
    EXPECT_EQ(f.params.Parameters().Count(), 2u);
    EXPECT_EQ(f.params.CollectedCount(), 1);
    EXPECT_EQ(f.view.parametersEnabled, 1);
}

TEST(MessageHandler, TheDataStreamFileIsNamedFromCleanedTexts)
{
    TEngineFixture f;
    f.view.saveDataStream = true;
    f.handler.Settings().debugFolder = "C:\\TEMP\\";
    f.files.ForceDirectories("C:\\TEMP");
    const std::vector<std::string> message = {Msh(), Pid("12/34", "..\\..\\x^Evil:"), Obr("20240506120008")};
    f.Receive(message);
    const std::string file = "C:\\TEMP\\1234 Evil....x.txt";
    ASSERT_TRUE(f.files.FileExists(file));
    EXPECT_EQ(f.files.ReadFile(file), message[0] + "\r\n" + message[1] + "\r\n" + message[2] + "\r\n");
    EXPECT_EQ(f.files.ListDirectory("C:\\TEMP").size(), 1u);
    EXPECT_EQ(f.files.ListDirectory("C:\\"), std::vector<std::string>{"TEMP"});

    // A message without a patient segment is not filed under the patient before it.
    const std::vector<std::string> anonymous = {Msh(), Obr("20240506120009"), Obx(kHR, "72", "bpm")};
    f.Receive(anonymous);
    EXPECT_EQ(f.files.ReadFile(file), message[0] + "\r\n" + message[1] + "\r\n" + message[2] + "\r\n");
    ASSERT_TRUE(f.files.FileExists("C:\\TEMP\\no patient segment.txt"));
    EXPECT_EQ(f.files.ReadFile("C:\\TEMP\\no patient segment.txt").substr(0, anonymous[0].size()), anonymous[0]);
}

class TRecordingForwarder final : public IRelayForwarder {
public:
    void ForwardToClients(std::string_view bytes) override { pieces.emplace_back(bytes); }
    std::vector<std::string> pieces;
};

// Each message goes on whole, in one send, framed with CR after every segment; an empty one not at all.
TEST(MessageHandler, EveryMessageIsForwardedReframedInOneSend)
{
    TEngineFixture f;
    TRecordingForwarder forwarder;
    f.handler.SetRelayForwarder(&forwarder);
    f.Receive({"MSH|a", "PID|b", "OBX|c"});
    f.Receive({});
    f.Receive({"MSH|x"});
    EXPECT_EQ(forwarder.pieces, (std::vector<std::string>{"\x0BMSH|a\rPID|b\rOBX|c\r\x1C\r", "\x0BMSH|x\r\x1C\r"}));
}

TEST(MessageHandler, ReEntryBeepsAndBothMessagesAreHandled)
{
    TEngineFixture f;
    bool nested = false;
    f.view.onEnableParameters = [&] {
        if (nested) return;
        nested = true;
        f.handler.DecodeMessage({Msh(), Pid("2", "C^D"), Obr("20240506120008"), Obx(kSpO2, "97", "%")});
    };
    f.Receive({Msh(), Pid("1", "A^B"), Obr("20240506120008"), Obx(kHR, "72", "bpm")});
    EXPECT_EQ(f.view.beeps, 1);
    EXPECT_GT(f.RowOf("1"), 0);
    EXPECT_GT(f.RowOf("2"), 0);
    EXPECT_FALSE(f.handler.DecodeBusy());
}

TEST(MessageHandler, AFailedMessageLeavesNothingBehind)
{
    TEngineFixture f;
    f.folders.SetDataFolder("Q:\\DATA\\", false);  // a drive without a mapping
    f.Collecting();
    EXPECT_ANY_THROW(f.handler.DecodeMessage(Message("20240506120008")));
    EXPECT_FALSE(f.handler.DecodeBusy());
    f.folders.SetDataFolder("C:\\KVD\\DATA\\", false);
    f.TickAt(At(12, 0, 10, 300));
    f.ReceiveAt(At(12, 0, 11), Message("20240506120011"));
    EXPECT_EQ(f.view.beeps, 0);
    EXPECT_EQ(f.Values().size(), 2u);
}

TEST(MessageHandler, StopAfterValuesClosesEachCollectedSeries)
{
    TEngineFixture f;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 8), Message("20240506120008"));
    f.ReceiveAt(At(12, 0, 9), {Msh(), Pid("77", "Lee^Ann"), Obr("20240506120009"), Obx(kHR, "60", "bpm")});
    f.clock.Set(At(12, 0, 9, 500));
    f.cycle.Stop();
    // Each patient's own series: patient 77 had no SpO2, and gets no series just to hold a delimiter.
    EXPECT_EQ(f.cycle.DelimitersWritten(), 3);
    EXPECT_EQ(f.Count("AddDelimiter HR bpm"), 2);
    EXPECT_EQ(f.Count("AddDelimiter SpO2 %"), 1);
}

}  // namespace
}  // namespace halcyra
