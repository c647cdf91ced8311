#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Observation.h"
#include "hl7/PatientFieldLimits.h"
#include "hl7/PatientIdentity.h"
#include "hl7/Segments.h"
#include "platform/Text.h"
#include "support/TimeZone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <utility>

namespace halcyra {
namespace {

TEST(Hl7Items, CutsItemsCountedFromOne)
{
    struct Case {
        std::string_view text;
        int k;
        std::string_view expected;
    };
    const Case cases[] = {
        {"OBX|1|NM|0002-4182^HR^MDIL||72", 1, "OBX"},
        {"OBX|1|NM|0002-4182^HR^MDIL||72", 4, "0002-4182^HR^MDIL"},
        {"OBX|1|NM|0002-4182^HR^MDIL||72", 5, ""},
        {"OBX|1|NM|0002-4182^HR^MDIL||72", 6, "72"},
        {"OBX|1|NM|0002-4182^HR^MDIL||72", 7, ""},  // fewer fields than asked
        {"OBX|1|NM|0002-4182^HR^MDIL||72", 99, ""},
        {"OBX|1|", 3, ""},  // after a trailing separator
        {"", 1, ""},
        {"abc", 1, "abc"},
        {"abc", 0, ""},
        {"abc", -3, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetField(c.text, c.k), c.expected) << c.text << " item " << c.k;
        if (c.k <= TItems::kMaxItems) {
            EXPECT_EQ(TItems(c.text, '|')[c.k], c.expected) << c.text << " item " << c.k;
        }
    }

    EXPECT_EQ(GetComponent("0002-4182^HR^MDIL", 2), "HR");
    EXPECT_EQ(GetComponent("0002-4182^HR^MDIL", 4), "");
    EXPECT_EQ(GetSubComponent("a&b&c", 3), "c");
    // Repetition and escape characters get no special treatment.
    EXPECT_EQ(GetField("PID|||1~2\\F\\3", 4), "1~2\\F\\3");
}

TEST(Hl7Segments, KindsAndVersion)
{
    EXPECT_EQ(GetSegmentKind("MSH|^~\\&"), skMSH);
    EXPECT_EQ(GetSegmentKind("PID|||1"), skPID);
    EXPECT_EQ(GetSegmentKind("PV1|"), skPV1);
    EXPECT_EQ(GetSegmentKind("OBR|1"), skOBR);
    EXPECT_EQ(GetSegmentKind("OBX"), skOBX);
    EXPECT_EQ(GetSegmentKind("obx|1"), skOther);   // case-sensitive
    EXPECT_EQ(GetSegmentKind("\nMSH|"), skOther);  // a line feed left from CR LF
    EXPECT_EQ(GetSegmentKind("MS"), skOther);
    EXPECT_EQ(GetSegmentKind(""), skOther);

    const std::string header = "MSH|^~\\&|CS|WARD|||20240131235959||ORU^R01|1|P|";
    EXPECT_TRUE(IsSupportedVersion(GetField(header + "2.3", hl7item::kMshVersion)));
    for (const char* other : {"2.3.1", "2.4", "", " 2.3", "2.3 "})
        EXPECT_FALSE(IsSupportedVersion(GetField(header + other, hl7item::kMshVersion))) << other;
}

TEST(Hl7Identity, CleanRemovesForbiddenAndControlCharacters)
{
    EXPECT_EQ(CleanPatientID("0123456789^^^^MR"), "0123456789MR");
    EXPECT_EQ(CleanPatientID("^^^^MR"), "MR");
    EXPECT_EQ(CleanPatientID(" \"*-/:<>?\\^|"), "");
    EXPECT_EQ(CleanPatientID(std::string("a\tb\nc\rd\x01") + '\0' + "e\x1F" + "f\x7F"), "abcdef");
    // Dots, letters, digits and bytes above 127 are kept.
    EXPECT_EQ(CleanPatientID("..\\x.y\xE9"), "..x.y\xE9");
}

TEST(Hl7Identity, SplitsTheThreeNameForms)
{
    struct Case {
        std::string_view text;
        TPatientName expected;
    };
    const Case cases[] = {
        {"Smith^John", {"John", "Smith", "John Smith"}},
        {"Smith^John^Q^Jr", {"John", "Smith", "John Smith"}},
        {"Smith^", {"", "Smith", " Smith"}},
        {"John Smith", {"John", "Smith", "John Smith"}},
        {"John van der Berg", {"John", "van der Berg", "John van der Berg"}},
        {"Smith", {"", "", "Smith"}},
        {"", {"", "", ""}},
    };
    for (const Case& c : cases) {
        const TPatientName name = SplitPatientName(c.text);
        EXPECT_EQ(name.firstName, c.expected.firstName) << c.text;
        EXPECT_EQ(name.lastName, c.expected.lastName) << c.text;
        EXPECT_EQ(name.displayName, c.expected.displayName) << c.text;
    }
    const std::string longLast(300, 'x');
    EXPECT_EQ(SplitPatientName("A " + longLast).lastName, std::string(255, 'x'));
}

TEST(Hl7Identity, ChoosesIdThenLastThenFirstThenTOVNULL)
{
    struct Case {
        std::string_view id, first, last, expected;
    };
    const Case cases[] = {
        {"0123456789MR", "John", "Smith", "0123456789MR"},
        {"MR", "John", "Smith", "Smith"},
        {"", "John", "Smith", "Smith"},
        {"", "John", "", "John"},
        {"", "", "", "TOVNULL"},
        {"MR", "", "", "TOVNULL"},
        {"^^^^MR", "", "Smith", "Smith"},  // cleaned before the test
        {"...", "", "Smith", "Smith"},     // dots only would name the data folder or its parent
        {".", "", "", "TOVNULL"},
        {"a.b", "", "Smith", "a.b"},
        {"", "John", "../../etc", "....etc"},  // a name taken as the ID is cleaned too
        {"", "John", "..", "John"},
        {"", "J\x01", "/", "J"},
        {"\x7F\x7F", "", "Smith\x7F", "Smith"},  // DEL is a control character too
        {"", "MR", "", "MR"},                    // only the ID's "MR" means no identity
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChoosePatientID(c.id, c.first, c.last), c.expected) << c.id << "|" << c.first << "|" << c.last;
}

// A folder name holds 255 bytes of the ID's host form, where 0xE9 takes two and 0x80 (the euro sign) three.
// The digests are fixed: a folder named by one must be found again by the next version.
TEST(Hl7Identity, LongIdsAreCutToADigestOfTheWholeId)
{
    struct Case {
        std::string id;
        std::string expected;
    };
    const std::string a255(255, 'A');
    const Case cases[] = {
        // IDs that fit are left as they are.
        {"0123456789MR", "0123456789MR"},
        {a255, a255},
        {std::string(127, '\xE9'), std::string(127, '\xE9')},                        // 254 bytes
        {std::string(85, '\x80'), std::string(85, '\x80')},                          // 255 bytes
        {std::string(246, 'A') + "~00000000", std::string(246, 'A') + "~00000000"},  // looks cut, fits
        // Longer ones keep what fits in 246 bytes, then '~' and the digest.
        {std::string(256, 'A'), std::string(246, 'A') + "~087462c5"},
        {std::string(300, 'A'), std::string(246, 'A') + "~f41f9e41"},
        // Alike in their first 255 bytes: apart by the digest.
        {a255 + "B", std::string(246, 'A') + "~05745e0c"},
        {a255 + "C", std::string(246, 'A') + "~06745f9f"},
        // A character of two or three bytes that would cross the 246th byte is left out whole.
        {std::string(245, 'A') + std::string(20, '\xE9'), std::string(245, 'A') + "~48bf60a4"},
        {std::string(244, 'A') + std::string(20, '\x80'), std::string(244, 'A') + "~83676ff9"},
        {std::string(243, 'A') + std::string(20, '\x80'), std::string(243, 'A') + "\x80~83788932"},
        {std::string(128, '\xE9'), std::string(123, '\xE9') + "~afe58745"},
        {std::string(86, '\x80'), std::string(82, '\x80') + "~adcfbcdd"},
    };
    std::set<std::string> results;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id.substr(0, 12) + "... of " + std::to_string(c.id.size()));
        std::string id = c.id;
        EXPECT_EQ(CutPatientID(id), c.expected != c.id);
        EXPECT_EQ(id, c.expected);
        EXPECT_LE(Win1252ToUtf8(id).size(), kMaxPatientIdHostBytes);
        // The census reads a stored ID through the same cut, and the ID cleaning keeps the digest.
        std::string again = id;
        EXPECT_FALSE(CutPatientID(again));
        EXPECT_EQ(again, id);
        EXPECT_EQ(CleanPatientID(id), id);
        EXPECT_TRUE(results.insert(id).second) << "two IDs give " << id.substr(0, 12) << "...";
    }
}

