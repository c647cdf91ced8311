#include "app/TcpClientSocket.h"

#include "app/SocketErrorNumbers.h"

#include <QHostAddress>
#include <QTimer>

namespace halcyra {

TTcpClientSocket::TTcpClientSocket(int portOverride) : portOverride_(portOverride)
{
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] {
        if (events_.connected) events_.connected();
    });
    QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] {
        if (events_.disconnected) events_.disconnected();
    });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this](QAbstractSocket::SocketError error) {
        if (events_.error) events_.error(WindowsSocketsErrorNumber(error));
    });
    QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_, [this] {
        if (events_.read) events_.read();
    });
}

TTcpClientSocket::~TTcpClientSocket()
{
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
    socket_.abort();
}

bool TTcpClientSocket::IsOpen() const
{
    return socket_.state() != QAbstractSocket::UnconnectedState;
}

void TTcpClientSocket::Close()
{
    socket_.abort();
}

void TTcpClientSocket::Open(const std::string& host, bool isAddress, int port)
{
    socket_.abort();
    const QString text = QString::fromLatin1(host.data(), static_cast<qsizetype>(host.size()));
    const auto qtPort = static_cast<quint16>(portOverride_ != 0 ? portOverride_ : port);
    if (!isAddress) {
        socket_.connectToHost(text, qtPort);
        return;
    }
    const QHostAddress address(text);
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        // Not an IPv4 address: fails as a name that cannot be found would, from the event loop.
        QTimer::singleShot(0, &socket_, [this] {
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
