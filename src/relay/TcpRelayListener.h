// The relay server's listening socket on QtNetwork: non-blocking, on the GUI thread.
#pragma once

#include "relay/RelayListener.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

namespace halcyra {

class TTcpRelayConnection;

class TTcpRelayListener final : public IRelayListener {
public:
    TTcpRelayListener();
    // No events come out of the destruction.
    ~TTcpRelayListener() override;
    TTcpRelayListener(const TTcpRelayListener&) = delete;
    TTcpRelayListener& operator=(const TTcpRelayListener&) = delete;

    bool Listen(std::uint16_t port, std::string& error) override;
    void Stop() override;
    bool IsListening() const override { return server_.isListening(); }
    std::vector<IRelayConnection*> Connections() const override;
    void SetEvents(TRelayListenerEvents events) override { events_ = std::move(events); }
    // The port listened on (the one the system chose for port 0).
    std::uint16_t Port() const { return server_.serverPort(); }

private:
    void Accept();
    void Disconnected(TTcpRelayConnection* connection);

    TRelayListenerEvents events_;
    QTcpServer server_;
    std::vector<std::unique_ptr<TTcpRelayConnection>> connections_;
    // Disconnected, destroyed when control is back in the event loop.
    std::vector<std::unique_ptr<TTcpRelayConnection>> leaving_;
};

}  // namespace halcyra