// Stamps are read on a machine in Europe/Berlin: CET (+0100), and CEST (+0200) from 29 March 2026 01:00 UTC
// to 25 October 2026 01:00 UTC.
class Hl7Time : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(test::TScopedTimeZone::WinterOffsetSeconds(), 3600) << "the zone Europe/Berlin is unknown here";
    }

    test::TScopedTimeZone berlin_{"Europe/Berlin"};
};

TEST_F(Hl7Time, AStampWithoutAZoneIsLocalTimeAsWritten)
{
    const TDateTime fallback = EncodeDateTime(2000, 1, 2, 3, 4, 5);
    struct Case {
        std::string_view text;
        TDateTime expected;
    };
    const Case cases[] = {
        {"20240131235959", EncodeDateTime(2024, 1, 31, 23, 59, 59)},
        {"20240229000000", EncodeDateTime(2024, 2, 29)},
        // Fractions are ignored, however many digits; a further component (the degree of precision) and
        // trailing blanks too.
        {"20240131235959.1", EncodeDateTime(2024, 1, 31, 23, 59, 59)},
        {"20240131235959.999999", EncodeDateTime(2024, 1, 31, 23, 59, 59)},
        {"20240131235959^S", EncodeDateTime(2024, 1, 31, 23, 59, 59)},
        {"20240131235959.12^S^x|", EncodeDateTime(2024, 1, 31, 23, 59, 59)},
        {"20240131235959  ", EncodeDateTime(2024, 1, 31, 23, 59, 59)},
        // A local time the change of summer time skips or repeats stays as written.
        {"20260329023000", EncodeDateTime(2026, 3, 29, 2, 30)},
        {"20261025023000", EncodeDateTime(2026, 10, 25, 2, 30)},
        // Far from any clock, but a time: the message handling decides about it.
        {"00010101000000", EncodeDateTime(1, 1, 1)},
        {"99991231235959", EncodeDateTime(9999, 12, 31, 23, 59, 59)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HL7ToDateTime(c.text, fallback), c.expected) << c.text;
        THL7Stamp stamp;
        ASSERT_TRUE(TryReadHL7Stamp(c.text, stamp)) << c.text;
        EXPECT_FALSE(stamp.zoned) << c.text;
        EXPECT_EQ(stamp.offsetMinutes, 0) << c.text;
        EXPECT_EQ(stamp.written, c.expected) << c.text;
        EXPECT_EQ(LocalTimeOf(stamp), c.expected) << c.text;
    }
}

