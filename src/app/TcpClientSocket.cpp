#include "app/TcpClientSocket.h"

#include "app/SocketErrorNumbers.h"
#include "platform/Text.h"

#include <QHostAddress>
#include <QTimer>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace halcyra {

TTcpClientSocket::TTcpClientSocket(int portOverride) : portOverride_(portOverride)
{
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
        WatchConnection();
        if (events_.connected) events_.connected();
    });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] {
        ReleaseWatch();
        if (events_.disconnected) events_.disconnected();
    });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this](QAbstractSocket::SocketError error) {
        // The peer's orderly close is the end of the connection, not a failure; the disconnection follows.
        const bool closedInOrder = error == QAbstractSocket::RemoteHostClosedError && PeerClosedInOrder();
        ReleaseWatch();
        if (closedInOrder) return;
        errorText_ = Utf8ToWin1252(socket_.errorString().toStdString());
        if (events_.error) events_.error(WindowsSocketsErrorNumber(error));
    });
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] {
        if (events_.read) events_.read();
    });
}

TTcpClientSocket::~TTcpClientSocket()
{
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
    ReleaseWatch();
    socket_.abort();
}

bool TTcpClientSocket::IsOpen() const
{
    return socket_.state() == QAbstractSocket::ConnectedState;
}

bool TTcpClientSocket::IsConnecting() const
{
    const QAbstractSocket::SocketState state = socket_.state();
    return state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState;
}

void TTcpClientSocket::Close()
{
    ReleaseWatch();
    socket_.abort();
}

void TTcpClientSocket::WatchConnection()
{
    ReleaseWatch();
    const qintptr descriptor = socket_.socketDescriptor();
    if (descriptor >= 0) watch_ = ::fcntl(static_cast<int>(descriptor), F_DUPFD_CLOEXEC, 0);
}

void TTcpClientSocket::ReleaseWatch()
{
    if (watch_ >= 0) ::close(watch_);
    watch_ = -1;
}

bool TTcpClientSocket::PeerClosedInOrder() const
{
    // After the peer's FIN the connection waits for our close; after a reset it is closed already.
    tcp_info info{};
    socklen_t length = sizeof info;
    if (watch_ < 0 || ::getsockopt(watch_, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return false;
    return info.tcpi_state == TCP_CLOSE_WAIT;
}

void TTcpClientSocket::Open(const std::string& host, bool isAddress, int port)
{
    ReleaseWatch();
    socket_.abort();
    const QString text = QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size()));
    const auto qtPort = static_cast<quint16>(PortFor(port));
    peer_ = host + ":" + std::to_string(qtPort);
    if (!isAddress) {
        socket_.connectToHost(text, qtPort);
        return;
    }
    const QHostAddress address(text);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        // Not an IPv4 address: fails as a name that cannot be found would, from the event loop.
        QTimer::singleShot(0, &socket_, [this] {
            errorText_ = "not an IPv4 address";
            if (events_.error) events_.error(WindowsSocketsErrorNumber(QAbstractSocket::HostNotFoundError));
        });
        return;
    }
    socket_.connectToHost(address, qtPort);
}

std::size_t TTcpClientSocket::BytesAvailable() const
{
    return static_cast<std::size_t>(socket_.bytesAvailable());
}

std::string TTcpClientSocket::ReadAvailable()
{
    const QByteArray bytes = socket_.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string TTcpClientSocket::RemoteHost() const
{
    return socket_.peerName().toStdString();
}

std::string TTcpClientSocket::RemoteAddress() const
{
    QHostAddress address = socket_.peerAddress();
    // An IPv4 peer reached over a dual-stack socket shows as an IPv4 address.
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4) address = QHostAddress(ipv4);
    return address.toString().toStdString();
}

}  // namespace halcyra
