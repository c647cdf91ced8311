#include "relay/TcpRelayListener.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>

#include <algorithm>

namespace halcyra {

// One accepted connection. The socket is deleted later, never inside one of its own signals.
class TTcpRelayConnection final : public IRelayConnection {
public:
    explicit TTcpRelayConnection(QTcpSocket* socket) : socket_(socket)
    {
        const QHostAddress peer = socket_->peerAddress();
        bool isV4 = false;
        const quint32 v4 = peer.toIPv4Address(&isV4);
        address_ = (isV4 ? QHostAddress(v4) : peer).toString().toStdString();
        // The peer's name without a blocking lookup: the numeric address unless it is this machine.
        host_ = peer.isLoopback() ? QHostInfo::localHostName().toStdString() : address_;
    }
    ~TTcpRelayConnection() override
    {
        if (socket_ == nullptr) return;
        QObject::disconnect(socket_, nullptr, nullptr, nullptr);
        socket_->abort();
        socket_->deleteLater();
    }
    TTcpRelayConnection(const TTcpRelayConnection&) = delete;
    TTcpRelayConnection& operator=(const TTcpRelayConnection&) = delete;

    std::string RemoteAddress() const override { return address_; }
    std::string RemoteHost() const override { return host_; }
    void Send(std::string_view bytes) override
    {
        if (socket_ == nullptr || socket_->state() != QAbstractSocket::ConnectedState) return;
        socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        // Handed to the network now, so that what stays unsent is what the client has not taken.
        socket_->flush();
    }
    std::size_t UnsentBytes() const override
    {
        return socket_ != nullptr ? static_cast<std::size_t>(socket_->bytesToWrite()) : 0;
    }
    void Close() override
    {
        if (socket_ != nullptr) socket_->abort();
    }
    QTcpSocket* Socket() const { return socket_; }

private:
    QPointer<QTcpSocket> socket_;
    std::string address_;
    std::string host_;
};

TTcpRelayListener::TTcpRelayListener()
{
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
}

TTcpRelayListener::~TTcpRelayListener()
{
    QObject::disconnect(&server_, nullptr, nullptr, nullptr);
    connections_.clear();
    leaving_.clear();
    server_.close();
}

bool TTcpRelayListener::Listen(std::uint16_t port, std::string& error)
{
    server_.close();
    if (server_.listen(QHostAddress::Any, port)) return true;
    error = server_.errorString().toStdString();
    return false;
}

void TTcpRelayListener::Stop()
{
    server_.close();
    connections_.clear();
}

std::vector<IRelayConnection*> TTcpRelayListener::Connections() const
{
    std::vector<IRelayConnection*> open;
    open.reserve(connections_.size());
    for (const auto& connection : connections_) open.push_back(connection.get());
    return open;
}

void TTcpRelayListener::Accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        // A peer that went away before it was taken is not a client.
        if (socket->state() != QAbstractSocket::ConnectedState) {
            socket->deleteLater();
            continue;
        }
        // Nothing is ever read from a client; what it sends is thrown away.
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        auto connection = std::make_unique<TTcpRelayConnection>(socket);
        TTcpRelayConnection* raw = connection.get();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, raw] { Disconnected(raw); });
        connections_.push_back(std::move(connection));
        if (events_.connected) events_.connected(*raw);
    }
}

void TTcpRelayListener::Disconnected(TTcpRelayConnection* connection)
{
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [connection](const auto& owned) { return owned.get() == connection; });
    if (it == connections_.end()) return;
    // Out of the list before the event. A send or close inside the caller's loop can get here, so the
    // connection is destroyed only once control is back in the event loop: until then it is a closed one.
    TTcpRelayConnection& leaving = *leaving_.emplace_back(std::move(*it));
    connections_.erase(it);
    if (leaving_.size() == 1)
        QMetaObject::invokeMethod(
            &server_, [this] { leaving_.clear(); }, Qt::QueuedConnection);
    if (events_.disconnected) events_.disconnected(leaving);
}

}  // namespace halcyra
