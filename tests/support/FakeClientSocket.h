// A client socket a test drives: it records what it is asked, holds the bytes the test pushes and raises
// the events the test asks for. Open first closes a connection, as the program's sockets do (a connected
// one reports the disconnection at once); what Open then leaves is chosen per test.
#pragma once

#include "hl7/ClientSocket.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace halcyra::test {

struct TSocketTarget {
    std::string addressOrHost;
    bool isAddress = false;
    int port = 0;
    bool operator==(const TSocketTarget&) const = default;
};

class TFakeClientSocket final : public IClientSocket {
public:
    enum class TOnOpen {
        Connecting,  // a connect in progress, until the test calls Connect or sets the state
        Opened,      // open at once; Connect then reports the connection
        Ignored,     // Open is only recorded: the test sets `open` itself
    };

    explicit TFakeClientSocket(TOnOpen onOpen = TOnOpen::Connecting) : onOpen(onOpen) {}

    bool IsOpen() const override { return open; }
    bool IsConnecting() const override { return connecting; }
    void Close() override
    {
        ++closes;
        calls.push_back("close");
        Drop();
    }
    void Open(const std::string& host, bool isAddress, int port) override
    {
        opens.push_back({host, isAddress, port});
        errorPeer = host + ":" + std::to_string(port);
        calls.push_back("open " + host + (isAddress ? " address " : " name ") + std::to_string(port));
        if (onOpen == TOnOpen::Ignored) return;
        Drop();
        if (onOpen == TOnOpen::Connecting) connecting = true;
        if (onOpen == TOnOpen::Opened) open = true;
    }
    void SetEvents(TClientSocketEvents e) override { events = std::move(e); }
    std::size_t BytesAvailable() const override { return pending.size(); }
    std::string ReadAvailable() override { return std::exchange(pending, std::string()); }
    // Holds only when the test lets it (canHold); the test ends the hold with EndHold.
    bool HoldReads(double seconds) override
    {
        if (!canHold || !open) return false;
        holds.push_back(seconds);
        holding = true;
        return true;
    }
    std::string RemoteHost() const override { return remoteHost; }
    std::string RemoteAddress() const override { return remoteAddress; }
    std::string ErrorPeer() const override { return errorPeer; }
    std::string ErrorText() const override { return errorText; }

    // The peer accepts: the connection is open and the connected event fires.
    void Connect()
    {
        open = connected = true;
        connecting = false;
        if (events.connected) events.connected();
    }
    // Bytes arrive: they wait to be read and the read event fires, unless a hold runs.
    void Receive(const std::string& bytes)
    {
        pending += bytes;
        if (!holding && events.read) events.read();
    }
    // The hold's time is up: one read event for what it kept, even for nothing.
    void EndHold()
    {
        holding = false;
        if (events.read) events.read();
    }

    TOnOpen onOpen;
    bool open = false;
    bool connecting = false;
    bool connected = false;  // set by Connect only
    std::string pending;
    bool canHold = false;
    bool holding = false;
    std::vector<double> holds;  // the length of every hold asked for
    std::string remoteHost = "ward-server";
    std::string remoteAddress = "10.1.2.3";
    // What the socket tells of the error it reports next (the test raises it through `events.error`): the
    // target of the last Open, and the text the test sets.
    std::string errorPeer;
    std::string errorText;
    std::vector<TSocketTarget> opens;
    int closes = 0;                  // calls of Close
    std::vector<std::string> calls;  // "open HOST address|name PORT" and "close", in order
    TClientSocketEvents events;

private:
    void Drop()
    {
        const bool wasConnected = connected;
        open = connecting = connected = holding = false;
        if (wasConnected && events.disconnected) events.disconnected();
    }
};

}  // namespace halcyra::test
