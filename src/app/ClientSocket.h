// The data-source sockets as the main window sees them; the connection code provides real ones and
// tests provide fakes.
#pragma once

namespace halcyra {

class IClientSocket {
public:
    virtual ~IClientSocket() = default;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
};

}  // namespace halcyra
