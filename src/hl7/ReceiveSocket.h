// The side of a data-source connection that a reader takes bytes from. The program's sockets implement
// it; tests push bytes through fakes.
#pragma once

#include <cstddef>
#include <string>

namespace halcyra {

class IReceiveSocket {
public:
    virtual ~IReceiveSocket() = default;
    // Bytes that can be read now without waiting.
    virtual std::size_t BytesAvailable() const = 0;
    // Takes every byte that can be read now, without waiting; empty when there is none.
    virtual std::string ReadAvailable() = 0;
    // Announces no arrival for `seconds`: what arrives meanwhile waits in the system, and one read event at
    // the end of the hold reports it all, even when nothing arrived, so that the reader knows the hold is
    // over (an end of the connection or an error follows it, as it would have without the hold). A new hold
    // replaces a running one; closing the connection ends it. Each wake-up of the event loop costs more than
    // reading a message, so a steady stream is taken in batches. False when this socket cannot hold: its
    // arrivals are announced as they come.
    virtual bool HoldReads(double /*seconds*/) { return false; }
    // The peer of the open connection: its host name (as given when opening, or resolved) and its address.
    virtual std::string RemoteHost() const = 0;
    virtual std::string RemoteAddress() const = 0;
    // For the line of the error just reported: the host and port the connection was to ("127.0.0.1:8000")
    // and the system's text for the error ("Connection refused"). Empty when unknown.
    virtual std::string ErrorPeer() const { return {}; }
    virtual std::string ErrorText() const { return {}; }
};

}  // namespace halcyra
