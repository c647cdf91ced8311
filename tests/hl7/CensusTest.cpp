#include "CensusFixture.h"

#include "patients/FolderOwners.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

// Mirrors the rows as a widget would, so a test sees what the list would show.
class TMirrorView final : public ICensusView {
public:
    explicit TMirrorView(const TCensus& census) : census_(census) { items.push_back("Patients"); }
    void RowInserted(int row) override { items.insert(items.begin() + row, Text(row)); }
    void RowRemoved(int row) override { items.erase(items.begin() + row); }
    void RowChanged(int row) override { items.at(static_cast<std::size_t>(row)) = Text(row); }
    void SetPopupMenuAttached(bool attached) override { popup = attached; }

    std::string Text(int row) const
    {
        const TCensusRow& r = census_.Row(row);
        return r.text + (r.ticked ? " [x]" : " [ ]") + (r.enabled ? "" : " disabled");
    }
    std::vector<std::string> Expected() const
    {
        std::vector<std::string> rows{"Patients"};
        for (int row = 1; row < census_.RowCount(); ++row) rows.push_back(Text(row));
        return rows;
    }

    std::vector<std::string> items;
    bool popup = false;

private:
    const TCensus& census_;
};

class CensusTest : public ::testing::Test, public test::TCensusFixture {
protected:
    CensusTest()
    {
        census.SetView(&view);
        folders.SetDataFolder("C:\\KVD\\DATA\\", false);
    }

    std::string Stamp(TDateTime age) const { return FormatCompactStamp(clock.Now() - age); }
    void Store(const std::string& name, const std::string& value) { Hive().WriteString(kProgramKey, name, value); }
    void Tick(int row, bool ticked)
    {
        census.SetTicked(row, ticked);
        census.CBListPatientsClickCheck();
    }
    fs::path PatientFileHost(const std::string& folder) { return files.HostPath(folder + "Patient"); }

    // Counts the replacements of the hive file from here on.
    int& CountHiveWrites()
    {
        hiveWrites = 0;
        Hive().SetBeforeReplaceHook([this](const fs::path&) { ++hiveWrites; });
        return hiveWrites;
    }
    // Fills the census to its limit with present patients "P1", "P2", ..., ticked as AutoCreate does.
    void FillToTheLimit()
    {
        for (int i = 1; i <= kMaxCensusPatients; ++i) Present("P" + std::to_string(i), "F", "L", true);
        census.SaveCensus(false);
        ASSERT_EQ(census.RowCount(), kMaxCensusPatients + 1);
    }

    TMirrorView view{census};
    int hiveWrites = 0;
};

TEST(CensusItems, ReadsCaretJoinedItems)
{
    const std::string longTail(300, 'x');
    struct Case {
        std::string stored;
        int k;
        std::string expected;
    };
    const Case cases[] = {
        {"John^Smith^1912121234^20240506110000^1", 0, "John"},
        {"John^Smith^1912121234^20240506110000^1", 2, "1912121234"},
        {"John^Smith^1912121234^20240506110000^1", 4, "1"},
        {"John^Smith", 1, "Smith"},
        {"John^Smith", 3, "Smith"},  // a missing item repeats the last one present
        {"John", 4, "John"},
        {"", 2, ""},
        {"a^^c", 1, ""},
        {longTail, 0, std::string(255, 'x')},
        {"a^" + longTail, 1, std::string(255, 'x')},
    };
    for (const Case& c : cases) EXPECT_EQ(CensusItem(c.stored, c.k), c.expected) << c.stored << " item " << c.k;

    const TPatient shortValue = PatientFromCensusValue("Ann^Lee");
    EXPECT_EQ(shortValue, (TPatient{"Lee", "Ann", "Lee", "Lee", false}));
    const TPatient full = PatientFromCensusValue("John^Smith^1912121234^20240506110000^1");
    EXPECT_EQ(full, (TPatient{"20240506110000", "John", "Smith", "1912121234", true}));
    EXPECT_EQ(CensusValueFor(full), "John^Smith^1912121234^20240506110000^1");
    // NUL, which a registry string cannot hold, is kept as the log shows it; other characters as they are.
    const TPatient nul{"20240506110000", std::string("Jo\0hn", 5), "Sm\tith", "1912121234", false};
    EXPECT_EQ(CensusValueFor(nul), "Jo\\x00hn^Sm\tith^1912121234^20240506110000^0");
}

