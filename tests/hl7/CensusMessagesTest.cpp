// The census over days of messages through the running engine: an outage of the station ages nobody, a
// patient away for a day while the others send leaves it, and a tick the nurse set or cleared holds.
#include "EngineFixture.h"

#include "hl7/MessageSplitter.h"
#include "ui/HostSettings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace halcyra {
namespace {

using test::kHR;
using test::Msh;
using test::Obr;
using test::Obx;
using test::Pid;
using test::TEngineFixture;

// Patient ID and HL7 name ("last^first").
using TWard = std::vector<std::pair<std::string, std::string>>;

const TWard kTicked{{"111", "Ed^Tick"}};
const TWard kUnticked{{"222", "Ticked^Un"}};
const TWard kAway{{"333", "Sent^Ab"}};

TWard operator+(TWard a, const TWard& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One message of each patient, framed as the station sends it, through the central-station socket.
void Send(TEngineFixture& f, const TWard& patients)
{
    for (const auto& [id, name] : patients) {
        std::string bytes(1, kStartBlock);
        for (const std::string& segment :
             {Msh(), Pid(id, name), Obr(FormatCompactStamp(f.clock.Now())), Obx(kHR, "72", "bpm")}) {
            bytes += segment;
            bytes += kSegmentEnd;
        }
        bytes += kEndBlock;
        bytes += kSegmentEnd;
        f.centralStation.Receive(bytes);
    }
}

// The station sends for `minutes` minutes: a message of each patient every minute, the timer's tick after.
void SendMinutes(TEngineFixture& f, int minutes, const TWard& patients)
{
    for (int minute = 0; minute < minutes; ++minute) {
        f.clock.AdvanceSeconds(60);
        Send(f, patients);
        f.engine.Tick();
    }
}

std::size_t ValuesOf(const TEngineFixture& f, const std::string& id)
{
    std::size_t n = 0;
    for (const std::string& value : f.Values()) n += value.rfind(id + " ", 0) == 0;
    return n;
}

std::vector<std::string> CensusLeaves(const TEngineFixture& f)
{
    std::vector<std::string> lines;
    for (const std::string& line : f.logLines)
        if (line.find("left the census") != std::string::npos) lines.push_back(line);
    return lines;
}

// Collecting, 111 and 333 ticked and 222 not, by AutoCreate and the nurse or by the nurse alone.
void Admit(TEngineFixture& f, bool autoCreate)
{
    f.handler.Settings().autoCreate = autoCreate;
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();
    Send(f, kTicked + kUnticked + kAway);
    f.census.SetTicked(f.RowOf("111"), true);
    f.census.SetTicked(f.RowOf("222"), false);
    f.census.SetTicked(f.RowOf("333"), true);
    f.census.CBListPatientsClickCheck();
}

// Whether the stored census names the patient.
bool Stored(TEngineFixture& f, const std::string& id)
{
    TRegistryHive& hive = f.settings.RootHive();
    for (int n = 1; hive.ValueExists(kProgramKey, "Patient" + std::to_string(n)); ++n)
        if (hive.ReadString(kProgramKey, "Patient" + std::to_string(n)).find("^" + id + "^") != std::string::npos)
            return true;
    return false;
}

TEST(CensusOverTime, TheNewPatientsOfATickReachTheHiveInOneSaveAndThoseAfterTheLastTickAtTheEnd)
{
    TEngineFixture f;
    f.handler.Settings().autoCreate = true;
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();
    // The first patient also stores the default unit of its value: the hive is written for it alone.
    Send(f, {{"400", "Alder^Ann"}});
    f.clock.AdvanceSeconds(1);
    f.engine.Tick();
    int writes = 0;
    f.settings.RootHive().SetBeforeReplaceHook([&writes](const std::filesystem::path&) { ++writes; });
    Send(f, {{"401", "Ash^Al"}, {"402", "Birch^Bo"}, {"403", "Cedar^Cy"}});
    EXPECT_EQ(f.census.RowCount(), 5);
    EXPECT_EQ(writes, 0);
    EXPECT_FALSE(Stored(f, "401"));

    f.clock.AdvanceSeconds(1);
    f.engine.Tick();
    EXPECT_EQ(writes, 1);
    EXPECT_TRUE(Stored(f, "401") && Stored(f, "402") && Stored(f, "403"));
    f.clock.AdvanceSeconds(1);
    f.engine.Tick();
    EXPECT_EQ(writes, 1) << "a tick without a change saves nothing";

    Send(f, {{"404", "Dogwood^Di"}});
    f.engine.Close();
    EXPECT_TRUE(Stored(f, "404"));
}

TEST(CensusOverTime, AStationSilentForADayLosesNobodyAndTheTicksHold)
{
    TEngineFixture f;
    Admit(f, true);
    SendMinutes(f, 10, kTicked + kUnticked + kAway);

    // Silence: the tick finds the connection lost; the census is saved every hour of it.
    for (int hour = 0; hour < 25; ++hour) {
        f.clock.Advance(kOneHour);
        f.engine.Tick();
    }
    ASSERT_EQ(f.cycle.Status(), csConnectionLost);
    ASSERT_FALSE(f.census.IsEnabled(f.RowOf("111")));
    const std::size_t before = ValuesOf(f, "111");
    const std::size_t unticked = ValuesOf(f, "222");  // AutoCreate's, before the nurse unticked it
    SendMinutes(f, 10, kTicked + kUnticked + kAway);

    EXPECT_EQ(f.cycle.Status(), csCollecting);
    EXPECT_EQ(f.census.RowCount(), 4);
    EXPECT_TRUE(f.census.IsPatientTicked("111"));
    EXPECT_FALSE(f.census.IsPatientTicked("222"));
    EXPECT_TRUE(f.census.IsPatientTicked("333"));
    EXPECT_EQ(ValuesOf(f, "111"), before + 10);
    EXPECT_EQ(ValuesOf(f, "222"), unticked);
    EXPECT_TRUE(CensusLeaves(f).empty()) << CensusLeaves(f).front();
    EXPECT_EQ(f.engine.RunStatus().patientsExpired, 0);
}

// 333 is away for 26 hours while 111 and 222 send: it leaves, once, and comes back as a new patient, ticked
// by AutoCreate only; 222, unticked by the nurse, stays unticked whatever AutoCreate says.
TEST(CensusOverTime, APatientAwayADayWhileTheOthersSendLeavesAndTheNursesTicksHold)
{
    for (const bool autoCreate : {false, true}) {
        SCOPED_TRACE(autoCreate ? "AutoCreate" : "no AutoCreate");
        TEngineFixture f;
        Admit(f, autoCreate);
        const std::size_t before = ValuesOf(f, "111");
        const std::size_t unticked = ValuesOf(f, "222");
        // A short loss of the connection, and 333 is not there when the station comes back.
        f.clock.AdvanceSeconds(60);
        f.engine.Tick();
        ASSERT_EQ(f.cycle.Status(), csConnectionLost);
        SendMinutes(f, 26 * 60, kTicked + kUnticked);

        ASSERT_EQ(f.cycle.Status(), csCollecting);
        EXPECT_EQ(f.RowOf("333"), -1);
        ASSERT_EQ(CensusLeaves(f).size(), 1u);
        EXPECT_NE(CensusLeaves(f)[0].find(
                      "Patient 333 (Ab Sent, ticked) left the census: absent for a day while the station sent"),
                  std::string::npos)
            << CensusLeaves(f)[0];
        const TRunStatus status = f.engine.RunStatus();
        EXPECT_EQ(status.patientsExpired, 1);
        EXPECT_NE(FormatRunStatusText(status).find("\nPatients: 2; 1 expired this run\n"), std::string::npos);
        EXPECT_TRUE(f.census.IsPatientTicked("111"));
        EXPECT_FALSE(f.census.IsPatientTicked("222"));
        EXPECT_EQ(ValuesOf(f, "111"), before + 26 * 60);
        EXPECT_EQ(ValuesOf(f, "222"), unticked);

        SendMinutes(f, 1, kTicked + kUnticked + kAway);
        EXPECT_EQ(f.census.IsPatientTicked("333"), autoCreate);
        EXPECT_FALSE(f.census.IsPatientTicked("222"));
        EXPECT_EQ(CensusLeaves(f).size(), 1u);
    }
}

// AutoCreate ticks a patient new to the census, never one listed already: not one the start-up brought back.
TEST(CensusOverTime, AutoCreateTicksNewPatientsOnly)
{
    TEngineFixture f;
    const std::string week = FormatCompactStamp(f.clock.Now() - 7.0);
    f.registry.CurrentUser().WriteString(kProgramKey, "Patient1", "Un^Ticked^222^" + week + "^0");
    f.registry.CurrentUser().WriteString(kProgramKey, "Patient2", "Tick^Ed^111^" + week + "^1");
    f.census.SaveCensus(true);
    ASSERT_EQ(f.census.RowCount(), 3);
    f.handler.Settings().autoCreate = true;
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();

    SendMinutes(f, 3, kTicked + kUnticked + kAway);
    EXPECT_TRUE(f.census.IsPatientTicked("111"));
    EXPECT_FALSE(f.census.IsPatientTicked("222"));
    EXPECT_TRUE(f.census.IsPatientTicked("333"));
    EXPECT_EQ(ValuesOf(f, "111"), 3u);
    EXPECT_EQ(ValuesOf(f, "222"), 0u);
    EXPECT_EQ(ValuesOf(f, "333"), 3u);
}

const TPatientStatus& StatusOf(const TRunStatus& status, const std::string& id)
{
    for (const TPatientStatus& p : status.patients)
        if (p.id == id) return p;
    throw std::runtime_error("no patient " + id + " in the status");
}

// A changed ID shortening while collecting: the rows of the old IDs are retired, each told once, and the
// status reports only the rows that receive values as collecting.
TEST(CensusOverTime, AChangedIdShorteningRetiresTheRowsOfTheOldIds)
{
    TEngineFixture f;
    const TWard ward{{"AB1234567890", "Long^Lee"}, {"111", "Ed^Tick"}};
    f.handler.Settings().autoCreate = true;
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();
    SendMinutes(f, 2, ward);

    struct TStep {
        TPatientIdReductionMode mode;
        std::string current;  // the long patient's ID under the new rule
        std::string retired;  // its row made under the old one
    };
    const TStep steps[] = {
        {TPatientIdReductionMode::LastCharacters, "1234567890", "AB1234567890"},
        {TPatientIdReductionMode::None, "AB1234567890", "1234567890"},
    };
    for (const TStep& step : steps) {
        SCOPED_TRACE(step.current);
        THostSettings chosen = LoadHostSettings(f.settings);
        chosen.autoCreate = true;
        chosen.patientIDReduction = static_cast<std::uint8_t>(step.mode);
        chosen.nrOfChars = 10;
        f.logLines.clear();
        f.engine.ApplyHostSettings(chosen);
        f.centralStation.open = true;
        f.cycle.SetStatus(csConnected);
        f.cycle.Start();
        SendMinutes(f, 3, ward);

        const TRunStatus status = f.engine.RunStatus();
        ASSERT_EQ(status.patients.size(), 3u);
        EXPECT_FALSE(StatusOf(status, step.retired).present);
        EXPECT_FALSE(StatusOf(status, step.retired).collecting);
        EXPECT_TRUE(StatusOf(status, step.current).collecting);
        EXPECT_TRUE(StatusOf(status, "111").collecting);
        std::vector<std::string> told;
        for (const std::string& line : f.logLines)
            if (line.find("shortening") != std::string::npos) told.push_back(line.substr(line.find(": ") + 2));
        EXPECT_EQ(told, std::vector<std::string>{"Patient ID " + step.retired + " is now " + step.current +
                                                 " (the patient ID shortening changed); the row of " + step.retired +
                                                 " is absent from now on"});
    }
}

}  // namespace
}  // namespace halcyra
