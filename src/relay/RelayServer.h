// The relay server: forwards every segment of every message this instance decodes, re-framed and byte for
// byte as received, to the instances connected on the relay port, and a life tick (a lone CR) after a
// minute without sending. Only one connection per client computer receives the stream. Without a valid
// "RelayAllowedClients" it does not listen at all; clients outside the list are dropped on arrival, and a
// client that stops reading is dropped before its unsent data grows without bound.
#pragma once

#include "hl7/MessageView.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "relay/AllowedClients.h"
#include "relay/ConnectedClientsView.h"
#include "relay/RelayListener.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

inline constexpr std::string_view kRelayLifeTick = "\r";
// Logged once at start when "RelayAllowedClients" names nobody.
inline constexpr std::string_view kRelayOffText =
    "Relay server off: \"RelayAllowedClients\" names no client. To relay the stream to other instances, "
    "set it to their addresses or subnets, e.g. \"10.1.2.0/24; 10.1.3.7\"";

class TRelayServer final : public IRelayForwarder {
public:
    static constexpr std::size_t kMaxUnsentBytes = 4 * 1024 * 1024;

    TRelayServer(IRelayListener& listener, IConnectedClientsView& view, const IClock& clock,
                 std::function<void(const std::string&)> log);
    ~TRelayServer() override;
    TRelayServer(const TRelayServer&) = delete;
    TRelayServer& operator=(const TRelayServer&) = delete;

    // Starts listening on every address for the clients "RelayAllowedClients" allows (allowedClients is its
    // text). A list without a valid entry leaves the port closed, and says so; a port that cannot be had is
    // logged. Either way the run goes on without a relay server.
    void Start(std::int32_t port, std::string_view allowedClients);
    void Stop();

    void ForwardToClients(std::string_view bytes) override;
    bool HasClients() const override { return !listener_.Connections().empty(); }
    void SendLifeTick() { ForwardToClients(kRelayLifeTick); }
    // A monotonic reading.
    TMonotonic LastRelaySend() const { return lastRelaySend_; }

    // The listener's events.
    void ServerSocketClientConnect(IRelayConnection& connection);
    void ServerSocketClientDisconnect(IRelayConnection& connection);

private:
    void ShowClients(const IRelayConnection* leaving);
    bool HasLeft(const IRelayConnection* connection) const;

    IRelayListener& listener_;
    IConnectedClientsView& view_;
    const IClock& clock_;
    std::function<void(const std::string&)> log_;
    TAllowedClients allowed_;
    TMonotonic lastRelaySend_ = 0;
    // Set while a connection is being refused, so that its disconnection leaves the list alone.
    const IRelayConnection* refusing_ = nullptr;
    // While forwarding: the connections whose disconnection was reported (addresses only, never followed).
    bool forwarding_ = false;
    std::vector<const IRelayConnection*> left_;
};

}  // namespace halcyra
