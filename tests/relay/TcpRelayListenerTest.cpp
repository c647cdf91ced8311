#include "relay/RelayServer.h"
#include "relay/TcpRelayListener.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

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

class TRecordingClientsView final : public IConnectedClientsView {
public:
    void ShowClients(const std::vector<std::string>& entries) override { shown = entries; }
    std::vector<std::string> shown;
};

struct TLoopbackServer {
    explicit TLoopbackServer(std::string_view allowed)
        : server(listener, view, clock, [this](const std::string& line) { log.push_back(line); })
    {
        server.Start(FreePort(), allowed);
        EXPECT_TRUE(listener.IsListening());
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
    TRecordingClientsView view;
    TManualClock clock{EncodeDateTime(2024, 5, 6, 7, 8, 9)};
    std::vector<std::string> log;
    TRelayServer server;
};

TEST(TcpRelayListener, OnlyAnAllowedAddressReceivesTheStream)
{
    TLoopbackServer s("127.0.0.2");
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
    TLoopbackServer s("");
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

}  // namespace
}  // namespace halcyra