TEST_F(Hl7Time, AZonedStampIsTheLocalTimeOfItsInstant)
{
    struct Case {
        std::string_view text;
        TDateTime written;
        int offsetMinutes;
        TDateTime local;
    };
    const Case cases[] = {
        {"20261211030100+0000", EncodeDateTime(2026, 12, 11, 3, 1), 0, EncodeDateTime(2026, 12, 11, 4, 1)},
        {"20261211030100-0000", EncodeDateTime(2026, 12, 11, 3, 1), 0, EncodeDateTime(2026, 12, 11, 4, 1)},
        {"20261211040100+0100", EncodeDateTime(2026, 12, 11, 4, 1), 60, EncodeDateTime(2026, 12, 11, 4, 1)},
        // East and west, to the ends of the zones in use, across days, a year's end and a leap day.
        {"20261211093100+0530", EncodeDateTime(2026, 12, 11, 9, 31), 330, EncodeDateTime(2026, 12, 11, 5, 1)},
        {"20261211170100+1400", EncodeDateTime(2026, 12, 11, 17, 1), 840, EncodeDateTime(2026, 12, 11, 4, 1)},
        {"20261210220100-0500", EncodeDateTime(2026, 12, 10, 22, 1), -300, EncodeDateTime(2026, 12, 11, 4, 1)},
        {"20261210150100-1200", EncodeDateTime(2026, 12, 10, 15, 1), -720, EncodeDateTime(2026, 12, 11, 4, 1)},
        {"20261211001500-1400", EncodeDateTime(2026, 12, 11, 0, 15), -840, EncodeDateTime(2026, 12, 11, 15, 15)},
        {"20261231233000-0130", EncodeDateTime(2026, 12, 31, 23, 30), -90, EncodeDateTime(2027, 1, 1, 2)},
        {"20270101003000+0200", EncodeDateTime(2027, 1, 1, 0, 30), 120, EncodeDateTime(2026, 12, 31, 23, 30)},
        {"20240229233000-0100", EncodeDateTime(2024, 2, 29, 23, 30), -60, EncodeDateTime(2024, 3, 1, 1, 30)},
        // In summer.
        {"20260715120000+0000", EncodeDateTime(2026, 7, 15, 12), 0, EncodeDateTime(2026, 7, 15, 14)},
        // A fraction before the zone, a component after it, trailing blanks.
        {"20261211030100.1234+0000", EncodeDateTime(2026, 12, 11, 3, 1), 0, EncodeDateTime(2026, 12, 11, 4, 1)},
        {"20261211030100.9-0130^S", EncodeDateTime(2026, 12, 11, 3, 1), -90, EncodeDateTime(2026, 12, 11, 5, 31)},
        {"20261211030100+0130 ", EncodeDateTime(2026, 12, 11, 3, 1), 90, EncodeDateTime(2026, 12, 11, 2, 31)},
        // Both changes of summer time, to the second.
        {"20260329005959+0000", EncodeDateTime(2026, 3, 29, 0, 59, 59), 0, EncodeDateTime(2026, 3, 29, 1, 59, 59)},
        {"20260329010000+0000", EncodeDateTime(2026, 3, 29, 1), 0, EncodeDateTime(2026, 3, 29, 3)},
        {"20261025005959+0000", EncodeDateTime(2026, 10, 25, 0, 59, 59), 0, EncodeDateTime(2026, 10, 25, 2, 59, 59)},
        {"20261025010000+0000", EncodeDateTime(2026, 10, 25, 1), 0, EncodeDateTime(2026, 10, 25, 2)},
        // The repeated hour: 00:30 UTC in summer time and 01:30 UTC in winter time are both 02:30 here.
        {"20261025023000+0200", EncodeDateTime(2026, 10, 25, 2, 30), 120, EncodeDateTime(2026, 10, 25, 2, 30)},
        {"20261025023000+0100", EncodeDateTime(2026, 10, 25, 2, 30), 60, EncodeDateTime(2026, 10, 25, 2, 30)},
        // The skipped hour written in the sender's zone is a real instant.
        {"20260329023000+0200", EncodeDateTime(2026, 3, 29, 2, 30), 120, EncodeDateTime(2026, 3, 29, 1, 30)},
        {"20260329023000+0100", EncodeDateTime(2026, 3, 29, 2, 30), 60, EncodeDateTime(2026, 3, 29, 3, 30)},
    };
    for (const Case& c : cases) {
        THL7Stamp stamp;
        ASSERT_TRUE(TryReadHL7Stamp(c.text, stamp)) << c.text;
        EXPECT_TRUE(stamp.zoned) << c.text;
        EXPECT_EQ(stamp.written, c.written) << c.text;
        EXPECT_EQ(stamp.offsetMinutes, c.offsetMinutes) << c.text;
        EXPECT_EQ(FormatIsoMilliseconds(LocalTimeOf(stamp)), FormatIsoMilliseconds(c.local)) << c.text;
        TDateTime time = -1;
        ASSERT_TRUE(TryHL7ToDateTime(c.text, time)) << c.text;
        EXPECT_EQ(time, LocalTimeOf(stamp)) << c.text;
        EXPECT_EQ(HL7ToDateTime(c.text, 1.5), time) << c.text;
    }
}