TEST(CensusItems, CensusValueNamesArePatientAndDigits)
{
    for (const char* name : {"Patient1", "Patient12", "PATIENT3", "patient007"})
        EXPECT_TRUE(IsCensusValueName(name)) << name;
    for (const char* name : {"Patient", "Patient1a", "PatientX", "Patients1", "1", "Interval"})
        EXPECT_FALSE(IsCensusValueName(name)) << name;
}

// The time the program did not run is no time the station was heard: however old a stored stamp, its patient
// comes back, as absent, with its tick.
TEST_F(CensusTest, StartUpRestoresEveryStoredPatientDisabledWithItsTickHoweverOld)
{
    const std::string john = "John^Smith^1912121234^" + Stamp(kOneHour) + "^1";
    const std::string ann = "Ann^Lee^555^" + Stamp(2.0) + "^0";
    const std::string cy = "Cy^Ode^888^" + Stamp(7.0) + "^1";
    Store("Interval", "kept");
    Store("Patient1", john);
    Store("Patient2", ann);
    Store("Patient4", cy);

    census.SaveCensus(true);

    EXPECT_EQ(view.items, (std::vector<std::string>{"Patients", "1912121234, John Smith [x] disabled",
                                                    "555, Ann Lee [ ] disabled", "888, Cy Ode [x] disabled"}));
    EXPECT_EQ(view.items, view.Expected());
    // Absent patients keep their time stamps; the values are renumbered without gaps.
    EXPECT_EQ(CensusNames(), (std::vector<std::string>{"Patient1", "Patient2", "Patient3"}));
    EXPECT_EQ(Stored("Patient1"), john);
    EXPECT_EQ(Stored("Patient2"), ann);
    EXPECT_EQ(Stored("Patient3"), cy);
    EXPECT_EQ(Stored("Interval"), "kept");
    EXPECT_EQ(census.LastCensusSave(), clock.Monotonic());
    EXPECT_TRUE(log.empty()) << log.front();
}

// Their absence starts at start-up, and a day of it while the station sends ends it as any other.
TEST_F(CensusTest, RestoredPatientsLeaveAfterADayOfHeardAbsenceLikeAnyOther)
{
    Store("Patient1", "John^Smith^1912121234^" + Stamp(7.0) + "^1");
    Store("Patient2", "Ann^Lee^555^" + Stamp(kOneHour) + "^0");
    census.SaveCensus(true);
    Present("999", "Sen", "Der", false);
    Sends({"999"});

    SendMinutes(23 * 60 + 59, {"999"});
    census.SaveCensus(false);
    EXPECT_EQ(RowIDs(), (std::vector<std::string>{"1912121234", "555", "999"}));
    EXPECT_TRUE(log.empty()) << log.front();

    SendMinutes(2, {"999"});
    census.SaveCensus(false);
    EXPECT_EQ(RowIDs(), std::vector<std::string>{"999"});
    EXPECT_EQ(log,
              (std::vector<std::string>{
                  "Patient 1912121234 (John Smith, ticked) left the census: absent for a day while the station sent",
                  "Patient 555 (Ann Lee, unticked) left the census: absent for a day while the station sent"}));
    EXPECT_EQ(census.ExpiredCount(), 2);
    EXPECT_EQ(CensusNames(), std::vector<std::string>{"Patient1"});
    EXPECT_EQ(view.items, view.Expected());
}

// A census stored before the patient fields had their limits comes back cut to them, and is stored so.
TEST_F(CensusTest, APatientStoredLongerThanTheLimitsComesBackCut)
{
    const std::string longName(1024 * 1024, 'N');
    Store("Patient1", longName + "^Lee^" + std::string(300, '7') + "^" + Stamp(kOneHour) + "^1");
    census.SaveCensus(true);
    ASSERT_EQ(census.RowCount(), 2);
    const TPatient& patient = census.Patient(1);
    EXPECT_EQ(patient.FirstName, std::string(255, 'N'));
    EXPECT_EQ(patient.LastName, "Lee");
    // The ID as a message would leave it: what fits beside the digest of the whole ID.
    const std::string cutId = std::string(246, '7') + "~6252d7a9";
    EXPECT_EQ(patient.PatientID, cutId);
    EXPECT_EQ(census.Row(1).text, cutId + ", " + std::string(255, 'N') + " Lee");
    EXPECT_EQ(Stored("Patient1"), std::string(255, 'N') + "^Lee^" + cutId + "^" + Stamp(kOneHour) + "^1");
}

