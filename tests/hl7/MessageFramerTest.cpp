#include "hl7/MessageFramer.h"

#include "hl7/MessageIndex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

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

TEST(MessageFramer, TheSearchForAnEndMarkerResumesWhereItStopped)
{
    const std::string buffer =
        "\x0B"
        "A\r\x1C\rB\r\x1C\r";
    EXPECT_EQ(FindEndMarker(buffer, 3)->textEnd, 3u);  // the CR in front of the 0x1C lies before `from`
    EXPECT_EQ(FindEndMarker(buffer, 4)->textEnd, 7u);
    EXPECT_FALSE(FindEndMarker(buffer, 8).has_value());
}

// Each message is cut by the terminator in front of its end marker, the same way whether the reader's
// segment list or the index of the capture tools and the import is built from it.
TEST(MessageFramer, SegmentsAreCutByTheTerminatorInFrontOfTheEndMarker)
{
    struct TCase {
        std::string text;
        TSegmentList segments;
    };
    const TCase cases[] = {
        // Ending in CR: only CR ends a segment; a line feed is data.
        {"MSH|a\rPID|b\r", {"MSH|a", "PID|b"}},
        {"MSH|a\r\rPID|b\r", {"MSH|a", "", "PID|b"}},
        {"MSH|a\rOBX|1|TX|||line 1\nline 2\r", {"MSH|a", "OBX|1|TX|||line 1\nline 2"}},
        {"MSH|a\n\rPID|b\r", {"MSH|a\n", "PID|b"}},
        {"MSH|a\r\nPID|b\r", {"MSH|a", "\nPID|b"}},
        {"MSH|a\nPID|b\r", {"MSH|a\nPID|b"}},
        // Ending in CR LF: CR LF is one segment end, a lone CR or LF one too.
        {"MSH|a\r\nPID|b\r\n", {"MSH|a", "PID|b"}},
        {"MSH|a\r\n\r\nPID|b\r\n", {"MSH|a", "", "PID|b"}},
        {"MSH|a\nPID|b\rOBX|c\r\n", {"MSH|a", "PID|b", "OBX|c"}},
        {"MSH|a\n\rPID|b\r\n", {"MSH|a", "", "PID|b"}},  // LF CR is two segment ends
        // Ending in LF alone (a frame the reader does not cut, still shown by the capture tools).
        {"MSH|a\nPID|b\n", {"MSH|a", "PID|b"}},
        // Text after the last segment end is dropped.
        {"MSH|a\rtail", {"MSH|a"}},
        {"MSH|a\ntail", {}},
        {"no end", {}},
        {"", {}},
    };
    for (const TCase& c : cases) {
        TSegmentList segments;
        CutSegments(c.text, segments);
        EXPECT_EQ(segments, c.segments) << testing::PrintToString(c.text);
        TMessageIndex index;
        index.IndexFrame(c.text);
        TSegmentList indexed;
        for (std::size_t i = 0; i < index.size(); ++i) indexed.emplace_back(index.Segment(i));
        EXPECT_EQ(indexed, c.segments) << "index: " << testing::PrintToString(c.text);
    }
}

