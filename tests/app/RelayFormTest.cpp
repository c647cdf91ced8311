// The relay in the main window: the central station's stream forwarded to the connected instances, and
// another instance as the data source, supervised by the timer tick.
#include "FormFixture.h"
#include "support/FakeClientSocket.h"
#include "support/FakeRelayListener.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace halcyra {
namespace {

using ::testing::HasSubstr;

class RelayForm : public ::testing::Test {
protected:
    RelayForm()
    {
        f.registry.CurrentUser().WriteString(kProgramKey, "RelayAllowedClients", "10.9.8.0/24");
        f.env.centralStationSocket = [this] {
            auto socket = std::make_unique<test::TFakeClientSocket>(test::TFakeClientSocket::TOnOpen::Opened);
            centralStation = socket.get();
            return socket;
        };
        f.env.relayClientSocket = [this] {
            auto socket = std::make_unique<test::TFakeClientSocket>(test::TFakeClientSocket::TOnOpen::Opened);
            relayClient = socket.get();
            return socket;
        };
        f.env.relayListener = [this] {
            auto listener = std::make_unique<test::TFakeRelayListener>();
            relayListener = listener.get();
            return listener;
        };
    }
    void Tick(int seconds = 1)
    {
        for (int i = 0; i < seconds; ++i) {
            f.clock.AdvanceSeconds(1);
            f.form->Timer1Timer();
        }
    }
    // Ticks a second apart, half a second out of step with the last send, so that no tick falls on the
    // one-minute limit itself.
    std::vector<int> LifeTickSeconds(test::TFakeRelayConnection& client, int seconds)
    {
        std::vector<int> at;
        f.clock.AdvanceSeconds(0.5);
        for (int second = 1; second <= seconds; ++second) {
            Tick();
            if (client.received.empty()) continue;
            EXPECT_EQ(client.received, "\r");
            at.push_back(second);
            client.received.clear();
        }
        return at;
    }

    test::TFormFixture f;
    test::TFakeClientSocket* centralStation = nullptr;
    test::TFakeClientSocket* relayClient = nullptr;
    test::TFakeRelayListener* relayListener = nullptr;
};

const std::string kMessage =
    "\x0BMSH|^~\\&|CS|ward|||20240506070809||ORU^R01|1|P|2.3\r"
    "PID|||123456||Smith^John\r"
    "OBX|1|NM|0002-4182^HR^MDIL|1|72|/min|||||F\r\x1C\r";

TEST_F(RelayForm, TheCentralStationsMessagesGoOutByteForByteOncePerClientComputer)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "ClientSocketPort", 14001);
    auto& form = f.Create();
    EXPECT_EQ(relayListener->listenedOn, std::vector<std::uint16_t>{14001});
    EXPECT_TRUE(test::Widget<QGroupBox>(form, "gbConnectedDataClients")->isHidden());
    auto& first = relayListener->Connect("10.9.8.7", "ward-b");
    auto& second = relayListener->Connect("10.9.8.7", "ward-b");
    ASSERT_EQ(test::Widget<QListWidget>(form, "ListBoxConnectedClients")->count(), 1);
    EXPECT_EQ(test::Widget<QListWidget>(form, "ListBoxConnectedClients")->item(0)->text(), "ward-b (10.9.8.7)");
    EXPECT_FALSE(test::Widget<QGroupBox>(form, "gbConnectedDataClients")->isHidden());
    emit test::Widget<QListWidget>(form, "ListBoxConnectedClients")
        ->itemClicked(test::Widget<QListWidget>(form, "ListBoxConnectedClients")->item(0));
    EXPECT_EQ(test::Widget<QListWidget>(form, "ListBoxConnectedClients")->toolTip(), "ward-b (10.9.8.7)");

    centralStation->Connect();
    // Split anywhere by the network, the message still goes out whole and unchanged, in one write.
    centralStation->Receive(kMessage.substr(0, 20));
    centralStation->Receive(kMessage.substr(20));
    EXPECT_EQ(first.received, kMessage);
    EXPECT_EQ(first.sends, 1);
    EXPECT_EQ(second.sends, 0);

    relayListener->Disconnect(first);
    relayListener->Disconnect(second);
    EXPECT_TRUE(test::Widget<QGroupBox>(form, "gbConnectedDataClients")->isHidden());
}

TEST_F(RelayForm, OneLifeTickPerMinuteOfSilence)
{
    auto& form = f.Create();
    (void)form;
    auto& client = relayListener->Connect("10.9.8.7");
    centralStation->Connect();
    centralStation->Receive(kMessage);
    client.received.clear();
    // 60.5 s after the message, then a minute after that one: on the tick that lands on the minute or the
    // next, as the clock's rounding falls.
    const std::vector<int> at = LifeTickSeconds(client, 130);
    ASSERT_EQ(at.size(), 2u);
    EXPECT_EQ(at[0], 60);
    EXPECT_TRUE(at[1] == 120 || at[1] == 121) << at[1];
}

