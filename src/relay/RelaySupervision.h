// The relay between instances as the timer tick supervises it. Without a relay nothing is sent and the
// relay client never counts as connected.
#pragma once

#include "platform/Clock.h"

#include <limits>

namespace halcyra {

class IRelaySupervision {
public:
    virtual ~IRelaySupervision() = default;
    // Monotonic readings. Life tick to the relay clients after a minute without sending.
    virtual TMonotonic LastRelaySend() const = 0;
    virtual void SendLifeTick() = 0;
    // The relay client socket (another instance as the data source).
    virtual bool ClientConnected() const = 0;
    virtual TMonotonic LastLifeTickReceived() const = 0;
    virtual void CloseClient() = 0;
};

class TNoRelay final : public IRelaySupervision {
public:
    TMonotonic LastRelaySend() const override { return std::numeric_limits<double>::infinity(); }  // never due
    void SendLifeTick() override {}
    bool ClientConnected() const override { return false; }
    TMonotonic LastLifeTickReceived() const override { return 0; }
    void CloseClient() override {}
};

}  // namespace halcyra
