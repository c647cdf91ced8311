#include "hl7/CentralStationReader.h"

#include "support/FakeClientSocket.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace halcyra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class TFakeCycle final : public ICentralStationCycle {
public:
    bool inProgress = false;
    TMonotonic lastReceived = 0;
    std::vector<TMonotonic> completions;
    std::vector<TSegmentList> decoded;
    bool flagSetWhileDecoding = true;
    int throwOnMessage = -1;  // index of the message whose decoding fails
    double hold = 0;          // what ReadHoldSeconds answers
    bool held = false;
    std::vector<bool> decodedHeld;  // SetHeldMessages as each message was decoded

    bool InProgress() const override { return inProgress; }
    void SetInProgress(bool value) override { inProgress = value; }
    void DataReceived(TMonotonic now) override { lastReceived = now; }
    void MessageComplete(TMonotonic now) override { completions.push_back(now); }
    double ReadHoldSeconds() const override { return hold; }
    void SetHeldMessages(bool value) override { held = value; }
    void DecodeMessage(const TMessageIndex& segments) override
    {
        flagSetWhileDecoding = flagSetWhileDecoding && inProgress;
        decoded.push_back(segments.Copy());
        decodedHeld.push_back(held);
        if (static_cast<int>(decoded.size()) - 1 == throwOnMessage) throw std::runtime_error("decoder failed");
    }
};

class TFakeView final : public ICentralStationView {
public:
    std::string caption;
    std::string connectedLabel = "untouched";
    std::string stopPos;
    std::string startPos;
    bool saveDataStream = false;
    std::vector<std::string> errors;

    void SetCaption(const std::string& text) override { caption = text; }
    void SetConnectedLabel(const std::string& text) override { connectedLabel = text; }
    void ShowStopPos(const std::string& text) override { stopPos = text; }
    void ShowStartPos(const std::string& text) override { startPos = text; }
    bool SaveDataStream() const override { return saveDataStream; }
    void SocketError(const std::string& text) override { errors.push_back(text); }
    // "<4>text": the priority as the journal takes it.
    void LogLine(const std::string& line, TLogPriority priority) override
    {
        logLines.push_back("<" + std::to_string(static_cast<int>(priority)) + ">" + line);
    }
    std::vector<std::string> logLines;
};

class CentralStationReader : public ::testing::Test {
protected:
    CentralStationReader()
    {
        socket.remoteHost = "cs.ward";
        socket.remoteAddress = "127.0.0.1";
    }

    test::TTempDir prefix;
    TDriveMapping drives{prefix.Path()};
    TFileSystem files{drives};
    TManualClock clock{EncodeDateTime(2024, 1, 31, 12, 0, 0)};
    test::TFakeClientSocket socket;
    TFakeCycle cycle;
    TFakeView view;
    TCentralStationReader reader{socket, cycle, view, clock, files, "1.2.3", "C:\\TEMP\\"};