TEST(MessageFramer, EachMessageOfAStreamIsCutByItsOwnTerminator)
{
    TMessageFramer framer;
    framer.Append(
        "\x0BMSH|1\rOBX|a\nb\r\x1C\r"
        "\x0BMSH|2\r\nOBX|c\r\n\x1C\r"
        "\x0BMSH|3\rOBX|d\ne\r\x1C\r");
    std::vector<TSegmentList> messages;
    TSegmentList segments;
    while (framer.CutNext(segments) == TMessageFramer::TCut::Message) messages.push_back(std::exchange(segments, {}));
    EXPECT_THAT(messages, ElementsAre(ElementsAre("MSH|1", "OBX|a\nb"), ElementsAre("MSH|2", "OBX|c"),
                                      ElementsAre("MSH|3", "OBX|d\ne")));
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

TEST(MessageFramer, KeepsUpToTheMessageLimitWithoutAnEndMarker)
{
    TMessageFramer framer;
    TSegmentList segments;
    framer.Append("\x0B" + std::string(kMaxMessageSize - 1, 'x'));
    EXPECT_EQ(framer.CutNext(segments), TMessageFramer::TCut::NoEndMarker);
    EXPECT_EQ(framer.RxBuffer().size(), kMaxMessageSize);
    framer.Append("x");
    EXPECT_EQ(framer.CutNext(segments), TMessageFramer::TCut::Dropped);
    EXPECT_LE(framer.RxBuffer().size(), 3u);
    EXPECT_EQ(framer.StopPosExitCount(), 2);
    EXPECT_EQ(framer.DroppedCount(), 1);

    // The dropped message goes on to its end marker; the next one is taken.
    framer.Append("xx\r\x1C\r\x0BMSH|next\r\x1C\r");
    ASSERT_EQ(framer.CutNext(segments), TMessageFramer::TCut::Message);
    EXPECT_THAT(segments, ElementsAre("MSH|next"));
    EXPECT_EQ(framer.DroppedCount(), 1);

    // Complete messages: one that fits the limit from its start marker through its end marker, one that does not.
    const std::string fits = "\x0B" + std::string(kMaxMessageSize - 4, 'x') + "\r\x1C\r";
    framer.Append("junk" + fits + "\x0B" + fits);
    segments.clear();
    ASSERT_EQ(framer.CutNext(segments), TMessageFramer::TCut::Message);
    EXPECT_EQ(segments.size(), 1u);
    EXPECT_EQ(framer.CutNext(segments), TMessageFramer::TCut::TooLong);
    EXPECT_TRUE(framer.Empty());
    EXPECT_EQ(framer.DroppedCount(), 2);
}

// Messages around the length limit, whole and in pieces of every kind: the same messages are taken.
TEST(MessageFramer, WhatIsTakenAroundTheLimitDoesNotDependOnHowTheStreamWasCut)
{
    const std::string next = "\x0BMSH|next\r\x1C\r";
    const std::string x(kMaxMessageSize, 'x');
    struct TCase {
        const char* what;
        std::string stream;
        std::vector<std::string> taken;  // first segments
    };
    const TCase cases[] = {
        {"too long, a start marker inside", "\x0BMSH|long\r" + x + "\x0BMSH|inside\r\x1C\r" + next, {"MSH|next"}},
        {"too long, its end marker split", "\x0BMSH|long\r" + x + "\r\n\x1C\r" + next, {"MSH|next"}},
        {"within the limit behind junk",
         x.substr(0, 900000) + "\x0BMSH|fits\r" + x.substr(0, 200000) + "\r\x1C\r",
         {"MSH|fits"}},
        {"junk over the limit, then a message", x + "y" + next, {"MSH|next"}},
    };
    for (const TCase& c : cases) {
        for (const std::size_t piece : {c.stream.size(), std::size_t{64 * 1024}, std::size_t{1000}, std::size_t{7}}) {
            if (piece == 7 && c.stream.size() > 2 * kMaxMessageSize) continue;
            TMessageFramer framer;
            std::vector<std::string> taken;
            for (std::size_t at = 0; at < c.stream.size(); at += piece) {
                framer.Append(std::string_view(c.stream).substr(at, piece));
                for (;;) {
                    TSegmentList segments;
                    const TMessageFramer::TCut cut = framer.CutNext(segments);
                    if (cut == TMessageFramer::TCut::TooLong) continue;
                    if (cut != TMessageFramer::TCut::Message) break;
                    if (!segments.empty()) taken.push_back(segments.front());
                }
                EXPECT_LE(framer.RxBuffer().size(), kMaxMessageSize + piece) << c.what;
            }
            EXPECT_EQ(taken, c.taken) << c.what << ", pieces of " << piece;
        }
    }
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

// What the import and the relay send: the message framed again, whatever the buffer held before.
TEST(MessageIndex, FramesTheMessageAsTheCentralStationSendsIt)
{
    const TSegmentList list{"MSH|a", "PID|b"};
    TMessageIndex segments;
    segments.IndexSegments(list);
    std::string framed = "left over from a longer message";
    segments.Frame(framed);
    EXPECT_EQ(framed, "\x0BMSH|a\rPID|b\r\x1C\r");
    EXPECT_EQ(SplitCapturedStream(framed).messages.at(0).segments, (TSegmentList{"MSH|a", "PID|b"}));
}

}  // namespace
}  // namespace halcyra
