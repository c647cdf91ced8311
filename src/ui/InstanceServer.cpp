#include "ui/InstanceServer.h"

#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace halcyra {
namespace {

constexpr qint64 kMaxRequest = 64;
// An answer larger than this is no answer of ours.
constexpr qsizetype kMaxAnswer = 16 * 1024 * 1024;

std::string ErrnoText(int error)
{
    return std::strerror(error);
}

bool FillAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

}  // namespace

bool KernelPeerCredentials(int fd, TPeerCredentials& peer)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return false;
    peer.uid = credentials.uid;
    peer.pid = credentials.pid;
    return true;
}

TInstanceServer::TInstanceServer(std::string socketPath, const IClock& clock, TPeerCheck check, TLog log)
    : TInstanceServer(std::move(socketPath), clock, std::move(check), std::move(log), TLimits{})
{
}

TInstanceServer::TInstanceServer(std::string socketPath, const IClock& clock, TPeerCheck check, TLog log,
                                 TLimits limits)
    : path_(std::move(socketPath)), clock_(clock), check_(std::move(check)), log_(std::move(log)), limits_(limits)
{
    if (limits_.tickMs > 0) {
        timer_ = new QTimer(this);
        timer_->setInterval(limits_.tickMs);
        connect(timer_, &QTimer::timeout, this, &TInstanceServer::Tick);
    }
}

TInstanceServer::~TInstanceServer()
{
    while (!peers_.empty()) Drop(peers_.begin()->first, true);
    Close();
}

bool TInstanceServer::Open()
{
    if (timer_ != nullptr && !timer_->isActive()) timer_->start();
    if (fd_ >= 0) return true;
    sockaddr_un address{};
    if (!FillAddress(path_, address)) {
        Trouble("the instance socket " + path_ + " cannot be made: its path is too long");
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        Trouble("the instance socket " + path_ + " cannot be made: " + ErrnoText(errno) + "; trying again");
        return false;
    }
    // The file is made with the socket's own mode: closed to others from its first moment.
    ::fchmod(fd, 0600);
    // Only the lock's holder gets here: whatever lies at the path is a leftover.
    ::unlink(path_.c_str());
    struct stat info {};
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path_.c_str(), 0600) != 0 || ::listen(fd, SOMAXCONN) != 0 || ::stat(path_.c_str(), &info) != 0) {
        const int error = errno;
        ::close(fd);
        Trouble("the instance socket " + path_ + " cannot listen: " + ErrnoText(error) + "; trying again");
        return false;
    }
    fd_ = fd;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    paused_ = false;
    notifier_ = new QSocketNotifier(QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TInstanceServer::Accept);
    notifier_->setSocket(fd_);
    notifier_->setEnabled(true);
    TroubleOver();
    return true;
}

void TInstanceServer::Close()
{
    if (fd_ < 0) return;
    // Close may run inside the notifier's own signal.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
    // The file goes with the socket, unless something else has taken its place.
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_) ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

void TInstanceServer::Tick()
{
    const double now = clock_.Monotonic();
    std::vector<quint64> late;
    for (const auto& [id, peer] : peers_)
        if (now >= peer.goneBy || (!peer.asked && now >= peer.requestBy)) late.push_back(id);
    for (const quint64 id : late) Drop(id, true);

    if (fd_ >= 0) {
        struct stat info {};
        if (::stat(path_.c_str(), &info) != 0 || info.st_dev != device_ || info.st_ino != inode_) {
            Trouble("the instance socket " + path_ + " is gone; making it again");
            Close();
        }
    }
    if (fd_ < 0) {
        Open();
        return;
    }
    if (paused_) {
        paused_ = false;
        notifier_->setEnabled(true);
        Accept();
    }
}

