#include "relay/RelayServer.h"
#include "relay/TcpRelayListener.h"
#include "support/RecordingClientsView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr int kWaitMs = 10000;

int FreePort()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::Any, 0));
    return probe.serverPort();
}

struct TLoopbackServer {
    explicit TLoopbackServer(std::string_view allowed, int port = FreePort())
        : server(listener, view, clock, [this](const std::string& line) { log.push_back(line); })
    {
        server.Start(port, allowed);
    }
    std::unique_ptr<QTcpSocket> Client(const char* from)
    {
        auto socket = std::make_unique<QTcpSocket>();
        EXPECT_TRUE(socket->bind(QHostAddress(QString::fromLatin1(from)), 0));
        socket->connectToHost(QHostAddress::LocalHost, listener.Port());
        EXPECT_TRUE(socket->waitForConnected(kWaitMs));
        return socket;
    }
    bool WaitForClients(std::size_t count)
    {
        return QTest::qWaitFor([&] { return listener.Connections().size() == count; }, kWaitMs);
    }

    TTcpRelayListener listener;
    test::TRecordingClientsView view;
    TManualClock clock{EncodeDateTime(2024, 5, 6, 7, 8, 9)};
    std::vector<std::string> log;
    TRelayServer server;
};

TEST(TcpRelayListener, OnlyAnAllowedAddressReceivesTheStream)
{
    TLoopbackServer s("127.0.0.2");
    ASSERT_TRUE(s.listener.IsListening());
    auto refused = s.Client("127.0.0.1");
    auto allowed = s.Client("127.0.0.2");
    ASSERT_TRUE(s.WaitForClients(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused->state() == QAbstractSocket::UnconnectedState; }, kWaitMs));
    EXPECT_THAT(s.log, ElementsAre(HasSubstr("127.0.0.1")));
    EXPECT_EQ(s.listener.Connections()[0]->RemoteAddress(), "127.0.0.2");
    ASSERT_EQ(s.view.shown.size(), 1u);
    EXPECT_THAT(s.view.shown[0], HasSubstr("(127.0.0.2)"));

    const std::string message = "\x0BMSH|^~\\&|CS\rPID|||123\rOBX|1|NM|HR||72\r\x1C\r";
    s.server.ForwardToClients(message);
    s.server.SendLifeTick();
    std::string received;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            received += allowed->readAll().toStdString();
            return received.size() >= message.size() + 1;
        },
        kWaitMs));
    EXPECT_EQ(received, message + "\r");
    EXPECT_EQ(refused->readAll().size(), 0);

    allowed->abort();
    ASSERT_TRUE(s.WaitForClients(0));
    EXPECT_TRUE(s.view.shown.empty());
}

TEST(TcpRelayListener, AClientThatDoesNotReadIsDroppedWhileAReadingOneGoesOn)
{
    TLoopbackServer s("127.0.0.0/8");
    ASSERT_TRUE(s.listener.IsListening());
    auto stalled = s.Client("127.0.0.1");
    stalled->setReadBufferSize(1);  // takes nothing more from the network
    auto reader = s.Client("127.0.0.2");
    ASSERT_TRUE(s.WaitForClients(2));
    std::size_t readBytes = 0;
    QObject::connect(reader.get(), &QTcpSocket::readyRead, [&] { readBytes += reader->readAll().size(); });

    const std::string chunk(64 * 1024, 'x');
    std::size_t sent = 0;
    // Bounded: far beyond the limit plus what the kernel's buffers can hold.
    while (s.listener.Connections().size() == 2 && sent < 512u * 1024 * 1024) {
        s.server.ForwardToClients(chunk);
        sent += chunk.size();
        QTest::qWait(0);
    }
    ASSERT_EQ(s.listener.Connections().size(), 1u);
    EXPECT_EQ(s.listener.Connections()[0]->RemoteAddress(), "127.0.0.2");
    EXPECT_THAT(s.log, ElementsAre(HasSubstr("127.0.0.1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readBytes == sent; }, kWaitMs));
}

TEST(TcpRelayListener, WithoutAnAllowListThePortStaysClosed)
{
    const int port = FreePort();
    TLoopbackServer s("", port);
    EXPECT_FALSE(s.listener.IsListening());
    EXPECT_THAT(s.log, ElementsAre(std::string(kRelayOffText)));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    EXPECT_FALSE(client.waitForConnected(kWaitMs));
    EXPECT_EQ(client.error(), QAbstractSocket::ConnectionRefusedError);
}

// A client socket from its own loopback address (the relay sends to one connection per address), connected
// with a blocking connect: the handshake completes before the listener has taken the connection.
int RawClient(int index, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_GE(fd, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0x7F000000u + 10u + static_cast<std::uint32_t>(index));
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    return fd;
}

// Clients that reset their connection (SO_LINGER 0) between two messages: the next forwarding finds them
// gone inside its sends, and the clients that stay receive the whole stream.
TEST(TcpRelayListener, ClientsResettingDuringForwardingLeaveTheOthersTheStream)
{
    TLoopbackServer s("127.0.0.0/8");
    ASSERT_TRUE(s.listener.IsListening());
    constexpr int kClients = 40;
    std::vector<int> clients;
    for (int i = 0; i < kClients; ++i) clients.push_back(RawClient(i, s.listener.Port()));
    ASSERT_TRUE(s.WaitForClients(kClients));
    const std::string message = "\x0BMSH|^~\\&|CS\rOBX|1|NM|HR||72\r\x1C\r";
    s.server.ForwardToClients(message);

    // Every other client resets; the server hears of it only when it sends.
    const linger reset{1, 0};
    for (int i = 0; i < kClients; i += 2) {
        ASSERT_EQ(::setsockopt(clients[i], SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
        ::close(clients[i]);
        clients[i] = -1;
    }
    for (int round = 0; round < 3; ++round) s.server.ForwardToClients(message);
    ASSERT_TRUE(s.WaitForClients(kClients / 2));
    s.server.SendLifeTick();
    EXPECT_EQ(s.view.shown.size(), static_cast<std::size_t>(kClients / 2));

    const std::string expected = message + message + message + message + "\r";
    for (int i = 1; i < kClients; i += 2) {
        SCOPED_TRACE(i);
        std::string received;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                char buffer[4096];
                const ssize_t n = ::recv(clients[i], buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
                return received.size() >= expected.size();
            },
            kWaitMs));
        EXPECT_EQ(received, expected);
        ::close(clients[i]);
    }
}

}  // namespace
}  // namespace halcyra