    // The socket's read event reaches the reader, as the engine forwards it.
    void ReadOnEvents()
    {
        TClientSocketEvents events;
        events.read = [this] { reader.ClientSocketCentralStationRead(); };
        socket.SetEvents(std::move(events));
    }
    void Receive(const std::string& bytes)
    {
        socket.pending += bytes;
        reader.ClientSocketCentralStationRead();
    }
    std::string ReadHostFile(const std::string& windowsPath)
    {
        std::ifstream in(files.HostPath(windowsPath), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

TEST_F(CentralStationReader, TwoMessagesAndAPartialOneInOneRead)
{
    Receive("\x0BMSH|1\rPID|a\r\x1C\r\x0BMSH|2\r\x1C\r\x0BMSH|3\rPI");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1", "PID|a"), ElementsAre("MSH|2")));
    EXPECT_EQ(reader.Framer().RxBuffer(), "\x0BMSH|3\rPI");
    EXPECT_EQ(cycle.completions.size(), 2u);

    Receive("D|c\r\x1C\r");
    ASSERT_EQ(cycle.decoded.size(), 3u);
    EXPECT_THAT(cycle.decoded[2], ElementsAre("MSH|3", "PID|c"));
    // Every read ends by not finding a further end marker.
    EXPECT_EQ(reader.Framer().StopPosExitCount(), 2);
    EXPECT_EQ(view.stopPos, "StopPosExitCount = 2");
    EXPECT_EQ(reader.Framer().StartPosExitCount(), 0);
    EXPECT_FALSE(cycle.inProgress);
    EXPECT_EQ(reader.MessagesReceived(), 3);
    EXPECT_EQ(reader.CountersText(),
              "Central station: 3 messages received, StopPosExitCount = 2, StartPosExitCount = 0");
}

TEST_F(CentralStationReader, MessageSplitAnywhereOverTwoReadsIsDecodedOnce)
{
    for (const std::string message : {"\x0BMSH|1\rPID|a\r\x1C\r", "\x0BMSH|1\r\nPID|a\r\n\x1C\r"}) {
        for (std::size_t cut = 1; cut < message.size(); ++cut) {
            cycle.decoded.clear();
            Receive(message.substr(0, cut));
            EXPECT_THAT(cycle.decoded, IsEmpty()) << "cut at " << cut;
            Receive(message.substr(cut));
            EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1", "PID|a"))) << "cut at " << cut;
            EXPECT_TRUE(reader.Framer().Empty());
        }
    }
}

TEST_F(CentralStationReader, GarbageBeforeAndBetweenMessagesIsSkipped)
{
    Receive("junk\r\n\x0BMSH|1\r\x1C\rmore junk");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1")));
    EXPECT_EQ(reader.Framer().RxBuffer(), "more junk");
    Receive("\x0BMSH|2\r\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1"), ElementsAre("MSH|2")));
}

// A monitor with many parameters: one message of about 6 KB, larger than one read.
TSegmentList LargeMessage(const std::string& id)
{
    TSegmentList segments{"MSH|^~\\&|CS|||||||ORU^R01|" + id + "|P|2.3", "PID|||" + id};
    for (int i = 0; segments.size() < 170; ++i)
        segments.push_back("OBX|" + std::to_string(i) + "|NM|" + std::to_string(1000 + i) + "^PARAM" +
                           std::to_string(i) + "||" + std::to_string(60 + i) + "|bpm|||||F");
    return segments;
}

std::string Framed(const TSegmentList& segments)
{
    std::string bytes = "\x0B";
    for (const std::string& segment : segments) bytes += segment + "\r";
    return bytes + "\x1C\r";
}

TEST_F(CentralStationReader, LargeMessageIsDecodedOnceWhetherInTwoReadsOrInManySmallOnes)
{
    const TSegmentList message = LargeMessage("big");
    const std::string bytes = Framed(message);
    ASSERT_GT(bytes.size(), 6000u);
    for (const std::size_t piece : {bytes.size() / 2 + 1, std::size_t{1}, std::size_t{7}, std::size_t{1000}}) {
        cycle.decoded.clear();
        for (std::size_t pos = 0; pos < bytes.size(); pos += piece) {
            EXPECT_THAT(cycle.decoded, IsEmpty()) << "pieces of " << piece;
            Receive(bytes.substr(pos, piece));
        }
        EXPECT_THAT(cycle.decoded, ElementsAre(message)) << "pieces of " << piece;
        EXPECT_TRUE(reader.Framer().Empty());
    }
    EXPECT_EQ(reader.Framer().DroppedCount(), 0);
    EXPECT_THAT(view.logLines, IsEmpty());
}

TEST_F(CentralStationReader, MessageOverTheLimitIsDroppedCountedAndLoggedOnceHoweverItArrives)
{
    const std::string huge = "\x0BMSH|huge\rOBX|" + std::string(kMaxMessageSize, 'x') + "\r\x1C\r";
    const TSegmentList next = LargeMessage("next");
    int drops = 0;
    // Whole, in reads that fill the limit exactly before the end arrives, and in reads that pass it first.
    for (const std::size_t piece : {huge.size(), std::size_t{64 * 1024}, std::size_t{1000}}) {
        cycle.decoded.clear();
        view.logLines.clear();
        for (std::size_t pos = 0; pos < huge.size(); pos += piece) Receive(huge.substr(pos, piece));
        EXPECT_THAT(cycle.decoded, IsEmpty()) << "pieces of " << piece;
        EXPECT_EQ(reader.Framer().DroppedCount(), ++drops) << "pieces of " << piece;
        EXPECT_THAT(view.logLines, ElementsAre("<4>Message dropped: longer than 1048576 bytes (" +
                                               std::to_string(drops) + " dropped since start-up)"))
            << "pieces of " << piece;

        Receive(Framed(next));
        EXPECT_THAT(cycle.decoded, ElementsAre(next)) << "pieces of " << piece;
        EXPECT_TRUE(reader.Framer().Empty());
    }
    // A message within the limit is taken even when it comes in one read with the one that is dropped.
    cycle.decoded.clear();
    Receive(huge + Framed(next));
    EXPECT_THAT(cycle.decoded, ElementsAre(next));
}

TEST_F(CentralStationReader, LineFeedInACarriageReturnStreamIsData)
{
    Receive("\x0BMSH|1\rOBX|1|TX|||a\nb\r\x1C\r\x0BMSH|2\r\nOBX|2\r\n\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1", "OBX|1|TX|||a\nb"), ElementsAre("MSH|2", "OBX|2")));
}

