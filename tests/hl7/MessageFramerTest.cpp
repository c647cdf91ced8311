#include "hl7/MessageFramer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace halcyra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(MessageFramer, EndMarkerFollowsACarriageReturnOrCrLf)
{
    struct TCase {
        std::string buffer;
        std::optional<std::size_t> textEnd;
    };
    const TCase cases[] = {
        {"\x0B"
         "A\r\x1C\r",
         3},  // CR 0x1C CR
        {"\x0B"
         "A\r\n\x1C\r",
         4},  // CR LF 0x1C CR
        {"\x0B"
         "A\n\x1C\r",
         {}},  // LF alone is no segment end before the marker
        {"\x0B"
         "A\x1C\r",
         {}},            // no segment end at all
        {"\x1C\r", {}},  // nothing before it
        {"\x0B"
         "A\r\x1C",
         {}},  // the marker is not complete yet
        {"\x0B"
         "A\r\x1C\x1C\r",
         {}},  // a 0x1C before the 0x1C
        {"\x0B"
         "A\x1C\rB\r\x1C\r",
         6},  // the first real marker counts
    };
    for (const TCase& c : cases) {
        const std::optional<TEndMarker> end = FindEndMarker(c.buffer);
        ASSERT_EQ(end.has_value(), c.textEnd.has_value()) << testing::PrintToString(c.buffer);
        if (end) {
            EXPECT_EQ(end->textEnd, *c.textEnd) << testing::PrintToString(c.buffer);
            EXPECT_EQ(end->next, *c.textEnd + 2) << testing::PrintToString(c.buffer);
        }
    }
}

TEST(MessageFramer, SegmentsEndAtCrLfCrOrLf)
{
    struct TCase {
        std::string text;
        TSegmentList segments;
    };
    const TCase cases[] = {
        {"MSH|a\rPID|b\r", {"MSH|a", "PID|b"}},
        {"MSH|a\r\rPID|b\r", {"MSH|a", "", "PID|b"}},  // CR-only streams keep their empty segments
        {"MSH|a\r\nPID|b\r\n", {"MSH|a", "PID|b"}},    // CR LF is one segment end
        {"MSH|a\nPID|b\n", {"MSH|a", "PID|b"}},
        {"MSH|a\r\n\r\nPID|b\r", {"MSH|a", "", "PID|b"}},
        {"MSH|a\n\rPID|b\r", {"MSH|a", "", "PID|b"}},  // LF CR is two segment ends
        {"MSH|a\rtail", {"MSH|a"}},                    // text after the last segment end is dropped
        {"no end", {}},
        {"", {}},
    };
    for (const TCase& c : cases) {
        TSegmentList segments;
        CutSegments(c.text, segments);
        EXPECT_EQ(segments, c.segments) << testing::PrintToString(c.text);
    }
}

TEST(MessageFramer, CutsMessagesOldestFirstAndKeepsTheTail)
{
    TMessageFramer framer;
    framer.Append("noise\x0BMSH|1\rPID|x\r\x1C\rbetween\x0BMSH|2\r\x1C\r\x0BMSH|3\rPI");
    TSegmentList segments;
    ASSERT_EQ(framer.CutNext(segments), TMessageFramer::TCut::Message);
    EXPECT_THAT(segments, ElementsAre("MSH|1", "PID|x"));
    segments.clear();
    ASSERT_EQ(framer.CutNext(segments), TMessageFramer::TCut::Message);
    EXPECT_THAT(segments, ElementsAre("MSH|2"));
    segments.clear();
    EXPECT_EQ(framer.CutNext(segments), TMessageFramer::TCut::NoEndMarker);
    EXPECT_THAT(segments, IsEmpty());
    EXPECT_EQ(framer.RxBuffer(), "\x0BMSH|3\rPI");
    framer.Append("D|y\r\x1C\r");
    ASSERT_EQ(framer.CutNext(segments), TMessageFramer::TCut::Message);
    EXPECT_THAT(segments, ElementsAre("MSH|3", "PID|y"));
    EXPECT_TRUE(framer.Empty());
    EXPECT_EQ(framer.StopPosExitCount(), 1);
    EXPECT_EQ(framer.StartPosExitCount(), 0);
}

TEST(MessageFramer, DropsMoreThan4096BytesWithoutAnEndMarker)
{
    TMessageFramer framer;
    TSegmentList segments;
    framer.Append("\x0B" + std::string(4095, 'x'));
    EXPECT_EQ(framer.CutNext(segments), TMessageFramer::TCut::NoEndMarker);
    EXPECT_EQ(framer.RxBuffer().size(), 4096u);
    framer.Append("x");
    EXPECT_EQ(framer.CutNext(segments), TMessageFramer::TCut::NoEndMarker);
    EXPECT_TRUE(framer.Empty());
    EXPECT_EQ(framer.StopPosExitCount(), 2);
}

TEST(MessageFramer, CrLfStreamLongerThan4096BytesIsFramed)
{
    TMessageFramer framer;
    std::string stream;
    for (int i = 0; i < 200; ++i)
        stream += "\x0BMSH|" + std::to_string(i) + "\r\nOBX|" + std::string(40, 'v') + "\r\n\x1C\r";
    ASSERT_GT(stream.size(), 4096u);
    framer.Append(stream);
    int messages = 0;
    TSegmentList segments;
    while (framer.CutNext(segments) == TMessageFramer::TCut::Message) {
        ASSERT_EQ(segments.size(), 2u);
        EXPECT_EQ(segments[0], "MSH|" + std::to_string(messages));
        segments.clear();
        ++messages;
    }
    EXPECT_EQ(messages, 200);
}

}  // namespace
}  // namespace halcyra