TEST_F(RelayForm, AnotherInstanceAsTheSourceIsSupervisedByItsLifeTicks)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 0);
    f.registry.CurrentUser().WriteDword(kProgramKey, "IsAddress", 1);
    f.registry.CurrentUser().WriteString(kProgramKey, "IPString", "10.1.2.3");
    f.registry.CurrentUser().WriteDword(kProgramKey, "ClientSocketPort", 14002);
    auto& form = f.Create();
    ASSERT_EQ(relayClient->opens, (std::vector<test::TSocketTarget>{{"10.1.2.3", true, 14002}}));
    EXPECT_TRUE(centralStation->opens.empty());

    Tick(3);
    EXPECT_FALSE(test::Widget<QLabel>(form, "lblNoNetwork")->isHidden()) << "No Network until the connection is open";
    relayClient->Connect();
    Tick();
    EXPECT_TRUE(test::Widget<QLabel>(form, "lblNoNetwork")->isHidden());
    EXPECT_THAT(form.windowTitle().toStdString(), HasSubstr(" - Connected to  Velgard: ward-server (10.1.2.3)"));

    // Life ticks alone keep the connection.
    for (int minute = 0; minute < 4; ++minute) {
        Tick(60);
        ASSERT_TRUE(relayClient->connected) << minute;
        relayClient->Receive("\r");
    }
    EXPECT_TRUE(relayClient->connected);
    // A message from the other instance is decoded like the central station's.
    relayClient->Receive(kMessage);
    EXPECT_EQ(form.Engine().Messages().MessagesDecoded(), 1);

    // Silent for 127 seconds: dropped with a warning, then opened again after the countdown. (126 s is the
    // limit; whole seconds summed on the clock land a rounding error either side of it.)
    Tick(125);
    EXPECT_TRUE(relayClient->connected);
    Tick(2);
    EXPECT_FALSE(relayClient->connected);
    EXPECT_EQ(test::Widget<QLabel>(form, "LabelConnected")->text(), "Expected lifetick is missing");
    EXPECT_FALSE(test::Widget<QLabel>(form, "lblNoNetwork")->isHidden());
    EXPECT_EQ(form.windowTitle().toStdString().find("Connected to"), std::string::npos);
    // Reopened within the countdown (left where the ticks before the first connection put it), and from
    // then on retried every eleventh tick while the other instance does not answer.
    const auto ticksUntilOpen = [&] {
        const std::size_t opens = relayClient->opens.size();
        int ticks = 0;
        while (relayClient->opens.size() == opens && ticks < 20) {
            Tick();
            ++ticks;
        }
        return ticks;
    };
    EXPECT_LE(ticksUntilOpen(), 11);
    EXPECT_EQ(ticksUntilOpen(), 11);
    EXPECT_EQ(ticksUntilOpen(), 11);
    relayClient->Connect();
    relayClient->Receive("\r");
    EXPECT_EQ(test::Widget<QLabel>(form, "LabelConnected")->text(), "");
}

TEST_F(RelayForm, AnInstanceThatRefusesIsLoggedOnceThenCountedUntilItAnswers)
{
    f.registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 0);
    f.registry.CurrentUser().WriteDword(kProgramKey, "IsAddress", 1);
    f.registry.CurrentUser().WriteString(kProgramKey, "IPString", "10.1.2.3");
    f.registry.CurrentUser().WriteDword(kProgramKey, "ClientSocketPort", 14002);
    std::vector<std::string> log;
    f.env.logMirror = [&](const TLogEntry& entry) {
        if (entry.message.rfind("Relay client", 0) == 0)
            log.push_back("<" + std::to_string(static_cast<int>(entry.priority)) + ">" + entry.message);
    };
    auto& form = f.Create();
    relayClient->errorText = "Connection refused";
    int refusals = 0;
    const auto refuse = [&] {
        relayClient->open = false;
        relayClient->events.error(10061);
        ++refusals;
    };
    refuse();
    for (int second = 0; second < 75; ++second) {
        const std::size_t opens = relayClient->opens.size();
        Tick();
        if (relayClient->opens.size() > opens) refuse();
    }
    ASSERT_GE(refusals, 7);
    EXPECT_FALSE(test::Widget<QLabel>(form, "LabelConnected")->text().contains("socket error"));
    relayClient->Connect();

    const std::string refused = "Relay client: Asynchronous socket error 10061 (10.1.2.3:14002: Connection refused)";
    ASSERT_EQ(log.size(), 3u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0], "<3>" + refused);
    EXPECT_THAT(log[1], ::testing::StartsWith("<4>" + refused + " repeated "));
    EXPECT_THAT(log[2],
                ::testing::StartsWith("<6>" + refused + " cleared after " + std::to_string(refusals) + " errors in "));
}

}  // namespace
}  // namespace halcyra
