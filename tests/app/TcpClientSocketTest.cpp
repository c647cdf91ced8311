// The data-source client socket against servers on loopback, on free ports.
#include "app/TcpClientSocket.h"

#include <QTcpServer>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using ::testing::ElementsAre;

constexpr int kWaitMs = 10000;

struct TRecorded {
    std::vector<std::string> events;
    std::vector<int> errors;
};

TClientSocketEvents Recording(TRecorded& r)
{
    TClientSocketEvents events;
    events.connected = [&r] { r.events.push_back("connected"); };
    events.disconnected = [&r] { r.events.push_back("disconnected"); };
    events.error = [&r](int number) {
        r.events.push_back("error");
        r.errors.push_back(number);
    };
    events.read = [&r] { r.events.push_back("read"); };
    return events;
}

bool Seen(const TRecorded& r, const std::string& event)
{
    return std::find(r.events.begin(), r.events.end(), event) != r.events.end();
}

quint16 ClosedPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

TEST(TcpClientSocket, ConnectsReadsAndSeesThePeerClose)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    TRecorded r;
    TTcpClientSocket socket;
    socket.SetEvents(Recording(r));
    EXPECT_FALSE(socket.IsOpen());

    socket.Open("127.0.0.1", true, server.serverPort());
    EXPECT_FALSE(socket.IsOpen());  // a connection being set up is not open yet
    EXPECT_TRUE(socket.IsConnecting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "connected") && server.hasPendingConnections(); }, kWaitMs));
    EXPECT_TRUE(socket.IsOpen());
    EXPECT_FALSE(socket.IsConnecting());
    EXPECT_EQ(socket.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(socket.RemoteAddress(), "127.0.0.1");

    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    const std::string bytes("\x0BMSH|1\r\x1C\r\xFF", 10);
    peer->write(bytes.data(), static_cast<qint64>(bytes.size()));
    // Bytes waiting in the system count as available before their read event comes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "read"); }, kWaitMs));
    EXPECT_EQ(socket.BytesAvailable(), bytes.size());
    EXPECT_EQ(socket.ReadAvailable(), bytes);
    EXPECT_EQ(socket.BytesAvailable(), 0u);
    EXPECT_EQ(socket.ReadAvailable(), "");
}

TEST(TcpClientSocket, ThePeersOrderlyCloseIsADisconnectionAndAResetAnError)
{
    struct TCase {
        const char* name;
        bool reset;
        std::vector<std::string> events;
        std::vector<int> errors;
    };
    const TCase cases[] = {
        {"orderly close", false, {"connected", "disconnected"}, {}},
        {"reset", true, {"connected", "error", "disconnected"}, {10054}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        TRecorded r;
        TTcpClientSocket socket;
        socket.SetEvents(Recording(r));
        socket.Open("127.0.0.1", true, server.serverPort());
        ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "connected") && server.hasPendingConnections(); }, kWaitMs));
        std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        if (c.reset) {
            // A zero linger time makes the close send a reset.
            const linger abortive{1, 0};
            ASSERT_EQ(::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                                   sizeof abortive),
                      0);
            peer->abort();
        } else {
            peer->close();
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "disconnected"); }, kWaitMs));
        EXPECT_FALSE(socket.IsOpen());
        EXPECT_EQ(r.events, c.events);
        EXPECT_EQ(r.errors, c.errors);
    }
}