// Every half hour of 2026, written in three zones: the same local time, one hour after UTC in winter and two in
// summer.
TEST_F(Hl7Time, OneInstantInAnyZoneIsOneLocalTimeAllYear)
{
    const TDateTime summerFrom = EncodeDateTime(2026, 3, 29, 1);
    const TDateTime summerUntil = EncodeDateTime(2026, 10, 25, 1);
    for (int halfHour = 0; halfHour < 365 * 48; ++halfHour) {
        const TDateTime utc = EncodeDateTime(2026, 1, 1) + halfHour * (kOneHour / 2);
        const TDateTime expected = utc + (utc >= summerFrom && utc < summerUntil ? 2 : 1) * kOneHour;
        for (const auto& [offset, zone] : {std::pair{0.0, "+0000"}, {-3.5, "-0330"}, {14.0, "+1400"}}) {
            const std::string text = FormatCompactStamp(utc + offset * kOneHour) + zone;
            TDateTime local = 0;
            ASSERT_TRUE(TryHL7ToDateTime(text, local)) << text;
            ASSERT_NEAR(local, expected, kOneMillisecond) << text;
        }
    }
}

TEST_F(Hl7Time, AnUnreadableStampGivesTheFallbackAndLeavesTheStampAlone)
{
    const TDateTime fallback = EncodeDateTime(2000, 1, 2, 3, 4, 5);
    const char* const bad[] = {
        // Not fourteen digits of a real date and time.
        "2024013123", "", "2024013123595", "20230229000000", "20241301000000", "20240131246000", "20240131235960",
        "00000101000000", "2024-1-31 2359", "2024013123595x", "+0240131235959",
        // A zone that is not exactly four digits, or beyond the zones in use.
        "20261211030100+", "20261211030100+000", "20261211030100+00000", "20261211030100-01", "20261211030100+01:00",
        "20261211030100+0a00", "20261211030100+0060", "20261211030100-0099", "20261211030100+1500",
        "20261211030100-1401", "20261211030100+9999",
        // Anything else after the seconds or the zone: a zone may hide in it.
        "20261211030100+0100x", "20261211030100+0100+0100", "20261211030100Z", "20261211030100 +0100",
        "20261211030100x", "2026121103010012", "20261211030100.", "20261211030100.+0100", "20261211030100.12.34",
        "20261211030100.1234 x", "20261211030100~20261211030200", "20261211030100\t",
        // A zoned stamp whose local time lies outside the years 1 to 9999.
        "00010101000000+0100", "99991231233000-0100"};
    for (const char* text : bad) {
        EXPECT_EQ(HL7ToDateTime(text, fallback), fallback) << text;
        TDateTime time = fallback;
        EXPECT_FALSE(TryHL7ToDateTime(text, time)) << text;
        EXPECT_EQ(time, fallback) << text;
        THL7Stamp stamp{fallback, true, 42};
        EXPECT_FALSE(TryReadHL7Stamp(text, stamp)) << text;
        EXPECT_EQ(stamp.written, fallback) << text;
        EXPECT_TRUE(stamp.zoned) << text;
        EXPECT_EQ(stamp.offsetMinutes, 42) << text;
    }
}

