// The data-source client socket on QtNetwork: non-blocking, on the GUI thread, its events delivered by
// the event loop.
#pragma once

#include "hl7/ClientSocket.h"

#include <QTcpSocket>

namespace halcyra {

class TTcpClientSocket final : public IClientSocket {
public:
    // A non-zero portOverride replaces the port every Open asks for (a test hook: tests run their
    // central station on a free port instead of the fixed one).
    explicit TTcpClientSocket(int portOverride = 0);
    // No events come out of the destruction.
    ~TTcpClientSocket() override;
    TTcpClientSocket(const TTcpClientSocket&) = delete;
    TTcpClientSocket& operator=(const TTcpClientSocket&) = delete;

    bool IsOpen() const override;
    bool IsConnecting() const override;
    // Drops the connection at once; a connected socket reports its disconnection.
    void Close() override;
    void Open(const std::string& host, bool isAddress, int port) override;
    int PortFor(int port) const override { return portOverride_ != 0 ? portOverride_ : port; }
    void SetEvents(TClientSocketEvents events) override { events_ = std::move(events); }

    std::size_t BytesAvailable() const override;
    std::string ReadAvailable() override;
    std::string RemoteHost() const override;
    std::string RemoteAddress() const override;
    std::string ErrorPeer() const override { return peer_; }
    std::string ErrorText() const override { return errorText_; }

private:
    void WatchConnection();
    void ReleaseWatch();
    bool PeerClosedInOrder() const;

    TClientSocketEvents events_;
    QTcpSocket socket_;
    int portOverride_ = 0;
    // "host:port" of the last Open, and Qt's text for the last error.
    std::string peer_;
    std::string errorText_;
    // A second descriptor of the open connection. Qt reports an orderly close and a reset by the peer as the
    // same error and closes its descriptor before it does; this one keeps the connection's state readable.
    int watch_ = -1;
};

}  // namespace halcyra