TEST(TcpClientSocket, AHoldKeepsArrivalsAndTheConnectionsEndForOneReadWhenItEnds)
{
    struct TCase {
        const char* name;
        bool peerEnds;
        bool reset;
        std::vector<std::string> events;  // after "connected"
        std::vector<int> errors;
    };
    const TCase cases[] = {
        {"bytes", false, false, {"read"}, {}},
        {"bytes then orderly close", true, false, {"read", "disconnected"}, {}},
        {"bytes then reset", true, true, {"read", "error", "disconnected"}, {10054}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        TRecorded r;
        TTcpClientSocket socket;
        std::string received;
        TClientSocketEvents events = Recording(r);
        events.read = [&] {
            r.events.push_back("read");
            received += socket.ReadAvailable();
        };
        socket.SetEvents(std::move(events));
        socket.Open("127.0.0.1", true, server.serverPort());
        ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "connected") && server.hasPendingConnections(); }, kWaitMs));
        std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
        // Longer than any test: only EndHold ends it.
        ASSERT_TRUE(socket.HoldReads(3600));

        // A message cut in two, the second part after the first has arrived.
        peer->write("\x0BMSH|1\r");
        ASSERT_TRUE(peer->waitForBytesWritten(kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return socket.BytesAvailable() == 7; }, kWaitMs));
        peer->write("\x1C\r");
        ASSERT_TRUE(peer->waitForBytesWritten(kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return socket.BytesAvailable() == 9; }, kWaitMs));
        if (c.reset) {
            const linger abortive{1, 0};
            ASSERT_EQ(::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                                   sizeof abortive),
                      0);
            peer->abort();
        } else if (c.peerEnds) {
            peer->close();
        }
        // Loopback delivers at once; the event loop turns, and the hold keeps it all.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_THAT(r.events, ElementsAre("connected"));
        EXPECT_TRUE(socket.IsOpen());

        socket.EndHold();
        std::vector<std::string> expected{"connected"};
        expected.insert(expected.end(), c.events.begin(), c.events.end());
        EXPECT_EQ(r.events, expected);
        EXPECT_EQ(r.errors, c.errors);
        EXPECT_EQ(received, "\x0BMSH|1\r\x1C\r");
        EXPECT_EQ(socket.IsOpen(), !c.peerEnds);
        // Without a hold, arrivals are announced again.
        if (!c.peerEnds) {
            peer->write("more");
            ASSERT_TRUE(peer->waitForBytesWritten(kWaitMs));
            ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() == 13; }, kWaitMs));
        }
    }
}

TEST(TcpClientSocket, ResolvesAHostName)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    TRecorded r;
    TTcpClientSocket socket;
    socket.SetEvents(Recording(r));
    socket.Open("localhost", false, server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "connected") || Seen(r, "error"); }, kWaitMs));
    EXPECT_TRUE(Seen(r, "connected"));
    EXPECT_EQ(socket.RemoteHost(), "localhost");
    EXPECT_EQ(socket.RemoteAddress(), "127.0.0.1");
}

TEST(TcpClientSocket, FailuresArriveAsWindowsSocketsErrorsWithThePeerAndTheirText)
{
    struct TCase {
        std::string host;
        bool isAddress;
        int error;
        std::string text;
    };
    const quint16 closed = ClosedPort();
    ASSERT_NE(closed, 0);
    const TCase cases[] = {
        {"127.0.0.1", true, 10061, "Connection refused"},        // nobody listens
        {"not an address", true, 11001, "not an IPv4 address"},  // an address was promised
    };
    for (const TCase& c : cases) {
        TRecorded r;
        TTcpClientSocket socket;
        socket.SetEvents(Recording(r));
        socket.Open(c.host, c.isAddress, closed);
        EXPECT_TRUE(r.events.empty()) << "no event from inside Open: " << c.host;
        ASSERT_TRUE(QTest::qWaitFor([&] { return !r.errors.empty(); }, kWaitMs)) << c.host;
        EXPECT_THAT(r.errors, ElementsAre(c.error)) << c.host;
        EXPECT_EQ(socket.ErrorPeer(), c.host + ":" + std::to_string(closed));
        EXPECT_EQ(socket.ErrorText(), c.text);
        EXPECT_FALSE(socket.IsOpen()) << c.host;
        EXPECT_FALSE(Seen(r, "connected")) << c.host;
    }
}

TEST(TcpClientSocket, CloseReportsTheDisconnectionOfAnOpenConnection)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    TRecorded r;
    auto socket = std::make_unique<TTcpClientSocket>();
    socket->SetEvents(Recording(r));
    socket->Open("127.0.0.1", true, server.serverPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Seen(r, "connected"); }, kWaitMs));
    socket->Close();
    EXPECT_FALSE(socket->IsOpen());
    EXPECT_TRUE(Seen(r, "disconnected"));

    // Destroying a connected socket calls no handler.
    socket->Open("127.0.0.1", true, server.serverPort());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return std::count(r.events.begin(), r.events.end(), "connected") == 2; }, kWaitMs));
    const std::size_t before = r.events.size();
    socket.reset();
    EXPECT_EQ(r.events.size(), before);
}

}  // namespace
}  // namespace halcyra