TEST_F(CentralStationReader, EndMarkerWithoutStartMarkerDropsTheBuffer)
{
    Receive("MSH|1\r\x1C\rMSH|2");
    EXPECT_TRUE(reader.Framer().Empty());
    EXPECT_THAT(cycle.decoded, IsEmpty());
    EXPECT_EQ(reader.Framer().StartPosExitCount(), 1);
    EXPECT_EQ(view.startPos, "StartPosExitCount = 1");
    EXPECT_EQ(reader.Framer().StopPosExitCount(), 0);
    EXPECT_THAT(cycle.completions, IsEmpty());
}

TEST_F(CentralStationReader, StartMarkerOnlyAfterTheEndMarkerGivesAnEmptyMessage)
{
    Receive("junk\r\x1C\r\x0BMSH|2\r\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(IsEmpty(), ElementsAre("MSH|2")));
}

TEST_F(CentralStationReader, ReceivedDataAndCompleteMessagesAreTimed)
{
    Receive("\x0BMSH|1\r");
    EXPECT_EQ(cycle.lastReceived, clock.Monotonic());
    EXPECT_THAT(cycle.completions, IsEmpty());

    clock.AdvanceSeconds(5);
    Receive("\x1C\r");
    EXPECT_EQ(cycle.lastReceived, clock.Monotonic());
    EXPECT_THAT(cycle.completions, ElementsAre(clock.Monotonic()));

    // A read that finds the buffer empty does not count as received data.
    const TDateTime before = cycle.lastReceived;
    clock.AdvanceSeconds(5);
    Receive("");
    EXPECT_EQ(cycle.lastReceived, before);
}

TEST_F(CentralStationReader, ReadDuringATickTakesNoBytesAndIsDoneWhenTheTickEnds)
{
    cycle.inProgress = true;  // a tick runs
    Receive("\x0BMSH|1\r\x1C\r");
    EXPECT_THAT(cycle.decoded, IsEmpty());
    EXPECT_EQ(socket.pending.size(), 9u);
    reader.ReadWaitingBytes();  // the flag is still set: nothing
    EXPECT_THAT(cycle.decoded, IsEmpty());
    EXPECT_TRUE(cycle.inProgress);

    cycle.inProgress = false;  // the tick ends
    reader.ReadWaitingBytes();
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1")));
    EXPECT_TRUE(cycle.flagSetWhileDecoding);
    EXPECT_FALSE(cycle.inProgress);

    // Nothing waiting: no read, so the counter does not move.
    const int stops = reader.Framer().StopPosExitCount();
    reader.ReadWaitingBytes();
    EXPECT_EQ(reader.Framer().StopPosExitCount(), stops);
}

TEST_F(CentralStationReader, AReadThatTookBytesHoldsTheSocketAndTheHoldsEndReadsWhatItKept)
{
    socket.canHold = true;
    socket.open = true;
    ReadOnEvents();
    cycle.hold = 0.04;
    // The second message is cut across the hold.
    socket.Receive("\x0BMSH|1\r\x1C\r\x0BMSH|2\rPI");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1")));
    EXPECT_THAT(socket.holds, ElementsAre(0.04));
    socket.Receive("D|b\r\x1C\r");
    socket.Receive("\x0BMSH|3\r\x1C\r");
    EXPECT_EQ(cycle.decoded.size(), 1u) << "nothing is read while the socket holds";

    socket.EndHold();
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1"), ElementsAre("MSH|2", "PID|b"), ElementsAre("MSH|3")));
    // Only the hold's messages are marked as held, and the mark does not outlive the read.
    EXPECT_THAT(cycle.decodedHeld, ElementsAre(false, true, true));
    EXPECT_FALSE(cycle.held);
    EXPECT_FALSE(cycle.inProgress);
    EXPECT_THAT(socket.holds, ElementsAre(0.04, 0.04));

    // A hold that kept nothing ends without asking for another; arrivals are read as they come again.
    socket.EndHold();
    EXPECT_EQ(socket.holds.size(), 2u);
    cycle.hold = 0;  // a boundary is reached: no hold
    socket.Receive("\x0BMSH|4\r\x1C\r");
    EXPECT_EQ(cycle.decoded.size(), 4u);
    EXPECT_EQ(cycle.decodedHeld.back(), false);
    EXPECT_EQ(socket.holds.size(), 2u);
}

TEST_F(CentralStationReader, ReadHeldBytesTakesOnlyWhatARunningHoldKept)
{
    socket.canHold = true;
    socket.open = true;
    ReadOnEvents();
    // Bytes waiting without a hold belong to the read event still to come.
    socket.pending = "\x0BMSH|1\r\x1C\r";
    reader.ReadHeldBytes();
    EXPECT_THAT(cycle.decoded, IsEmpty());

    cycle.hold = 0.1;
    socket.EndHold();
    ASSERT_EQ(cycle.decoded.size(), 1u);
    socket.Receive("\x0BMSH|2\r\x1C\r");
    reader.ReadHeldBytes();  // the tick, inside the hold
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1"), ElementsAre("MSH|2")));
    EXPECT_THAT(cycle.decodedHeld, ElementsAre(false, true));
    // The hold goes on: what arrives next is still the hold's, marked as held when the hold ends.
    socket.Receive("\x0BMSH|3\r\x1C\r");
    EXPECT_EQ(cycle.decoded.size(), 2u);
    socket.EndHold();
    EXPECT_THAT(cycle.decodedHeld, ElementsAre(false, true, true));

    // A socket that cannot hold is read as before, message by message.
    socket.canHold = false;
    socket.EndHold();
    socket.Receive("\x0BMSH|4\r\x1C\r");
    socket.Receive("\x0BMSH|5\r\x1C\r");
    EXPECT_EQ(cycle.decoded.size(), 5u);
    EXPECT_THAT(cycle.decodedHeld, ElementsAre(false, true, true, false, false));
}

TEST_F(CentralStationReader, DecoderFailureLeavesNoFlagAndNoStaleSegments)
{
    cycle.throwOnMessage = 0;
    socket.pending = "\x0BMSH|1\rPID|a\r\x1C\r\x0BMSH|2\r\x1C\r";
    EXPECT_THROW(reader.ClientSocketCentralStationRead(), std::runtime_error);
    EXPECT_FALSE(cycle.inProgress);
    ASSERT_EQ(cycle.decoded.size(), 1u);

    // The message still buffered is cut when the tick ends, without its predecessor's segments.
    reader.ReadWaitingBytes();
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1", "PID|a"), ElementsAre("MSH|2")));
}

TEST_F(CentralStationReader, NewConnectionDropsThePartialMessageOfTheOldOne)
{
    Receive("\x0BMSH|1\rPID|cut off");
    reader.ClientSocketCentralStationDisconnect();
    EXPECT_FALSE(reader.Framer().Empty());  // kept until a new connection opens
    reader.ClientSocketCentralStationConnect();
    Receive("\x0BMSH|2\rPID|b\r\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|2", "PID|b")));
}