TEST_F(CensusTest, WithoutRestoringTicksStoredPatientsComeBackUnticked)
{
    Store("Patient1", "John^Smith^1912121234^" + Stamp(kOneHour) + "^1");
    census.SaveCensus(false);
    ASSERT_EQ(census.RowCount(), 2);
    EXPECT_FALSE(census.Row(1).ticked);
    EXPECT_FALSE(census.Row(1).enabled);
}

TEST_F(CensusTest, StoredPatientsComeBackInTheOrderOfTheirNumbers)
{
    Store("Patient10", "C^C^30^" + Stamp(kOneHour) + "^0");
    Store("Patient2", "B^B^20^" + Stamp(kOneHour) + "^0");
    Store("Patient1", "A^A^10^" + Stamp(kOneHour) + "^0");
    census.SaveCensus(true);
    ASSERT_EQ(census.RowCount(), 4);
    EXPECT_EQ(census.Patient(1).PatientID, "10");
    EXPECT_EQ(census.Patient(2).PatientID, "20");
    EXPECT_EQ(census.Patient(3).PatientID, "30");
    EXPECT_EQ(Stored("Patient3"), "C^C^30^" + Stamp(kOneHour) + "^0");
    EXPECT_EQ(CensusNames().size(), 3u);
}

// A patient away for 26 hours while the others send leaves at the first save after a day of that, once, and
// its stored value with it; the patients that send stay, ticked or not, their stamps refreshed at each save.
TEST(CensusAbsence, AnAbsentPatientLeavesAfterADayWhileOthersSendAndIsLoggedOnce)
{
    for (const bool ticked : {true, false}) {
        SCOPED_TRACE(ticked ? "ticked" : "unticked");
        test::TCensusFixture f;
        f.TwoSendOneAway(ticked);

        f.SendMinutes(23 * 60 + 59, {"111", "222"});
        f.census.SaveCensus(false);
        EXPECT_EQ(f.RowIDs(), (std::vector<std::string>{"111", "222", "333"}));
        EXPECT_TRUE(f.log.empty()) << f.log.front();

        f.SendMinutes(2, {"111", "222"});
        f.census.SaveCensus(false);
        EXPECT_EQ(f.RowIDs(), (std::vector<std::string>{"111", "222"}));
        EXPECT_EQ(f.log,
                  std::vector<std::string>{"Patient 333 (Ab Sent, " + std::string(ticked ? "ticked" : "unticked") +
                                           ") left the census: absent for a day while the station sent"});
        EXPECT_EQ(f.census.ExpiredCount(), 1);
        const std::string now = FormatCompactStamp(f.clock.Now());
        EXPECT_EQ(f.CensusNames(), (std::vector<std::string>{"Patient1", "Patient2"}));
        EXPECT_EQ(f.Stored("Patient1"), "Tick^Ed^111^" + now + "^1");
        EXPECT_EQ(f.Stored("Patient2"), "Un^Ticked^222^" + now + "^0");

        // Two more hours: nothing more leaves, nothing more is logged.
        f.SendMinutes(120, {"111", "222"});
        EXPECT_EQ(f.RowIDs(), (std::vector<std::string>{"111", "222"}));
        EXPECT_TRUE(f.census.IsTicked(1));
        EXPECT_FALSE(f.census.IsTicked(2));
        EXPECT_EQ(f.log.size(), 1u);
        EXPECT_EQ(f.census.ExpiredCount(), 1);
    }
}

