#include "hl7/CaptureFile.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace halcyra {
namespace {

struct TRead {
    std::vector<TCapturedMessage> messages;
    TCaptureFile::TResult last = TCaptureFile::End;
};

TRead ReadAll(TCaptureFile& file)
{
    TRead read;
    TCapturedMessage message;
    while ((read.last = file.Next(message)) == TCaptureFile::Message) read.messages.push_back(message);
    return read;
}

class CaptureFileTest : public ::testing::Test {
protected:
    std::filesystem::path Write(const std::string& bytes)
    {
        const std::filesystem::path path = dir_ / "capture.hl7";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }

    test::TTempDir dir_;
};

// Read in pieces of every small size, so that piece boundaries fall inside segments, between CR and LF and
// inside 0x1C 0x0D, a capture gives exactly the messages the whole file gives, twice over a rewind.
TEST_F(CaptureFileTest, PiecesOfAnySizeGiveTheMessagesOfTheWholeFile)
{
    const std::string framed =
        "junk\x0BMSH|1\rPID|a\rOBX|1|NM|HR||60|bpm\r\x1C\x0D"
        "\x0BMSH|cut off by a later start\r\x0BMSH|2\r\nPID|b\r\n\x1C\x0D"  // CR LF sender
        "\x0BMSH|3\n\x1C\x0D"                                               // no segment end: a bad end
        "\x0BOBX|a\x1C"
        "b\r\x1C\x0D\x0B\x1C\x0D"  // 0x1C inside, then an empty message
        "\x0BMSH|4\rPID|unfinished";
    const std::string plain = "PID|orphan\nMSH|1\r\nPID|a\rOBX|1\n\n\r\nMSH|2\rOBX|2\r\nMSH|3";
    // Plain text with a start byte only near its end is framed, as the whole file is.
    const std::string lateStart = "MSH|1\r\nPID|a\r\n" + std::string(40, 'x') + "\x0BMSH|2\r\x1C\x0D";
    for (const std::string& bytes : {framed, plain, lateStart, std::string(), std::string("\r\n\n")}) {
        const TCapturedStream whole = SplitCapturedStream(bytes);
        const std::filesystem::path path = Write(bytes);
        for (const std::size_t chunk : {1u, 2u, 3u, 5u, 7u, 64u, 1024u * 1024u}) {
            SCOPED_TRACE(testing::PrintToString(bytes) + " in pieces of " + std::to_string(chunk));
            TCaptureFile file(path, chunk);
            ASSERT_TRUE(file.Open()) << file.Error();
            EXPECT_EQ(file.Form(), whole.form);
            for (int pass = 0; pass < 2; ++pass) {
                const TRead read = ReadAll(file);
                EXPECT_EQ(read.last, TCaptureFile::End);
                ASSERT_EQ(read.messages.size(), whole.messages.size());
                for (std::size_t i = 0; i < read.messages.size(); ++i) {
                    EXPECT_EQ(read.messages[i].segments, whole.messages[i].segments) << i;
                    EXPECT_EQ(read.messages[i].badEnd, whole.messages[i].badEnd) << i;
                }
                file.Rewind();
            }
        }
    }
}

TEST_F(CaptureFileTest, AFileThatCannotBeReadOrNeverEndsAMessageFails)
{
    TCaptureFile missing(dir_ / "missing.hl7");
    EXPECT_FALSE(missing.Open());
    EXPECT_NE(missing.Error().find("No such file"), std::string::npos) << missing.Error();

    TCaptureFile folder(dir_.Path());
    EXPECT_FALSE(folder.Open());
    EXPECT_FALSE(folder.Error().empty());

    // The messages before the overlong one are given; then the reading stops for good.
    for (const std::string& bytes : {"\x0BMSH|1\r\x1C\x0D\x0BMSH|" + std::string(100, 'x') + "\r\x1C\x0D",
                                     "MSH|1\rMSH|2\rOBX|" + std::string(100, 'x') + "\r"}) {
        TCaptureFile file(Write(bytes), 7, 50);
        ASSERT_TRUE(file.Open());
        const TRead read = ReadAll(file);
        ASSERT_EQ(read.messages.size(), 1u);
        EXPECT_EQ(read.messages[0].segments, TSegmentList{"MSH|1"});
        EXPECT_EQ(read.last, TCaptureFile::Failed);
        EXPECT_NE(file.Error().find("more than 50 bytes"), std::string::npos) << file.Error();
        TCapturedMessage message;
        EXPECT_EQ(file.Next(message), TCaptureFile::Failed);
    }
}

}  // namespace
}  // namespace halcyra