TEST(Hl7Observation, CodesPlainHyphenatedAndInvalid)
{
    struct Case {
        std::string_view text;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"0002-4182", 147842},  // 0x24182
        {"150456", 150456},
        {"0002-41", 577},  // 0x241
        {"0002-", 2},
        {"000A-FFFF", 0xAFFFF},
        {"FFFF-FFFF", -1},  // eight digits wrap into the signed range
        {"7FFF-FFFF", 2147483647},
        {"0002-4182-9", 147842},  // characters after the ninth are not read
        {"000a-4182", -1},        // lower case has no digit value
        {"0002-41G2", -1},
        {"00-2-4182", -1},  // a hyphen among the digits
        {"-", -1},
        {"-17", -1},  // a hyphen means the hexadecimal form
        {"abc", -1},
        {"", -1},
        {" 12", -1},
        {"12 ", -1},
        {"+12", 12},
        {"2147483647", 2147483647},
        {"2147483648", -1},
        {"99999999999999999999", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(ObservationCode(c.text), c.expected) << c.text;
    std::int32_t value = 0;
    EXPECT_TRUE(TryStrToInt32("-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
}

TEST(Hl7Observation, ValuesWithEitherSeparator)
{
    struct Case {
        std::string_view text;
        double expected;
    };
    const Case cases[] = {
        {"72", 72},   {"36.5", 36.5}, {"36,5", 36.5}, {" 36,5 ", 36.5}, {"-1.5e2", -150}, {"+4", 4},    {"1E3", 1000},
        {".5", 0.5},  {"5.", 5},      {"", 0},        {"abc", 0},       {"1.2.3", 0},     {"1,5,2", 0}, {"1,5.2", 0},
        {"12abc", 0}, {"1e", 0},      {"e5", 0},      {"-", 0},         {".", 0},         {"inf", 0},   {"nan", 0},
        {"0x10", 0},  {"1e999", 0},   {"\t5", 0},     {"5 5", 0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ValueToFloat(c.text), c.expected) << c.text;
        EXPECT_DOUBLE_EQ(ValueToFloat(c.text, ','), c.expected) << c.text << " with ','";
    }
}

TEST(Hl7Observation, OnlyANumberIsAValue)
{
    struct Case {
        std::string_view text;
        char separator;
        bool number;
        double value;
    };
    const Case cases[] = {
        {"0", '.', true, 0},       {"-0.5", '.', true, -0.5},    {" 12 ", '.', true, 12},   {"1,5", '.', true, 1.5},
        {"1,5", ',', true, 1.5},   {"1.5", ',', true, 1.5},      {"1e3", ',', true, 1000},  {"", '.', false, 0},
        {"   ", '.', false, 0},    {"abc", '.', false, 0},       {"NaN", '.', false, 0},    {"nan", ',', false, 0},
        {"inf", '.', false, 0},    {"-Infinity", '.', false, 0}, {"0x1A", '.', false, 0},   {"1e400", '.', false, 0},
        {"-1e400", ',', false, 0}, {"1,5,2", ',', false, 0},     {"12 bpm", '.', false, 0}, {"\t5", '.', false, 0},
    };
    for (const Case& c : cases) {
        double value = -99;
        EXPECT_EQ(TryValueToFloat(c.text, c.separator, value), c.number) << c.text << " with " << c.separator;
        EXPECT_DOUBLE_EQ(value, c.number ? c.value : -99) << c.text << " with " << c.separator;
    }
}

// A number too small for a double is 0, one too large is none; no zero is negative, in the file or for the
// data manager.
TEST(Hl7Observation, NumbersAtTheEdgesOfADouble)
{
    struct Case {
        std::string text;
        bool number;
        double value;
    };
    const Case cases[] = {
        {"-0", true, 0},
        {"-0.0", true, 0},
        {"-0,000", true, 0},
        {"-0e5", true, 0},
        {"-.0", true, 0},
        {"4e-400", true, 0},
        {"-4e-400", true, 0},
        {"1e-99999999", true, 0},
        {"0." + std::string(400, '0') + "1", true, 0},
        {"-0." + std::string(400, '0') + "1", true, 0},
        {"4e-320", true, 4e-320},
        {std::string(400, '0') + "7", true, 7},
        {"1" + std::string(400, '0') + "e-400", true, 1},
        {std::string(400, '9'), false, 0},
        {"1" + std::string(400, '0'), false, 0},
        {"-" + std::string(400, '9'), false, 0},
        {"0.001e309", true, 1e306},
        {"1e99999999", false, 0},
    };
    for (const Case& c : cases) {
        for (const char separator : {'.', ','}) {
            double value = -99;
            ASSERT_EQ(TryValueToFloat(c.text, separator, value), c.number) << c.text << " with " << separator;
            if (!c.number) continue;
            EXPECT_EQ(value, c.value) << c.text << " with " << separator;
            EXPECT_FALSE(std::signbit(value)) << c.text << " with " << separator;
        }
    }
    EXPECT_TRUE(std::signbit(ValueToFloat("-1e-300")));
}

TEST(Hl7Observation, UnitIsComponentTwoOnlyWithACaret)
{
    EXPECT_EQ(ObservationUnit("bpm"), "bpm");
    EXPECT_EQ(ObservationUnit("264864^/min^MDIL"), "/min");
    EXPECT_EQ(ObservationUnit("264864^"), "");
    EXPECT_EQ(ObservationUnit(""), "");
}

}  // namespace
}  // namespace halcyra
