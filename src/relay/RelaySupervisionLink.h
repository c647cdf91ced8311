// The relay as the timer tick supervises it: the life tick of the relay server, and the connection of the
// relay client.
#pragma once

#include "relay/RelayClient.h"
#include "relay/RelayServer.h"
#include "relay/RelaySupervision.h"

namespace halcyra {

class TRelaySupervisionLink final : public IRelaySupervision {
public:
    TRelaySupervisionLink(TRelayServer& server, TRelayClient& client) : server_(server), client_(client) {}

    TMonotonic LastRelaySend() const override { return server_.LastRelaySend(); }
    void SendLifeTick() override { server_.SendLifeTick(); }
    bool ClientConnected() const override { return client_.Connected(); }
    TMonotonic LastLifeTickReceived() const override { return client_.LastLifeTickReceived(); }
    void CloseClient() override { client_.Close(); }

private:
    TRelayServer& server_;
    TRelayClient& client_;
};

}  // namespace halcyra
