#include "relay/RelayClient.h"

#include "support/FakeClientSocket.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
    int dataReceived = 0;
    std::vector<TMonotonic> completions;
    std::vector<TSegmentList> decoded;

    bool InProgress() const override { return inProgress; }
    void SetInProgress(bool value) override { inProgress = value; }
    void DataReceived(TMonotonic) override { ++dataReceived; }
    void MessageComplete(TMonotonic now) override { completions.push_back(now); }
    void DecodeMessage(const TMessageIndex& segments) override { decoded.push_back(segments.Copy()); }
};

class TFakeView final : public ICentralStationView {
public:
    std::string caption;
    std::string connectedLabel = "Expected lifetick is missing";
    std::string stopPos;
    void SetCaption(const std::string& text) override { caption = text; }
    void SetConnectedLabel(const std::string& text) override { connectedLabel = text; }
    void ShowStopPos(const std::string& text) override { stopPos = text; }
    void ShowStartPos(const std::string&) override {}
    bool SaveDataStream() const override { return true; }  // ticked, yet the relay writes no copy
    void SocketError(const std::string& text) override { errors.push_back(text); }
    // "<4>text": the priority as the journal takes it.
    void LogLine(const std::string& line, TLogPriority priority) override
    {
        logLines.push_back("<" + std::to_string(static_cast<int>(priority)) + ">" + line);
    }
    std::vector<std::string> errors;
    std::vector<std::string> logLines;
};

class RelayClient : public ::testing::Test {
protected:
    test::TTempDir prefix;
    TDriveMapping drives{prefix.Path()};
    TFileSystem files{drives};
    TManualClock clock{EncodeDateTime(2024, 1, 31, 12, 0, 0)};
    test::TFakeClientSocket socket;
    TFakeCycle cycle;
    TFakeView view;
    TRelayClient client{socket, cycle, view, clock, files, "1.2.3"};

    void Receive(const std::string& bytes)
    {
        socket.pending += bytes;
        client.ClientSocketRelayRead();
    }
};

TEST_F(RelayClient, ConnectAndDisconnectSetTheFlagCaptionAndSignOfLife)
{
    EXPECT_FALSE(client.Connected());
    client.ClientSocketRelayConnect();
    EXPECT_TRUE(client.Connected());
    EXPECT_EQ(view.caption, "Central Station Data Client (Ver. 1.2.3) - Connected to  Velgard: ward-server (10.1.2.3)");
    EXPECT_EQ(client.LastLifeTickReceived(), clock.Monotonic());
    EXPECT_EQ(view.connectedLabel, "");
    client.ClientSocketRelayDisconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(view.caption, "Central Station Data Client (Ver. 1.2.3)");
}

// The window shows a missing relay by "No Network" and retries it; the log says why, once a minute at most.
TEST_F(RelayClient, SocketErrorsGoToTheLogWithThePeerCountedUntilAConnectionSucceeds)
{
    socket.errorPeer = "10.1.2.3:5001";
    socket.errorText = "Connection refused";
    const std::string refused = "Relay client: Asynchronous socket error 10061 (10.1.2.3:5001: Connection refused)";
    for (int attempt = 0; attempt < 7; ++attempt) {
        client.ClientSocketRelayError(10061);
        clock.AdvanceSeconds(11);
    }
    EXPECT_THAT(view.errors, IsEmpty());
    EXPECT_EQ(view.connectedLabel, "Expected lifetick is missing");  // the window's label is not the log
    client.ClientSocketRelayConnect();
    EXPECT_THAT(view.logLines, ElementsAre("<3>" + refused, "<4>" + refused + " repeated 6 times in the last 66 s",
                                           "<6>" + refused + " cleared after 7 errors in 77 s"));
}

TEST_F(RelayClient, ALifeTickOnlyRefreshesTheSignOfLifeAndIsSkippedBeforeTheNextMessage)
{
    client.ClientSocketRelayConnect();
    clock.AdvanceSeconds(60);
    view.connectedLabel = "Expected lifetick is missing";
    Receive("\r");
    EXPECT_EQ(client.LastLifeTickReceived(), clock.Monotonic());
    EXPECT_EQ(view.connectedLabel, "");
    EXPECT_THAT(cycle.decoded, IsEmpty());
    EXPECT_EQ(view.stopPos, "StopPosExitCount = 1");
    clock.AdvanceSeconds(60);
    Receive("\r\x0BMSH|1\rPID|a\rOBX|1\r\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1", "PID|a", "OBX|1")));
    EXPECT_THAT(cycle.completions, ElementsAre(clock.Monotonic()));
    // The central station's own sign of life is not touched, and no debug copy is written.
    EXPECT_EQ(cycle.dataReceived, 0);
    EXPECT_FALSE(files.FileExists("C:\\TEMP\\CSCommunication.txt"));
    EXPECT_EQ(client.Framer().StopPosExitCount(), 2);
}

TEST_F(RelayClient, NothingIsTakenWhileTheFlagIsHeldAndTheWaitingBytesAreReadAfterwards)
{
    client.ClientSocketRelayConnect();
    cycle.inProgress = true;
    Receive("\x0BMSH|1\r\x1C\r");
    EXPECT_FALSE(socket.pending.empty());
    EXPECT_THAT(cycle.decoded, IsEmpty());
    client.ReadWaitingBytes();
    EXPECT_THAT(cycle.decoded, IsEmpty());
    cycle.inProgress = false;
    client.ReadWaitingBytes();
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|1")));
}

TEST_F(RelayClient, APartialMessageOfALostConnectionIsDroppedOnReconnect)
{
    client.ClientSocketRelayConnect();
    Receive("\x0BMSH|1\rPID|cut off");
    client.ClientSocketRelayDisconnect();
    client.ClientSocketRelayConnect();
    Receive("\x0BMSH|2\r\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|2")));
}

TEST_F(RelayClient, AMessageLargerThanOneReadIsDecodedAndOneOverTheLimitIsDroppedAndLogged)
{
    client.ClientSocketRelayConnect();
    TSegmentList large{"MSH|1"};
    for (int i = 0; i < 100; ++i) large.push_back("OBX|" + std::to_string(i) + "|NM|" + std::string(60, 'v'));
    std::string bytes = "\x0B";
    for (const std::string& segment : large) bytes += segment + "\r";
    bytes += "\x1C\r";
    ASSERT_GT(bytes.size(), 6000u);
    Receive(bytes.substr(0, 4000));
    Receive(bytes.substr(4000));
    EXPECT_THAT(cycle.decoded, ElementsAre(large));

    cycle.decoded.clear();
    const std::string huge = "\x0BMSH|2\rOBX|" + std::string(kMaxMessageSize, 'x') + "\r\x1C\r";
    for (std::size_t pos = 0; pos < huge.size(); pos += 100000) Receive(huge.substr(pos, 100000));
    Receive("\x0BMSH|3\r\x1C\r");
    EXPECT_THAT(cycle.decoded, ElementsAre(ElementsAre("MSH|3")));
    EXPECT_EQ(client.Framer().DroppedCount(), 1);
    EXPECT_THAT(view.logLines,
                ElementsAre("<4>Relay client: Message dropped: longer than 1048576 bytes (1 dropped since start-up)"));
}

}  // namespace
}  // namespace halcyra
