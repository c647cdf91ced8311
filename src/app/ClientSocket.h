// The data-source sockets as the main window sees them; the connection code provides real ones and
// tests provide fakes.
#pragma once

#include <cstdint>
#include <string>

namespace halcyra {

// Where a data-source socket connects: an IPv4 address or a host name to resolve.
struct TSocketTarget {
    std::string addressOrHost;
    bool isAddress = false;
    std::uint16_t port = 0;
};

class IClientSocket {
public:
    virtual ~IClientSocket() = default;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;
    // Starts a non-blocking connection; failures are not raised. A socket that cannot connect does nothing.
    virtual void Open(const TSocketTarget& target) { (void)target; }
};

}  // namespace halcyra
