// The data-source client sockets as the cycle and the readers see them; the connection code provides real
// ones and tests provide fakes.
#pragma once

#include "hl7/ReceiveSocket.h"

#include <cstddef>
#include <functional>
#include <string>

namespace halcyra {

// What a client socket reports, on the GUI thread from the event loop; only the disconnection of an
// open connection by Close (or by Open, which closes first) is reported at once, inside that call.
struct TClientSocketEvents {
    std::function<void()> connected;
    std::function<void()> disconnected;
    // The Windows Sockets error number of the failure (10061 refused, 10054 reset, ...). An orderly close by
    // the peer is no failure: only the disconnected event reports it.
    std::function<void(int windowsSocketsError)> error;
    std::function<void()> read;
};

class IClientSocket : public IReceiveSocket {
public:
    ~IClientSocket() override = default;
    // Connected: a connection still being set up is not open.
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    // The operations below default to a socket that never opens.

    // A connection is being set up (name lookup or connect in progress).
    virtual bool IsConnecting() const { return false; }

    // Starts opening a connection, without waiting: to `host` as an IPv4 address when isAddress, else as a
    // host name resolved by name lookup. The outcome arrives as the connected or the error event.
    virtual void Open(const std::string& /*host*/, bool /*isAddress*/, int /*port*/) {}
    virtual void SetEvents(TClientSocketEvents /*events*/) {}
    // The port a connection asked for with `port` goes to (a socket may be bound to another one).
    virtual int PortFor(int port) const { return port; }
    std::size_t BytesAvailable() const override { return 0; }
    std::string ReadAvailable() override { return {}; }
    std::string RemoteHost() const override { return {}; }
    std::string RemoteAddress() const override { return {}; }
};

}  // namespace halcyra