void TInstanceServer::Accept()
{
    while (fd_ >= 0 && !paused_) {
        const int peerFd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (peerFd < 0) {
            const int error = errno;
            if (error == EINTR || error == ECONNABORTED) continue;
            if (error == EAGAIN || error == EWOULDBLOCK) return;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                // Askers wait in the backlog meanwhile; the socket itself stays.
                Trouble("the instance socket cannot take a request: " + ErrnoText(error) +
                        " (descriptors in use); trying again");
                paused_ = true;
                notifier_->setEnabled(false);
                return;
            }
            Trouble("the instance socket failed: " + ErrnoText(error) + "; making it again");
            Close();
            return;
        }
        TroubleOver();
        TPeerCredentials who;
        if (!check_ || !check_(peerFd, who) || who.uid != ::geteuid()) {
            // Nothing is said to another user, not even who runs.
            ::close(peerFd);
            if (!strangerLogged_) {
                strangerLogged_ = true;
                log_("the instance socket refused a process of user " + std::to_string(who.uid) + " (PID " +
                     std::to_string(who.pid) + "); further ones are refused without a line");
            }
            continue;
        }
        if (Peers() >= limits_.peers) {
            ::close(peerFd);
            continue;
        }
        auto* socket = new QLocalSocket(this);
        if (!socket->setSocketDescriptor(peerFd, QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
            ::close(peerFd);
            delete socket;
            continue;
        }
        const quint64 id = nextId_++;
        const double now = clock_.Monotonic();
        peers_[id] = {socket, now + limits_.requestSeconds, now + limits_.answerSeconds, false};
        connect(socket, &QLocalSocket::readyRead, this, [this, id] { Read(id); });
        connect(socket, &QLocalSocket::disconnected, this, [this, id] { Drop(id, false); });
        // A request may have come with the connection.
        if (socket->bytesAvailable() > 0) Read(id);
    }
}

void TInstanceServer::Read(quint64 id)
{
    const auto found = peers_.find(id);
    if (found == peers_.end()) return;
    TPeer& peer = found->second;
    if (peer.asked) {
        peer.socket->readAll();
        return;
    }
    if (!peer.socket->canReadLine()) {
        if (peer.socket->bytesAvailable() > kMaxRequest) Drop(id, true);
        return;
    }
    const QByteArray request = peer.socket->readLine(kMaxRequest + 1).trimmed();
    peer.asked = true;
    if (OnRequest)
        OnRequest(id, request);
    else
        Drop(id, true);
}

void TInstanceServer::Reply(quint64 peer, const QByteArray& text)
{
    QMetaObject::invokeMethod(
        this,
        [this, peer, text] {
            const auto found = peers_.find(peer);
            if (found == peers_.end()) return;
            found->second.socket->write(text);
            found->second.socket->disconnectFromServer();
        },
        Qt::QueuedConnection);
}

void TInstanceServer::Drop(quint64 id, bool abort)
{
    const auto found = peers_.find(id);
    if (found == peers_.end()) return;
    QLocalSocket* socket = found->second.socket;
    peers_.erase(found);
    socket->disconnect(this);
    if (abort) socket->abort();
    socket->deleteLater();
}

void TInstanceServer::Trouble(const std::string& text)
{
    if (trouble_) return;
    trouble_ = true;
    log_(text);
}

void TInstanceServer::TroubleOver()
{
    if (!trouble_) return;
    trouble_ = false;
    log_("the instance socket " + path_ + " takes requests again");
}

TInstanceAnswer AskInstance(const std::string& socketPath, const QByteArray& request, int connectMs, int answerMs,
                            const TPeerCheck& check)
{
    using Clock = std::chrono::steady_clock;
    TInstanceAnswer answer;
    sockaddr_un address{};
    if (!FillAddress(socketPath, address)) return answer;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return answer;
    const auto waitFor = [fd](short events, Clock::time_point until) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
            if (left <= 0) return false;
            pollfd one{fd, events, 0};
            const int ready = ::poll(&one, 1, static_cast<int>(left));
            if (ready > 0) return true;
            if (ready < 0 && errno != EINTR) return false;
        }
    };
    const auto done = [fd, &answer] {
        ::close(fd);
        return answer;
    };
    // A full backlog refuses a local connect for now: it is tried again until its time is up.
    const auto connectUntil = Clock::now() + std::chrono::milliseconds(connectMs);
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN || Clock::now() >= connectUntil) return done();
        ::poll(nullptr, 0, 20);
    }
    if (!check || !check(fd, answer.peer) || (answer.peer.uid != ::geteuid() && answer.peer.uid != 0)) {
        answer.result = TInstanceAnswer::OtherUser;
        return done();
    }
    answer.result = TInstanceAnswer::Answered;
    const QByteArray line = request + '\n';
    if (::send(fd, line.constData(), static_cast<size_t>(line.size()), MSG_NOSIGNAL) != line.size()) return done();
    const auto until = Clock::now() + std::chrono::milliseconds(answerMs);
    char buffer[4096];
    while (answer.text.size() < kMaxAnswer && waitFor(POLLIN, until)) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            answer.text.append(buffer, got);
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
            break;
        }
    }
    return done();
}

}  // namespace halcyra