// However a day passes without messages, nobody's absence grows: the patients that come back find their rows
// and ticks, and one that stays away leaves a day of heard time after it was last seen.
TEST(CensusAbsence, AStationWideOutageOfADayExpiresNobody)
{
    struct TCase {
        const char* name;
        std::function<void(test::TCensusFixture&)> outage;
    };
    const TCase cases[] = {
        {"25 hours without a message, saved hourly",
         [](test::TCensusFixture& f) {
             for (int hour = 0; hour < 25; ++hour) {
                 f.clock.Advance(kOneHour);
                 f.census.SaveCensus(false);
             }
         }},
        {"the wall clock stepped two days on", [](test::TCensusFixture& f) { f.clock.StepWall(2.0); }},
        {"25 hours on the monotonic clock alone",
         [](test::TCensusFixture& f) { f.clock.AdvanceMonotonic(25 * 3600.0); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::TCensusFixture f;
        f.TwoSendOneAway(true);
        f.SendMinutes(23 * 60, {"111", "222"});
        f.census.DisableAllPatientRows();  // the connection is lost

        c.outage(f);
        f.census.SaveCensus(false);
        f.SendMinutes(50, {"111", "222"});
        f.census.SaveCensus(false);

        EXPECT_EQ(f.RowIDs(), (std::vector<std::string>{"111", "222", "333"}));
        EXPECT_TRUE(f.census.IsTicked(1) && f.census.IsEnabled(1));
        EXPECT_TRUE(!f.census.IsTicked(2) && f.census.IsEnabled(2));
        EXPECT_TRUE(f.census.IsTicked(3) && !f.census.IsEnabled(3));
        EXPECT_TRUE(f.log.empty()) << f.log.front();
        EXPECT_EQ(f.census.ExpiredCount(), 0);

        f.SendMinutes(15, {"111", "222"});
        f.census.SaveCensus(false);
        EXPECT_EQ(f.RowIDs(), (std::vector<std::string>{"111", "222"}));
        EXPECT_EQ(f.log.size(), 1u);
    }
}

// The heard time: the monotonic time between consecutive messages at most two minutes apart.
TEST(CensusAbsence, HeardTimeCountsOnlyShortGapsOnTheMonotonicClock)
{
    test::TCensusFixture f;
    struct TStep {
        const char* name;
        std::function<void(TManualClock&)> pass;
        double heard;  // seconds after the message that follows
    };
    const TStep steps[] = {
        {"the first message", [](TManualClock&) {}, 0},
        {"a minute", [](TManualClock& c) { c.AdvanceSeconds(60); }, 60},
        {"just under the bound", [](TManualClock& c) { c.AdvanceSeconds(kHeardGapSeconds - 1); }, 179},
        {"just over the bound", [](TManualClock& c) { c.AdvanceSeconds(kHeardGapSeconds + 1); }, 179},
        {"the monotonic clock alone", [](TManualClock& c) { c.AdvanceMonotonic(30); }, 209},
        {"the wall clock a day on", [](TManualClock& c) { c.StepWall(1.0); }, 209},
        {"the wall clock an hour back, then 10 s",
         [](TManualClock& c) {
             c.StepWall(-kOneHour);
             c.AdvanceSeconds(10);
         },
         219},
        {"a day of silence", [](TManualClock& c) { c.Advance(1.0); }, 219},
        {"a minute after it", [](TManualClock& c) { c.AdvanceSeconds(60); }, 279},
    };
    for (const TStep& step : steps) {
        step.pass(f.clock);
        f.census.StationHeard();
        EXPECT_NEAR(f.census.HeardSeconds(), step.heard, 1e-3) << step.name;
    }
}

TEST_F(CensusTest, AnUntickedRowStoredAsTickedIsNotExpiredWhilePresent)
{
    const int row = Present("111", "A", "B", true);
    census.SaveCensus(false);
    clock.Advance(0.9);
    census.SetTicked(row, false);  // unticked; the stored value still says ticked
    census.SaveCensus(false);
    clock.Advance(0.9);
    census.SaveCensus(false);
    EXPECT_EQ(census.RowCount(), 2);
}

TEST_F(CensusTest, AnIdHasOneRowAndIsFoundWithCase)
{
    const int row = Present("abc", "A", "B", false);
    EXPECT_EQ(census.AddRow("abc, Other Name", TPatient{"", "Other", "Name", "abc", false}), row);
    EXPECT_EQ(census.RowCount(), 2);
    bool differ = false;
    EXPECT_EQ(census.FindPatient("abc", "A", "B", differ), row);
    EXPECT_FALSE(differ);
    EXPECT_EQ(census.FindPatient("abc", "A", "C", differ), row);
    EXPECT_TRUE(differ);
    differ = true;
    EXPECT_EQ(census.FindPatient("ABC", "A", "B", differ), -1);
    EXPECT_TRUE(differ);  // left alone
    EXPECT_FALSE(census.IsPatientTicked("abc"));

    census.SetRowNames(row, "New", "Names");
    EXPECT_EQ(census.Row(row).text, "abc, New Names");
    EXPECT_EQ(view.items, view.Expected());
}

TEST_F(CensusTest, OnlyADisabledRowOffersDeleteAndTheRestIsRenumberedWithoutGaps)
{
    const int first = Present("1", "A", "A", false);
    const int second = Present("2", "B", "B", true);
    Present("3", "C", "C", false);
    census.SaveCensus(false);

    census.SetSelectedRow(second);
    census.CBListPatientsClick();
    EXPECT_FALSE(census.PopupMenuAttached());
    EXPECT_FALSE(view.popup);
    census.DeleteActionClick();  // an enabled row is not removed; the census is still rewritten
    EXPECT_EQ(census.RowCount(), 4);

    census.SetSelectedRow(0);
    census.CBListPatientsClick();
    EXPECT_FALSE(view.popup);

    census.SetEnabled(second, false);
    census.SetSelectedRow(second);
    census.CBListPatientsClick();
    EXPECT_TRUE(view.popup);
    EXPECT_EQ(census.SelectedPatientID(), "");  // not present
    census.DeleteActionClick();
    ASSERT_EQ(census.RowCount(), 3);
    EXPECT_EQ(census.Patient(first).PatientID, "1");
    EXPECT_EQ(census.Patient(2).PatientID, "3");
    EXPECT_EQ(census.SelectedRow(), -1);
    EXPECT_EQ(CensusNames(), (std::vector<std::string>{"Patient1", "Patient2"}));
    EXPECT_EQ(PatientFromCensusValue(Stored("Patient2")).PatientID, "3");
    EXPECT_EQ(view.items, view.Expected());

    census.SetSelectedRow(2);
    EXPECT_EQ(census.SelectedPatientID(), "3");
}

TEST_F(CensusTest, RegistryErrorsLeaveTheCensusInMemoryUnchanged)
{
    Present("111", "A", "B", false);
    Present("222", "C", "D", false);
    Sends({"111", "222"});
    census.SaveCensus(false);
    census.SetEnabled(1, false);
    Store("Patient3", "E^F^333^" + Stamp(kOneHour) + "^0");  // would add a row
    fs::permissions(Hive().File(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const TMonotonic before = census.LastCensusSave();

    // A day and more while 111 is away: it would leave at every save, but none is written.
    SendMinutes(25 * 60, {"222"});
    census.SaveCensus(true);
    EXPECT_EQ(RowIDs(), (std::vector<std::string>{"111", "222"}));
    EXPECT_EQ(census.LastCensusSave(), before);
    census.RewriteCensus();
    EXPECT_EQ(census.LastCensusSave(), before);
    EXPECT_EQ(view.items, view.Expected());
    // Its leaving is logged and counted when it happens, not while it cannot.
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Census not saved: ", 0), 0u) << log[0];
    EXPECT_EQ(census.ExpiredCount(), 0);

    fs::permissions(Hive().File(), fs::perms::owner_write, fs::perm_options::add);
    census.SaveCensus(false);
    EXPECT_EQ(RowIDs(), (std::vector<std::string>{"222", "333"}));
    EXPECT_EQ(log.size(), 3u);  // saved again, and 111 left
    EXPECT_EQ(census.ExpiredCount(), 1);
}

TEST_F(CensusTest, UntickingATickedRowClosesThatPatientsSeriesBeforeTheCensusIsSaved)
{
    const int ann = Present("111", "Ann", "Lee", true);
    const int bob = Present("222", "Bob", "Ray", true);
    for (const std::string id : {"111", "222"})
        ASSERT_TRUE(patientFile.CreatePatient(id, "A", "B", folders.PatientFolderFor(id)) == -1);
    Tick(ann, true);
    Tick(bob, true);
    ASSERT_TRUE(PatientFromCensusValue(Stored("Patient1")).Checked);

    std::vector<std::string> calls;
    census.SetStopDelimiterWriter([&](const TPatient& patient) {
        calls.push_back(patient.PatientID + " " + patient.FirstName + " " + patient.LastName + ", stored tick " +
                        Stored("Patient1").substr(Stored("Patient1").size() - 1));
    });
    Tick(ann, false);
    // Only the unticked patient: Bob is still collected.
    EXPECT_EQ(calls, (std::vector<std::string>{"111 Ann Lee, stored tick 1"}));
    EXPECT_FALSE(PatientFromCensusValue(Stored("Patient1")).Checked);

    // Unticked again: nothing more to close.
    Tick(ann, false);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(CensusTest, TickingCreatesMissingPatientsUnderTheirDisplayId)
{
    folders.SetDataFolder("C:\\KVD\\DATA\\", true);
    std::vector<TCreateNotice> notices;
    patientFile.OnCreateNotice = [&](const TCreateNotice& notice) { notices.push_back(notice); };
    const int row = Present("1234567890", "Ann", "Lee", false);
    Tick(row, true);

    const fs::path created = PatientFileHost("C:\\KVD\\DATA\\12345678.$90\\");
    ASSERT_TRUE(fs::is_regular_file(created));
    std::ifstream in(created, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str().substr(44, 12), std::string("123456-7890\0", 12));
    EXPECT_EQ(notices, (std::vector<TCreateNotice>{{"123456-7890", "Ann", "Lee", "C:\\KVD\\DATA\\12345678.$90\\"}}));
    EXPECT_TRUE(census.Patient(row).Checked);

    Tick(row, true);  // the patient exists now
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(CensusTest, TickingCreatesNoFolderWithoutIdentityOrInAFolderOfAnotherPatient)
{
    TFolderOwners owners{files, std::make_shared<TPosixSaveFileIo>(), folders};
    census.SetFolderOwners(&owners);
    ASSERT_TRUE(owners.Claim(folders.PatientFolderFor("AB12345"), "AB12345", "AB12345").granted);
    const int none = Present("TOVNULL", "", "", false);
    const int other = Present("ab12345", "Jane", "Doe", false);
    const int own = Present("AB12345", "John", "Smith", false);
    Tick(none, true);
    Tick(other, true);
    EXPECT_TRUE(files.ListDirectory("C:\\KVD\\DATA").empty());
    EXPECT_TRUE(census.Patient(none).Checked);
    EXPECT_TRUE(census.Patient(other).Checked);
    Tick(own, true);
    EXPECT_EQ(files.ListDirectory("C:\\KVD\\DATA"), std::vector<std::string>{"AB12345"});
    EXPECT_TRUE(fs::is_regular_file(PatientFileHost("C:\\KVD\\DATA\\AB12345\\")));
}

TEST_F(CensusTest, AFailedCreationEndsTheLoopButTheCensusIsStillSaved)
{
    folders.SetDataFolder("Q:\\DATA\\", false);  // a drive without mapping
    const int first = Present("1", "A", "A", false);
    const int second = Present("2", "B", "B", false);
    census.SetTicked(first, true);
    census.SetTicked(second, true);
    clock.Advance(kOneMinute);
    census.CBListPatientsClickCheck();
    EXPECT_FALSE(census.Patient(first).Checked);   // the error came before its Checked was taken
    EXPECT_FALSE(census.Patient(second).Checked);  // after the error: previous value
    EXPECT_EQ(census.LastCensusSave(), clock.Monotonic());
    EXPECT_EQ(CensusNames().size(), 2u);
    // The failure is told with its cause, in the log and as the row's hint.
    const std::string line =
        "Patient ID 1: no patient could be created in Q:\\DATA\\1\\ (Exception: Could not create "
        "directory)";
    EXPECT_EQ(log, std::vector<std::string>{line + "; its values are not written"});
    EXPECT_EQ(census.Row(first).hint, line);
}

TEST_F(CensusTest, AFolderBlockedByAFileIsLoggedOncePerTickAndTheOtherRowsGoOn)
{
    folders.SetDataFolder("C:\\KVD\\DATA\\", false);
    files.ForceDirectories("C:\\KVD\\DATA\\");
    files.WriteFileAtomic("C:\\KVD\\DATA\\1", "not a folder");
    const int blocked = Present("1", "A", "A", false);
    const int fine = Present("2", "B", "B", false);
    census.SetTicked(blocked, true);
    census.SetTicked(fine, true);
    census.CBListPatientsClickCheck();
    const std::string line =
        "Patient ID 1: no patient could be created in C:\\KVD\\DATA\\1\\ (the folder could not be made)";
    EXPECT_EQ(log, std::vector<std::string>{line + "; its values are not written"});
    EXPECT_EQ(census.Row(blocked).hint, line);
    EXPECT_TRUE(census.Row(fine).hint.empty());
    EXPECT_TRUE(fs::is_regular_file(PatientFileHost("C:\\KVD\\DATA\\2\\")));
}

TEST_F(CensusTest, DisablingAllRowsLeavesTheHeaderAlone)
{
    Present("1", "A", "A", true);
    Present("2", "B", "B", false);
    census.SetSelectedRow(1);
    EXPECT_EQ(census.SelectedPatientID(), "1");
    census.DisableAllPatientRows();
    EXPECT_FALSE(census.IsEnabled(1));
    EXPECT_FALSE(census.IsEnabled(2));
    EXPECT_TRUE(census.Row(0).enabled);
    EXPECT_EQ(census.SelectedPatientID(), "");
    EXPECT_EQ(view.items, view.Expected());
}

TEST_F(CensusTest, EveryCensusChangeIsOneHiveWrite)
{
    for (int i = 1; i <= 50; ++i) Present(std::to_string(i), "F", "L", i % 2 == 0);
    Store("Patient60", "Old^One^999^" + Stamp(7.0) + "^0");  // a stored patient without a row comes back
    int& writes = CountHiveWrites();
    census.SaveCensus(false);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(CensusNames().size(), 51u);

    // A day later every present patient is refreshed, ticked or not, a new one is added and the absent one
    // leaves: still one write.
    SendMinutes(24 * 60 + 2, {"1"}, false);
    Present("51", "F", "L", true);
    census.SaveCensus(false);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(census.FindRow("999"), -1);
    EXPECT_EQ(CensusNames().size(), 51u);
    EXPECT_EQ(PatientFromCensusValue(Stored("Patient1")).TimeStamp, FormatCompactStamp(clock.Now()));
    EXPECT_EQ(PatientFromCensusValue(Stored("Patient2")).TimeStamp, FormatCompactStamp(clock.Now()));

    census.SaveCensus(false);  // nothing changed: nothing written
    EXPECT_EQ(writes, 2);
    census.SetEnabled(3, false);
    census.SetSelectedRow(3);
    census.DeleteActionClick();
    EXPECT_EQ(writes, 3);
    EXPECT_EQ(CensusNames().size(), 50u);
}

TEST_F(CensusTest, ANulInANameNoLongerStopsTheCensusFromBeingSaved)
{
    Present("111", std::string("A\0nn", 4), "Lee", true);
    Present("222", "Bo", "Ek", false);
    census.SaveCensus(false);
    EXPECT_EQ(Stored("Patient1"), "A\\x00nn^Lee^111^" + Stamp(0) + "^1");
    EXPECT_EQ(PatientFromCensusValue(Stored("Patient2")).PatientID, "222");
    EXPECT_EQ(census.LastCensusSave(), clock.Monotonic());
    EXPECT_TRUE(log.empty()) << log.front();
}

TEST_F(CensusTest, AFailedSaveIsLoggedOncePerCause)
{
    Present("111", "A", "B", true);
    census.SaveCensus(false);
    const auto readOnly = [&](bool on) {
        fs::permissions(Hive().File(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        on ? fs::perm_options::remove : fs::perm_options::add);
    };
    readOnly(true);
    for (int i = 0; i < 3; ++i) {
        clock.Advance(kOneMinute);  // the ticked patient's refresh makes each save a change
        census.SaveCensus(false);
        census.RewriteCensus();
    }
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("Census not saved: "), std::string::npos) << log[0];
    EXPECT_NE(log[0].find("Permission denied"), std::string::npos) << log[0];

    readOnly(false);
    census.SaveCensus(false);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], "Census saved again");
    EXPECT_EQ(census.LastCensusSave(), clock.Monotonic());
    readOnly(true);
    clock.Advance(kOneMinute);
    census.SaveCensus(false);
    EXPECT_EQ(log.size(), 3u);
}

TEST_F(CensusTest, AFullCensusMakesRoomFromTheLongestAbsentOrRefusesAndSaysSo)
{
    FillToTheLimit();
    ASSERT_EQ(CensusNames().size(), static_cast<std::size_t>(kMaxCensusPatients));

    // Everyone present: refused, logged once however many arrive.
    EXPECT_TRUE(census.HasRoomFor("P7"));
    EXPECT_FALSE(census.HasRoomFor("N1"));
    for (const char* id : {"N1", "N2", "N1"})
        EXPECT_EQ(census.AddRow(std::string(id) + ", X", {"", "X", "", id, true}), -1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("new patient N1 not added"), std::string::npos) << log[0];
    EXPECT_EQ(census.RowCount(), kMaxCensusPatients + 1);

    // P2 leaves; a time server sets the wall clock back two hours, so P2's stamp is the newest of all; an
    // hour later, every other patient having sent meanwhile, the connection drops and nobody is present: P2
    // was away longest.
    std::vector<std::string> others;
    for (int i = 1; i <= kMaxCensusPatients; ++i)
        if (i != 2) others.push_back("P" + std::to_string(i));
    Sends(others);
    census.SetEnabled(2, false);
    clock.StepWall(-2 * kOneHour);
    SendMinutes(60, {"P1"}, false);
    Sends(others);
    census.SaveCensus(false);
    census.DisableAllPatientRows();
    EXPECT_TRUE(census.HasRoomFor("N1"));
    int& writes = CountHiveWrites();
    const int row = census.AddRow("N1, X", {FormatCompactStamp(clock.Now()), "X", "", "N1", true});
    EXPECT_EQ(row, kMaxCensusPatients);
    EXPECT_EQ(census.FindRow("P2"), -1);
    EXPECT_EQ(census.RowCount(), kMaxCensusPatients + 1);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("room again; 3"), std::string::npos) << log[1];
    // The stored P2 does not come back with the save.
    census.SaveCensus(false);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(census.FindRow("P2"), -1);
    EXPECT_EQ(census.RowCount(), kMaxCensusPatients + 1);
    EXPECT_EQ(CensusNames().size(), static_cast<std::size_t>(kMaxCensusPatients));
    EXPECT_EQ(PatientFromCensusValue(Stored(CensusValueName(kMaxCensusPatients))).PatientID, "N1");
    EXPECT_EQ(view.items, view.Expected());
}

TEST_F(CensusTest, MoreStoredPatientsThanTheLimitKeepTheOnesSeenLast)
{
    TRegValueChanges stored;
    for (int i = 1; i <= kMaxCensusPatients + 3; ++i)
        stored.WriteString(CensusValueName(i), "F^L^S" + std::to_string(i) + "^" + Stamp(i <= 3 ? 0.5 : 0.1) + "^0");
    Hive().WriteValues(kProgramKey, stored);
    census.SaveCensus(true);
    ASSERT_EQ(census.RowCount(), kMaxCensusPatients + 1);
    for (const char* dropped : {"S1", "S2", "S3"}) EXPECT_EQ(census.FindRow(dropped), -1) << dropped;
    EXPECT_EQ(census.Patient(1).PatientID, "S4");
    EXPECT_EQ(CensusNames().size(), static_cast<std::size_t>(kMaxCensusPatients));
    EXPECT_EQ(view.items, view.Expected());
}

TEST_F(CensusTest, StoredIdsAreCleanedAsReceivedOnesAre)
{
    const struct {
        const char* id;
        const char* restored;  // "" when forgotten
    } cases[] = {{"12\x7F"
                  "34",
                  "1234"},
                 {"..\\..\\x", "....x"},
                 {"..", ""},
                 {"^ /", ""},
                 {"5 5", "55"}};
    int n = 0;
    for (const auto& c : cases) Store(CensusValueName(++n), std::string("F^L^") + c.id + "^" + Stamp(kOneHour) + "^1");
    census.SaveCensus(true);
    std::vector<std::string> restored;
    for (int row = 1; row < census.RowCount(); ++row) restored.push_back(census.Patient(row).PatientID);
    EXPECT_EQ(restored, (std::vector<std::string>{"1234", "....x", "55"}));
    EXPECT_EQ(CensusNames().size(), 3u);
    EXPECT_EQ(PatientFromCensusValue(Stored("Patient2")).PatientID, "....x");
}

}  // namespace
}  // namespace halcyra
