#include "app/TcpClientSocket.h"

#include "app/SocketErrorNumbers.h"
#include "platform/Text.h"

#include <QHostAddress>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace halcyra {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

QAbstractSocket::SocketError SocketErrorOf(int error)
{
    switch (error) {
        case ECONNRESET:
        case EPIPE:
            return QAbstractSocket::RemoteHostClosedError;
        case ETIMEDOUT:
            return QAbstractSocket::SocketTimeoutError;
        case EHOSTUNREACH:
        case ENETUNREACH:
        case ENETDOWN:
            return QAbstractSocket::NetworkError;
        default:
            return QAbstractSocket::UnknownSocketError;
    }
}

}  // namespace

TTcpClientSocket::TTcpClientSocket(int portOverride) : portOverride_(portOverride)
{
    holdTimer_.setSingleShot(true);
    // A hold never reaches past a collect-interval boundary: it must end on time.
    holdTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&holdTimer_, &QTimer::timeout, &holdTimer_, [this] { EndHold(); });
    QObject::connect(&socket_, &QTcpSocket::connected, &socket_, [this] { TakeOver(); });
    QObject::connect(&socket_, &QTcpSocket::errorOccurred, &socket_, [this](QAbstractSocket::SocketError error) {
        errorText_ = Utf8ToWin1252(socket_.errorString().toStdString());
        if (events_.error) events_.error(WindowsSocketsErrorNumber(error));
    });
}

TTcpClientSocket::~TTcpClientSocket()
{
    QObject::disconnect(&socket_, nullptr, nullptr, nullptr);
    Release();
    socket_.abort();
}

bool TTcpClientSocket::IsConnecting() const
{
    const QAbstractSocket::SocketState state = socket_.state();
    return state == QAbstractSocket::HostLookupState || state == QAbstractSocket::ConnectingState;
}

void TTcpClientSocket::Close()
{
    socket_.abort();
    if (fd_ < 0) return;
    Release();
    if (events_.disconnected) events_.disconnected();
}

void TTcpClientSocket::Release()
{
    holdTimer_.stop();
    if (notifier_ != nullptr) {
        // Close may come from inside the notifier's own signal.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    end_ = -1;
    pending_.clear();
}

void TTcpClientSocket::Open(const std::string& host, bool isAddress, int port)
{
    Close();
    peerHost_.clear();
    peerAddress_.clear();
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

void TTcpClientSocket::TakeOver()
{
    peerHost_ = socket_.peerName().toStdString();
    QHostAddress address = socket_.peerAddress();
    // An IPv4 peer reached over a dual-stack socket shows as an IPv4 address.
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4) address = QHostAddress(ipv4);
    peerAddress_ = address.toString().toStdString();
    const QByteArray early = socket_.readAll();
    const int fd = ::fcntl(static_cast<int>(socket_.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
    const int dupError = errno;
    {
        // QTcpSocket closes its descriptor only: the connection lives on in the duplicate, unannounced.
        const QSignalBlocker quiet(&socket_);
        socket_.abort();
    }
    if (fd < 0) {
        errorText_ = std::strerror(dupError);
        if (events_.error) events_.error(WindowsSocketsErrorNumber(QAbstractSocket::SocketResourceError));
        return;
    }
    fd_ = fd;
    pending_.assign(early.constData(), static_cast<std::size_t>(early.size()));
    notifier_ = new QSocketNotifier(static_cast<qintptr>(fd_), QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] { Readable(false); });
    if (events_.connected) events_.connected();
    if (fd_ >= 0 && !pending_.empty() && events_.read) events_.read();
}

void TTcpClientSocket::Pull()
{
    if (fd_ < 0 || end_ >= 0) return;
    std::array<char, kReadChunk> chunk;
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk.data(), chunk.size(), 0);
        if (n > 0) {
            pending_.append(chunk.data(), static_cast<std::size_t>(n));
            // A short read took everything there was; one more call would only say so.
            if (static_cast<std::size_t>(n) < chunk.size()) return;
            continue;
        }
        if (n == 0) {
            end_ = 0;
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) end_ = errno;
        return;
    }
}

void TTcpClientSocket::Readable(bool endsHold)
{
    Pull();
    if ((endsHold || !pending_.empty()) && events_.read) events_.read();
    // The handler may have closed the connection, or reopened it.
    if (fd_ >= 0 && end_ >= 0) ReportEnd();
}

void TTcpClientSocket::ReportEnd()
{
    const int error = end_;
    Release();
    if (error != 0) {
        const QAbstractSocket::SocketError kind = SocketErrorOf(error);
        // A reset reads as Qt words it, as the log has always shown it.
        errorText_ = kind == QAbstractSocket::RemoteHostClosedError ? "The remote host closed the connection"
                                                                    : std::strerror(error);
        if (events_.error) events_.error(WindowsSocketsErrorNumber(kind));
    }
    if (events_.disconnected) events_.disconnected();
}

std::size_t TTcpClientSocket::BytesAvailable() const
{
    int waiting = 0;
    if (fd_ >= 0 && end_ < 0 && ::ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
    return pending_.size() + static_cast<std::size_t>(waiting > 0 ? waiting : 0);
}

std::string TTcpClientSocket::ReadAvailable()
{
    Pull();
    // An end found here is reported by the notifier, which an ended connection keeps firing.
    if (end_ >= 0 && notifier_ != nullptr && !holdTimer_.isActive()) notifier_->setEnabled(true);
    return std::exchange(pending_, std::string());
}

bool TTcpClientSocket::HoldReads(double seconds)
{
    // A known end is reported without delay.
    if (fd_ < 0 || end_ >= 0 || notifier_ == nullptr) return false;
    notifier_->setEnabled(false);
    holdTimer_.start(static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0)));
    return true;
}

void TTcpClientSocket::EndHold()
{
    holdTimer_.stop();
    if (fd_ < 0 || notifier_ == nullptr) return;
    notifier_->setEnabled(true);
    Readable(true);
}

}  // namespace halcyra
