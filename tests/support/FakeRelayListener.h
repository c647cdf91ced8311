// A relay listener whose connections record what they are sent; the test raises the events.
#pragma once

#include "relay/RelayListener.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halcyra::test {

class TFakeRelayConnection final : public IRelayConnection {
public:
    TFakeRelayConnection(std::string address, std::string host, std::function<void(TFakeRelayConnection&)> closed)
        : address(std::move(address)), host(std::move(host)), closed_(std::move(closed))
    {
    }
    std::string RemoteAddress() const override { return address; }
    std::string RemoteHost() const override { return host; }
    void Send(std::string_view bytes) override
    {
        // A peer that has reset: the send finds out and reports the disconnection at once.
        if (resetByPeer) {
            closed_(*this);
            return;
        }
        received.append(bytes);
        ++sends;
        if (!reads) unsent += bytes.size();
    }
    std::size_t UnsentBytes() const override { return unsent; }
    void Close() override { closed_(*this); }

    std::string address;
    std::string host;
    std::string received;
    int sends = 0;
    bool reads = true;  // a client that stops reading keeps everything unsent
    bool resetByPeer = false;
    std::size_t unsent = 0;

private:
    std::function<void(TFakeRelayConnection&)> closed_;
};

class TFakeRelayListener final : public IRelayListener {
public:
    bool Listen(std::uint16_t port, std::string& error) override
    {
        listenedOn.push_back(port);
        if (portTaken) error = "address in use";
        listening = !portTaken;
        return listening;
    }
    void Stop() override
    {
        listening = false;
        connections.clear();
    }
    bool IsListening() const override { return listening; }
    std::vector<IRelayConnection*> Connections() const override
    {
        std::vector<IRelayConnection*> open;
        for (const auto& c : connections) open.push_back(c.get());
        return open;
    }
    void SetEvents(TRelayListenerEvents e) override { events = std::move(e); }

    // A client arrives.
    TFakeRelayConnection& Connect(const std::string& address, const std::string& host = "ward-pc")
    {
        connections.push_back(
            std::make_unique<TFakeRelayConnection>(address, host, [this](TFakeRelayConnection& c) { Disconnect(c); }));
        TFakeRelayConnection& added = *connections.back();
        if (events.connected) events.connected(added);
        return added;
    }
    // A client goes away (or is closed); its record moves to `gone`, or is freed right after the event when
    // `freeOnDisconnect` (as a listener may).
    void Disconnect(TFakeRelayConnection& connection)
    {
        const auto it =
            std::find_if(connections.begin(), connections.end(), [&](const auto& c) { return c.get() == &connection; });
        if (it == connections.end()) return;
        gone.push_back(std::move(*it));
        connections.erase(it);
        if (events.disconnected) events.disconnected(*gone.back());
        if (freeOnDisconnect) gone.pop_back();
    }

    TRelayListenerEvents events;
    std::vector<std::unique_ptr<TFakeRelayConnection>> connections;
    std::vector<std::unique_ptr<TFakeRelayConnection>> gone;
    std::vector<std::uint16_t> listenedOn;
    bool listening = false;
    bool portTaken = false;
    bool freeOnDisconnect = false;
};

}  // namespace halcyra::test