TEST_F(CentralStationReader, ConnectionEventsSetCaptionAndLabel)
{
    reader.ClientSocketCentralStationConnect();
    EXPECT_EQ(view.caption,
              "Central Station Data Client (Ver. 1.2.3) - Connected to  Central Station: cs.ward (127.0.0.1)");
    EXPECT_EQ(view.connectedLabel, "");

    reader.ClientSocketCentralStationDisconnect();
    EXPECT_EQ(view.caption, "Central Station Data Client (Ver. 1.2.3)");
    EXPECT_EQ(view.connectedLabel, "Disconnected");
}

TEST_F(CentralStationReader, ASocketErrorNamesThePeerAndTheSystemsTextAndRepeatsAreCounted)
{
    socket.errorPeer = "127.0.0.1:8000";
    socket.errorText = "Connection refused";
    const std::string refused = "Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused)";
    reader.ClientSocketCentralStationError(10061);
    EXPECT_THAT(view.errors, ElementsAre(refused));
    for (int i = 0; i < 59; ++i) {
        clock.AdvanceSeconds(1);
        reader.ClientSocketCentralStationError(10061);
    }
    EXPECT_THAT(view.errors, ElementsAre(refused));
    EXPECT_THAT(view.logLines, IsEmpty());
    clock.AdvanceSeconds(1);
    reader.ClientSocketCentralStationError(10061);
    EXPECT_THAT(view.logLines, ElementsAre("<4>" + refused + " repeated 60 times in the last 60 s"));

    // The station answers at last; the next failure is news again.
    clock.AdvanceSeconds(1);
    reader.ClientSocketCentralStationConnect();
    EXPECT_THAT(view.logLines, ElementsAre("<4>" + refused + " repeated 60 times in the last 60 s",
                                           "<6>" + refused + " cleared after 61 errors in 61 s"));
    socket.errorText = "The remote host closed the connection";
    reader.ClientSocketCentralStationError(10054);
    EXPECT_THAT(view.errors, ElementsAre(refused,
                                         "Asynchronous socket error 10054 (127.0.0.1:8000: The remote host closed the "
                                         "connection)"));
}

