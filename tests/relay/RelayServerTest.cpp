#include "relay/RelayServer.h"

#include "support/FakeRelayListener.h"
#include "support/RecordingClientsView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// A server listening for the clients of the tests' own ward network.
struct TServerFixture {
    TServerFixture() : server(listener, view, clock, [this](const std::string& line) { log.push_back(line); }) {}
    void Start(std::string_view allowed = "10.1.0.0/16") { server.Start(13999, allowed); }

    test::TFakeRelayListener listener;
    test::TRecordingClientsView view;
    TManualClock clock{EncodeDateTime(2024, 5, 6, 7, 8, 9)};
    std::vector<std::string> log;
    TRelayServer server;
};

TEST(RelayServer, ListensOnTheRelayPortAndLogsAPortItCannotHave)
{
    TServerFixture f;
    f.server.Start(14000, "10.1.2.0/24");
    EXPECT_THAT(f.listener.listenedOn, ElementsAre(14000));
    EXPECT_THAT(f.log, IsEmpty());

    TServerFixture taken;
    taken.listener.portTaken = true;
    taken.Start();
    ASSERT_EQ(taken.log.size(), 1u);
    EXPECT_THAT(taken.log[0], HasSubstr("13999"));
    EXPECT_THAT(taken.log[0], HasSubstr("address in use"));

    // A stored port outside the port range is never handed to the socket.
    for (const int port : {0, -5, 70000}) {
        TServerFixture bad;
        bad.server.Start(port, "10.1.2.0/24");
        EXPECT_THAT(bad.listener.listenedOn, IsEmpty()) << port;
        EXPECT_EQ(bad.log.size(), 1u) << port;
    }
}

TEST(RelayServer, WithoutAValidAllowListItDoesNotListenAndSaysHowToEnableIt)
{
    const struct {
        const char* allowed;
        std::size_t rejected;
    } cases[] = {{"", 0}, {" ; ", 0}, {"ward-pc; 10.1.2.0/33", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.allowed);
        TServerFixture f;
        f.Start(c.allowed);
        EXPECT_THAT(f.listener.listenedOn, IsEmpty());
        EXPECT_FALSE(f.listener.IsListening());
        ASSERT_EQ(f.log.size(), c.rejected + 1);
        EXPECT_EQ(f.log.back(), kRelayOffText);
        EXPECT_THAT(f.log.back(), HasSubstr("set it to their addresses or subnets"));
        f.server.ForwardToClients("MSH|x\r");  // no one to send to; still the last relay send
        EXPECT_EQ(f.server.LastRelaySend(), f.clock.Monotonic());
    }
}

TEST(RelayServer, OneSendPerClientComputerInTheServersOrder)
{
    TServerFixture f;
    f.Start();
    auto& first = f.listener.Connect("10.1.2.3", "ward-a");
    auto& sameComputer = f.listener.Connect("10.1.2.3", "ward-a");
    auto& other = f.listener.Connect("10.1.2.4", "ward-b");
    EXPECT_THAT(f.view.shown, ElementsAre("ward-a (10.1.2.3)", "ward-b (10.1.2.4)"));

    const std::string segment = std::string("\x0bMSH|^~\\&|CS\r", 13);
    f.server.ForwardToClients(segment);
    f.server.ForwardToClients("OBX|1|NM|HR\r\x1c\r");
    EXPECT_EQ(first.received, segment + "OBX|1|NM|HR\r\x1c\r");
    EXPECT_EQ(first.sends, 2);
    EXPECT_EQ(sameComputer.sends, 0);
    EXPECT_EQ(other.received, first.received);
}

TEST(RelayServer, TheSecondConnectionOfAComputerTakesOverWhenTheFirstLeaves)
{
    TServerFixture f;
    f.Start();
    auto& first = f.listener.Connect("10.1.2.3", "ward-a");
    auto& second = f.listener.Connect("10.1.2.3", "ward-a");
    f.listener.Disconnect(first);
    // The computer still has a connection: it stays listed and keeps receiving.
    EXPECT_THAT(f.view.shown, ElementsAre("ward-a (10.1.2.3)"));
    f.server.ForwardToClients("\r");
    EXPECT_EQ(second.received, "\r");
    f.listener.Disconnect(second);
    EXPECT_THAT(f.view.shown, IsEmpty());
}

TEST(RelayServer, EveryForwardingIsTheLastRelaySendEvenWithoutClients)
{
    TServerFixture f;
    EXPECT_EQ(f.server.LastRelaySend(), 0);
    f.server.ForwardToClients("PID|1\r");
    EXPECT_EQ(f.server.LastRelaySend(), f.clock.Monotonic());
    f.clock.AdvanceSeconds(61);
    f.Start();
    auto& client = f.listener.Connect("10.1.2.3");
    f.server.SendLifeTick();
    EXPECT_EQ(client.received, "\r");
    EXPECT_EQ(f.server.LastRelaySend(), f.clock.Monotonic());
}

