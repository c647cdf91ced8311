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
    // The peer of the open connection: its host name (as given when opening, or resolved) and its address.
    virtual std::string RemoteHost() const = 0;
    virtual std::string RemoteAddress() const = 0;
    // For the line of the error just reported: the host and port the connection was to ("127.0.0.1:8000")
    // and the system's text for the error ("Connection refused"). Empty when unknown.
    virtual std::string ErrorPeer() const { return {}; }
    virtual std::string ErrorText() const { return {}; }
};

}  // namespace halcyra
