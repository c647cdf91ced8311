#include "hl7/MessageSummary.h"

#include "FastPathDiff.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

TEST(Hl7Summary, TypicalMonitorMessage)
{
    const TSegmentList segments = {
        "MSH|^~\\&|CS|WARD|||20240131235959||ORU^R01|1|P|2.3",
        "PID|||0123456789^^^^MR||Smith^John",
        "PV1||I|ICU^1^1",
        "OBR|1|||||20240131235959|20240131235959",
        "OBX|1|NM|0002-4182^HR^MDIL||72|264864^/min^MDIL|||||F",
        "OBX|2|NM|150456^TEMP||36,5| \x01"
        "Cel\t |||||F",
        "OBX|3|NM|0002-4A05^NBPs||120|mmHg|||||F||APERIODIC|20240131120312",
        "OBX|4|ST|0002-0001^NOTE||lead off||||||F",
        "OBX|5|NM|x^BAD||y||||||F||APERIODIC|garbage",
    };
    const TMessageSummary s = SummarizeMessage(segments);
    ASSERT_TRUE(s.version.has_value());
    EXPECT_EQ(*s.version, "2.3");
    EXPECT_TRUE(s.supported);
    EXPECT_TRUE(s.hasPatient);
    EXPECT_EQ(s.patientId, "0123456789MR");
    EXPECT_EQ(s.firstName, "John");
    EXPECT_EQ(s.lastName, "Smith");
    EXPECT_EQ(s.displayName, "John Smith");
    ASSERT_TRUE(s.observationTime.has_value());
    EXPECT_EQ(*s.observationTime, EncodeDateTime(2024, 1, 31, 23, 59, 59));
    ASSERT_EQ(s.observations.size(), 5u);

    const TObservationSummary& hr = s.observations[0];
    EXPECT_EQ(hr.valueType, "NM");
    EXPECT_EQ(hr.code, 147842);
    EXPECT_EQ(hr.label, "HR");
    EXPECT_EQ(hr.valueText, "72");
    EXPECT_EQ(hr.value, 72);
    EXPECT_EQ(hr.unit, "/min");
    EXPECT_FALSE(hr.aperiodic);
    EXPECT_FALSE(hr.time.has_value());

    EXPECT_EQ(s.observations[1].code, 150456);
    EXPECT_DOUBLE_EQ(s.observations[1].value, 36.5);
    EXPECT_EQ(s.observations[1].unit, "Cel");  // blanks and control characters trimmed

    const TObservationSummary& nbp = s.observations[2];
    EXPECT_EQ(nbp.code, 0x24A05);
    EXPECT_TRUE(nbp.aperiodic);
    ASSERT_TRUE(nbp.time.has_value());
    EXPECT_EQ(*nbp.time, EncodeDateTime(2024, 1, 31, 12, 3, 12));

    EXPECT_EQ(s.observations[3].valueType, "ST");
    EXPECT_EQ(s.observations[4].code, -1);
    EXPECT_EQ(s.observations[4].value, 0);
    EXPECT_TRUE(s.observations[4].aperiodic);
    EXPECT_FALSE(s.observations[4].time.has_value());
    EXPECT_EQ(s.observations[4].timeText, "garbage");
}

TEST(Hl7Summary, MissingSegmentsAndLaterSegmentsWin)
{
    const TMessageSummary none = SummarizeMessage({"PV1|", "ZZZ|1", ""});
    EXPECT_FALSE(none.version.has_value());
    EXPECT_FALSE(none.supported);
    EXPECT_FALSE(none.hasPatient);
    EXPECT_FALSE(none.hasObservationTime);
    EXPECT_TRUE(none.observations.empty());

    const TMessageSummary s = SummarizeMessage({
        "MSH|^~\\&|||||||||P|2.3.1",
        "PID|||^^^^MR||",
        "OBR|1||||||2024013123",
        "MSH|^~\\&|||||||||P|2.4",
    });
    EXPECT_EQ(s.version, "2.4");
    EXPECT_FALSE(s.supported);
    EXPECT_EQ(s.patientId, "TOVNULL");
    EXPECT_TRUE(s.hasObservationTime);
    EXPECT_FALSE(s.observationTime.has_value());
    EXPECT_EQ(s.observationTimeText, "2024013123");
}

// The ID names a folder and the names fill the census, the registry and the files: each is cut to what those
// hold, the ID by its bytes on the host (a character above 127 takes two or three there), and the fast path
// cuts alike.
TEST(Hl7Summary, LongPatientFieldsAreCut)
{
    struct Case {
        std::string pid3;
        std::string pid5;
        std::string id;
        std::string first;
        std::string last;
        std::string display;
    };
    const std::string a300(300, 'A');
    const std::string b300(300, 'B');
    const std::vector<Case> cases = {
        {std::string(255, 'A'), "Lee^Ann", std::string(255, 'A'), "Ann", "Lee", "Ann Lee"},
        // A long ID keeps what fits beside the digest of all of it.
        {a300, "Lee^Ann", std::string(246, 'A') + "~f41f9e41", "Ann", "Lee", "Ann Lee"},
        // 0xE9 takes two bytes on the host, 0x80 (the euro sign) three.
        {std::string(100, 'A') + std::string(200, '\xE9'), "",
         std::string(100, 'A') + std::string(73, '\xE9') + "~d6176b51", "", "", ""},
        {std::string(100, '\x80'), "", std::string(82, '\x80') + "~8dde7f95", "", "", ""},
        {"1", "Smith^" + b300, "1", std::string(255, 'B'), "Smith", std::string(255, 'B')},
        {"1", "John " + b300, "1", "John", std::string(255, 'B'), "John " + std::string(250, 'B')},
        {"1", b300, "1", "", "", std::string(255, 'B')},
        {"", b300 + "^x", std::string(255, 'B'), "x", std::string(255, 'B'), "x " + std::string(253, 'B')},
    };
    for (const Case& c : cases) {
        const std::string pid = "PID|||" + c.pid3 + "||" + c.pid5;
        const TMessageSummary s = SummarizeMessage({"MSH|^~\\&|||||||||P|2.3", pid});
        EXPECT_EQ(s.patientId, c.id) << pid;
        EXPECT_EQ(s.firstName, c.first) << pid;
        EXPECT_EQ(s.lastName, c.last) << pid;
        EXPECT_EQ(s.displayName, c.display) << pid;
        EXPECT_THAT(MessageDifferences("MSH|^~\\&|||||||||P|2.3\r" + pid + "\r"), testing::IsEmpty()) << pid;
    }
}

}  // namespace
}  // namespace halcyra
