// Standard error as the journal: found by JOURNAL_STREAM naming the very stream, and lines it can rank.
#include "app/JournalStream.h"

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {
namespace {

class JournalStream : public ::testing::Test {
protected:
    JournalStream()
    {
        if (::pipe(pipe_) != 0) ADD_FAILURE() << "no pipe";
        struct stat st {};
        ::fstat(pipe_[1], &st);
        device_ = std::to_string(st.st_dev);
        inode_ = std::to_string(st.st_ino);
    }
    ~JournalStream() override
    {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

    int pipe_[2] = {-1, -1};
    std::string device_;
    std::string inode_;
};

TEST_F(JournalStream, OnlyTheDeviceAndInodeOfTheStreamItselfMakeItTheJournal)
{
    const struct {
        std::string value;
        bool journal;
    } cases[] = {
        {device_ + ":" + inode_, true},
        {device_ + ":" + std::to_string(std::stoull(inode_) + 1), false},  // another stream, e.g. inherited
        {std::to_string(std::stoull(device_) + 1) + ":" + inode_, false},
        {device_ + ":" + inode_ + "x", false},
        {device_ + ":" + inode_ + ":1", false},
        {" " + device_ + ":" + inode_, false},
        {device_ + inode_, false},
        {":", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsJournalStream(c.value.c_str(), pipe_[1]), c.journal) << c.value;
    EXPECT_FALSE(IsJournalStream(nullptr, pipe_[1]));
    EXPECT_FALSE(IsJournalStream((device_ + ":" + inode_).c_str(), -1));
}

TEST(JournalStreamLine, TheJournalGetsThePriorityAndNoTimeStampOthersGetTheLogFilesLine)
{
    const std::string message = "Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused) \xe4";
    const std::string line = "2024-03-01 08:00:00: " + message;
    const struct {
        TLogPriority priority;
        bool journal;
        std::string mirrored;
    } cases[] = {
        {TLogPriority::Error, true, "<3>Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused) \xc3\xa4"},
        {TLogPriority::Warning, true,
         "<4>Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused) \xc3\xa4"},
        {TLogPriority::Info, true, "<6>Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused) \xc3\xa4"},
        {TLogPriority::Error, false,
         "2024-03-01 08:00:00: Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused) \xc3\xa4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MirroredLine(TLogEntry{line, message, c.priority}, c.journal), c.mirrored) << c.mirrored;
}

}  // namespace
}  // namespace halcyra
