// The data-source client socket: QtNetwork sets the connection up (name lookup, connect, its errors); the open
// connection is then read from its own non-blocking descriptor, on the GUI thread, its events delivered by the
// event loop. Reading it directly is what lets the socket hold its arrivals (HoldReads): QTcpSocket offers no
// way to leave its read notifier off.
#pragma once

#include "hl7/ClientSocket.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <string>

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

    bool IsOpen() const override { return fd_ >= 0; }
    bool IsConnecting() const override;
    // Drops the connection at once; a connected socket reports its disconnection.
    void Close() override;
    void Open(const std::string& host, bool isAddress, int port) override;
    int PortFor(int port) const override { return portOverride_ != 0 ? portOverride_ : port; }
    void SetEvents(TClientSocketEvents events) override { events_ = std::move(events); }

    std::size_t BytesAvailable() const override;
    std::string ReadAvailable() override;
    bool HoldReads(double seconds) override;
    // Ends a running hold now, as its timer does.
    void EndHold();
    std::string RemoteHost() const override { return peerHost_; }
    std::string RemoteAddress() const override { return peerAddress_; }
    std::string ErrorPeer() const override { return peer_; }
    std::string ErrorText() const override { return errorText_; }

private:
    // The connection is set up: its descriptor becomes this socket's, and QTcpSocket lets go of it.
    void TakeOver();
    // The descriptor is readable, or a hold ended (endsHold: the read event comes even for nothing):
    // announces what arrived, then the end of the connection.
    void Readable(bool endsHold);
    // Takes what the system holds for the connection into pending_, and notes its end.
    void Pull();
    void ReportEnd();
    void Release();

    TClientSocketEvents events_;
    QTcpSocket socket_;
    QTimer holdTimer_;
    int portOverride_ = 0;
    // "host:port" of the last Open, and the text for the last error.
    std::string peer_;
    std::string errorText_;
    std::string peerHost_;
    std::string peerAddress_;
    // The open connection's descriptor and its read notifier.
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::string pending_;
    // The end the connection reached: -1 none yet, 0 the peer's orderly close, else the errno of the failure.
    int end_ = -1;
};

}  // namespace halcyra
