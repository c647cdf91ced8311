// The listening side of the relay as the relay server sees it: the program provides one on QtNetwork,
// tests provide fakes and raise its events themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// One accepted connection of a relay client.
class IRelayConnection {
public:
    virtual ~IRelayConnection() = default;
    // The peer's address as text; an IPv4 peer always in dotted form, also on a dual-stack listener.
    virtual std::string RemoteAddress() const = 0;
    virtual std::string RemoteHost() const = 0;
    // Queues the bytes and starts sending them, without waiting. A peer found gone (reset) has its
    // disconnected event reported inside the call.
    virtual void Send(std::string_view bytes) = 0;
    // Bytes queued but not yet taken by the network.
    virtual std::size_t UnsentBytes() const = 0;
    // Drops the connection at once, unsent bytes and all; its disconnected event follows inside the call.
    virtual void Close() = 0;
};

struct TRelayListenerEvents {
    std::function<void(IRelayConnection&)> connected;
    // The connection is no longer among Connections(); it stays valid until the event returns, and must not
    // be used after it.
    std::function<void(IRelayConnection&)> disconnected;
};

class IRelayListener {
public:
    virtual ~IRelayListener() = default;
    // Listens on every address of the machine; false with the reason in `error` when the port is taken.
    virtual bool Listen(std::uint16_t port, std::string& error) = 0;
    // Stops listening and drops every connection without reporting them.
    virtual void Stop() = 0;
    virtual bool IsListening() const = 0;
    // The open connections, oldest first.
    virtual std::vector<IRelayConnection*> Connections() const = 0;
    virtual void SetEvents(TRelayListenerEvents events) = 0;
};

// A listener that never listens: the run without a network (an import, tests of other parts).
class TNoRelayListener final : public IRelayListener {
public:
    bool Listen(std::uint16_t /*port*/, std::string& /*error*/) override { return true; }
    void Stop() override {}
    bool IsListening() const override { return false; }
    std::vector<IRelayConnection*> Connections() const override { return {}; }
    void SetEvents(TRelayListenerEvents /*events*/) override {}
};

}  // namespace halcyra