TEST(RelayServer, AClientOutsideTheAllowListIsClosedAtOnceAndSentNothing)
{
    TServerFixture f;
    f.server.Start(13999, "10.1.2.0/24; 10.1.3.7; ::1; bogus");
    ASSERT_EQ(f.log.size(), 1u);
    EXPECT_THAT(f.log[0], HasSubstr("\"bogus\""));
    f.log.clear();

    f.listener.Connect("10.1.3.8", "intruder");
    auto& allowed = f.listener.Connect("10.1.2.200", "ward-a");
    f.listener.Connect("::ffff:10.1.4.1", "mapped");
    auto& loopback = f.listener.Connect("::1", "self");
    EXPECT_EQ(f.listener.connections.size(), 2u);
    ASSERT_EQ(f.listener.gone.size(), 2u);
    EXPECT_THAT(f.log, ElementsAre(HasSubstr("10.1.3.8"), HasSubstr("::ffff:10.1.4.1")));
    EXPECT_THAT(f.view.shown, ElementsAre("ward-a (10.1.2.200)", "self (::1)"));

    f.server.ForwardToClients("MSH|x\r");
    EXPECT_EQ(allowed.received, "MSH|x\r");
    EXPECT_EQ(loopback.received, "MSH|x\r");
    for (const auto& refused : f.listener.gone) EXPECT_EQ(refused->sends, 0);
}

TEST(RelayServer, AClientThatStopsReadingIsDroppedAndTheOthersGoOn)
{
    TServerFixture f;
    f.Start();
    auto& stalled = f.listener.Connect("10.1.2.3", "slow");
    auto& reader = f.listener.Connect("10.1.2.4", "fast");
    stalled.reads = false;
    const std::string chunk(64 * 1024, 'x');
    const std::size_t sendsToExceed = TRelayServer::kMaxUnsentBytes / chunk.size() + 1;
    for (std::size_t i = 0; i + 1 < sendsToExceed; ++i) f.server.ForwardToClients(chunk);
    EXPECT_EQ(f.listener.connections.size(), 2u) << "exactly the limit is still kept";
    f.server.ForwardToClients(chunk);
    ASSERT_EQ(f.listener.connections.size(), 1u);
    EXPECT_EQ(f.listener.connections[0].get(), &reader);
    EXPECT_THAT(f.log, ElementsAre(HasSubstr("slow (10.1.2.3)")));
    EXPECT_THAT(f.view.shown, ElementsAre("fast (10.1.2.4)"));
    f.server.ForwardToClients("\r");
    EXPECT_EQ(reader.received.size(), sendsToExceed * chunk.size() + 1);
}

// A listener may free a connection as soon as its disconnection is reported, which a send to a peer that
// has reset does inside the send: under AddressSanitizer any later use of it is caught.
TEST(RelayServer, ClientsThatResetDuringForwardingAreNeverTouchedAgain)
{
    TServerFixture f;
    f.listener.freeOnDisconnect = true;
    f.Start();
    auto& reader = f.listener.Connect("10.1.2.1", "ward-a");
    f.listener.Connect("10.1.2.2", "reset").resetByPeer = true;
    auto& stalled = f.listener.Connect("10.1.2.3", "slow");
    f.listener.Connect("10.1.2.4", "reset-too").resetByPeer = true;
    auto& secondReader = f.listener.Connect("10.1.2.5", "ward-b");
    stalled.reads = false;
    stalled.unsent = TRelayServer::kMaxUnsentBytes;

    f.server.ForwardToClients("MSH|x\r");
    EXPECT_EQ(reader.received, "MSH|x\r");
    EXPECT_EQ(secondReader.received, "MSH|x\r");
    ASSERT_EQ(f.listener.connections.size(), 2u);
    EXPECT_THAT(f.log, ElementsAre(HasSubstr("slow (10.1.2.3)")));
    EXPECT_THAT(f.view.shown, ElementsAre("ward-a (10.1.2.1)", "ward-b (10.1.2.5)"));
    f.server.ForwardToClients("\r");
    EXPECT_EQ(reader.received, "MSH|x\r\r");
}

TEST(RelayServer, StopDropsTheClientsAndHidesTheList)
{
    TServerFixture f;
    f.Start();
    f.listener.Connect("10.1.2.3");
    f.server.Stop();
    EXPECT_FALSE(f.listener.listening);
    EXPECT_THAT(f.view.shown, IsEmpty());
    f.server.ForwardToClients("\r");  // nothing to send to, and nothing breaks
}

}  // namespace
}  // namespace halcyra