TEST(CentralStationReaderText, TheSocketErrorLineSaysWhatIsKnown)
{
    const struct {
        std::string peer;
        std::string text;
        std::string line;
    } cases[] = {
        {"127.0.0.1:8000", "Connection refused",
         "Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused)"},
        {"127.0.0.1:8000", "", "Asynchronous socket error 10061 (127.0.0.1:8000)"},
        {"", "Connection refused", "Asynchronous socket error 10061 (Connection refused)"},
        {"", "", "Asynchronous socket error 10061"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TCentralStationReader::SocketErrorText(10061, c.peer, c.text), c.line) << c.peer << c.text;
}

TEST_F(CentralStationReader, SaveDataStreamKeepsTheLastMessage)
{
    ASSERT_TRUE(files.ForceDirectories("C:\\TEMP"));
    Receive("\x0BMSH|1\r\x1C\r");
    EXPECT_FALSE(files.FileExists("C:\\TEMP\\CSCommunication.txt"));

    view.saveDataStream = true;
    Receive("\x0BMSH|2\r\nPID|b\r\n\x1C\r\x0BMSH|3\rPID|c\r\x1C\r");
    EXPECT_EQ(ReadHostFile("C:\\TEMP\\CSCommunication.txt"), "MSH|3\r\nPID|c\r\n");

    // A debug folder that cannot be written does not disturb the reading.
    reader.SetDebugFolder("Q:\\nowhere\\");
    Receive("\x0BMSH|4\r\x1C\r");
    EXPECT_EQ(cycle.decoded.size(), 4u);
}

}  // namespace
}  // namespace halcyra
