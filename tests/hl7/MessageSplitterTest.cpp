#include "hl7/MessageSplitter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace halcyra {
namespace {

using ::testing::ElementsAre;

std::vector<TSegmentList> Segments(const TCapturedStream& stream)
{
    std::vector<TSegmentList> out;
    for (const TCapturedMessage& m : stream.messages) out.push_back(m.segments);
    return out;
}

TEST(Hl7Splitter, SegmentsEndAtCrLfCrOrLf)
{
    EXPECT_THAT(SplitSegments("MSH|a\rPID|b\r"), ElementsAre("MSH|a", "PID|b"));
    EXPECT_THAT(SplitSegments("MSH|a\r\rPID|b\rtail"), ElementsAre("MSH|a", "", "PID|b"));
    // In a message ending in CR LF, CR LF is one terminator and LF alone is one too; CR LF LF leaves an
    // empty segment as CR CR does. In a message ending in CR, a line feed is data.
    EXPECT_THAT(SplitSegments("MSH|a\r\nPID|b\r\n"), ElementsAre("MSH|a", "PID|b"));
    EXPECT_THAT(SplitSegments("MSH|a\nPID|b\r\n\nOBX|c\r\n"), ElementsAre("MSH|a", "PID|b", "", "OBX|c"));
    EXPECT_THAT(SplitSegments("MSH|a\nPID|b\r\n\nOBX|c\n\r"), ElementsAre("MSH|a\nPID|b", "\n\nOBX|c\n"));
    EXPECT_TRUE(SplitSegments("no terminator").empty());
    EXPECT_TRUE(SplitSegments("").empty());
}

TEST(Hl7Splitter, FramedStreamSkipsBytesOutsideFrames)
{
    const std::string stream =
        "garbage\x0BMSH|1\rPID|x\r\x1C\x0D"
        "between\x0BMSH|2\r\x1C\x0D"
        "\x0BMSH|3\rincomplete";
    const TCapturedStream split = SplitCapturedStream(stream);
    EXPECT_EQ(split.form, TStreamForm::Framed);
    EXPECT_THAT(Segments(split), ElementsAre(ElementsAre("MSH|1", "PID|x"), ElementsAre("MSH|2")));
    EXPECT_FALSE(split.messages[0].badEnd);
}

TEST(Hl7Splitter, FramedStreamEdgeCases)
{
    // A frame cut off by a new start byte is dropped; the later frame is taken whole.
    EXPECT_THAT(Segments(SplitCapturedStream("\x0BMSH|cut\r\x0BMSH|whole\r\x1C\x0D")),
                ElementsAre(ElementsAre("MSH|whole")));
    // 0x1C not followed by 0x0D does not end a frame.
    EXPECT_THAT(Segments(SplitCapturedStream("\x0BOBX|a\x1C"
                                             "b\r\x1C\x0D")),
                ElementsAre(ElementsAre("OBX|a\x1C"
                                        "b")));
    // 0x1C 0x0D right after the start byte: an empty message.
    const TCapturedStream empty = SplitCapturedStream("\x0B\x1C\x0D");
    ASSERT_EQ(empty.messages.size(), 1u);
    EXPECT_TRUE(empty.messages[0].segments.empty());
    EXPECT_TRUE(empty.messages[0].badEnd);
    // A sender ending segments with CR LF: cut as the program's reader cuts it.
    const TCapturedStream crlf = SplitCapturedStream("\x0BMSH|1\r\nPID|x\r\n\x1C\x0D");
    ASSERT_EQ(crlf.messages.size(), 1u);
    EXPECT_FALSE(crlf.messages[0].badEnd);
    EXPECT_THAT(crlf.messages[0].segments, ElementsAre("MSH|1", "PID|x"));
    // A line feed alone before 0x1C 0x0D is no segment end the reader takes.
    EXPECT_TRUE(SplitCapturedStream("\x0BMSH|1\n\x1C\x0D").messages[0].badEnd);
    // Start byte at the very end, end block without its carriage return at the very end.
    EXPECT_TRUE(SplitCapturedStream("\x0B").messages.empty());
    EXPECT_TRUE(SplitCapturedStream("\x0BMSH|1\r\x1C").messages.empty());
}

TEST(Hl7Splitter, PlainTextStartsMessagesAtMsh)
{
    const std::string text = "PID|orphan\nMSH|1\r\nPID|a\rOBX|1\n\n\r\nMSH|2\rOBX|2";
    const TCapturedStream split = SplitCapturedStream(text);
    EXPECT_EQ(split.form, TStreamForm::PlainText);
    EXPECT_THAT(Segments(split), ElementsAre(ElementsAre("PID|orphan"), ElementsAre("MSH|1", "PID|a", "OBX|1"),
                                             ElementsAre("MSH|2", "OBX|2")));
    EXPECT_TRUE(SplitCapturedStream("").messages.empty());
    EXPECT_TRUE(SplitCapturedStream("\r\n\n\r").messages.empty());
}

}  // namespace
}  // namespace halcyra
