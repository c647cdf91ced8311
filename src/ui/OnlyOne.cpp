#include "ui/OnlyOne.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 2000;
// A peer that asks nothing is not kept.
constexpr int kPeerLifetimeMs = 10000;
constexpr qint64 kMaxRequest = 64;
const QByteArray kBringToFront = "front";
const QByteArray kWho = "who";
const QByteArray kStatus = "status";
const QByteArray kStatusJson = "status json";
// A status is built on the instance's own thread, which may be busy for a while.
constexpr int kStatusWaitMs = 10000;

std::string CanonicalSettingsFile(const fs::path& settingsFile)
{
    std::error_code error;
    fs::path absolute = fs::absolute(settingsFile, error);
    if (error) absolute = settingsFile;
    fs::path canonical = fs::weakly_canonical(absolute, error);
    if (error) canonical = absolute.lexically_normal();
    return canonical.string();
}

// The process on the other end of a connected local socket, as the kernel knows it; false when unknown.
bool PeerCredentials(qintptr descriptor, ucred& credentials)
{
    socklen_t size = sizeof credentials;
    return descriptor >= 0 &&
           ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
}

}  // namespace

QString TOnlyOne::AtomName(const QString& applicationTitle)
{
    return QStringLiteral("OnlyOne%1").arg(applicationTitle.left(20));
}

QString TOnlyOne::SettingsFileName(const fs::path& settingsFile)
{
    return QFile::decodeName(QByteArray::fromStdString(CanonicalSettingsFile(settingsFile)));
}

QString TOnlyOne::ServerName(const QString& applicationTitle, const fs::path& settingsFile)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(CanonicalSettingsFile(settingsFile)),
                                                       QCryptographicHash::Sha1)
                                  .toHex()
                                  .left(16);
    return AtomName(applicationTitle) + QStringLiteral("-%1-").arg(::getuid()) + QString::fromLatin1(digest);
}

TOnlyOne::TOnlyOne(QString serverName, QString mode, QObject* parent)
    : QObject(parent),
      serverName_(std::move(serverName)),
      answer_(mode.toLatin1() + ' ' + QByteArray::number(QCoreApplication::applicationPid()) + '\n')
{
    thread_.setObjectName(QStringLiteral("OnlyOne"));
}

TOnlyOne::~TOnlyOne()
{
    StopListening();
}

bool TOnlyOne::Enforce(bool bringToFront)
{
    if (!EnforceOnlyOne) return true;
    // Listening first settles a start of two at once: the one whose listen fails finds the other.
    bool nameTaken = false;
    if (Listen(nameTaken)) return true;
    const bool answered = AskRunningInstance(bringToFront);
    // The name taken means another instance holds it, whether or not it answered in time. When listening
    // failed otherwise and nobody answers, the guard cannot work, and the program runs rather than refuse.
    return !nameTaken && !answered;
}

QString TOnlyOne::RunningText() const
{
    QStringList known;
    if (!running_.mode.isEmpty()) known << running_.mode;
    if (running_.pid > 0) known << QStringLiteral("PID %1").arg(running_.pid);
    return known.isEmpty() ? QStringLiteral("another instance")
                           : QStringLiteral("another instance (%1)").arg(known.join(QStringLiteral(", ")));
}

bool TOnlyOne::Listen(bool& nameTaken)
{
    // The answering runs on a thread of its own, so that a later start is answered while this instance's
    // thread is busy (starting up, importing).
    thread_.start();
    auto* server = new QLocalServer;
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    server->moveToThread(&thread_);
    server_ = server;
    bool listening = false;
    QMetaObject::invokeMethod(
        server,
        [&] {
            listening = server->listen(serverName_);
            nameTaken = !listening && server->serverError() == QAbstractSocket::AddressInUseError;
        },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        StopListening();
        return false;
    }
    connect(server, &QLocalServer::newConnection, server, [this, server, answer = answer_] {
        while (QLocalSocket* peer = server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QTimer::singleShot(kPeerLifetimeMs, peer, [peer] { peer->abort(); });
            connect(peer, &QLocalSocket::readyRead, peer, [this, server, peer, answer] {
                if (!peer->canReadLine()) {
                    if (peer->bytesAvailable() > kMaxRequest) peer->abort();
                    return;
                }
                const QByteArray request = peer->readLine().trimmed();
                if (request == kStatus || request == kStatusJson) {
                    AnswerStatus(server, peer, request == kStatusJson);
                    return;
                }
                peer->write(answer);
                peer->disconnectFromServer();
                if (request == kBringToFront)
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            if (OnBringToFront) OnBringToFront();
                        },
                        Qt::QueuedConnection);
            });
        }
    });
    return true;
}

void TOnlyOne::AnswerStatus(QLocalServer* server, QLocalSocket* peer, bool json)
{
    // The status names patients: only the instance's own user hears it, whoever can reach the socket.
    ucred credentials{};
    if (!PeerCredentials(peer->socketDescriptor(), credentials) || credentials.uid != ::getuid()) {
        peer->write("refused: another user\n");
        peer->disconnectFromServer();
        return;
    }
    QPointer<QLocalSocket> waiting(peer);
    const QByteArray fallback = answer_;
    // Built on the instance's thread, written back on the answering one; a server gone by then drops it.
    QMetaObject::invokeMethod(
        this,
        [this, server, waiting, json, fallback] {
            const QByteArray text = OnStatus ? OnStatus(json) : fallback;
            QMetaObject::invokeMethod(
                server,
                [waiting, text] {
                    if (waiting.isNull()) return;
                    waiting->write(text);
                    waiting->disconnectFromServer();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

bool TOnlyOne::AskStatus(const QString& serverName, bool json, QByteArray& answer)
{
    answer.clear();
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write((json ? kStatusJson : kStatus) + '\n');
    socket.waitForBytesWritten(kWaitMs);
    // The instance closes the connection after its answer.
    while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(kStatusWaitMs))
        answer += socket.readAll();
    answer += socket.readAll();
    socket.abort();
    return true;
}

void TOnlyOne::StopListening()
{
    if (server_ != nullptr) {
        QLocalServer* server = server_;
        server_ = nullptr;
        QMetaObject::invokeMethod(
            server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    }
    thread_.quit();
    thread_.wait();
}

bool TOnlyOne::AskRunningInstance(bool bringToFront)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kWaitMs)) return false;
    if (ucred credentials{}; PeerCredentials(socket.socketDescriptor(), credentials)) running_.pid = credentials.pid;
    socket.write((bringToFront ? kBringToFront : kWho) + '\n');
    socket.waitForBytesWritten(kWaitMs);
    while (!socket.canReadLine() && socket.waitForReadyRead(kWaitMs)) {
    }
    if (socket.canReadLine()) {
        const QList<QByteArray> words = socket.readLine(kMaxRequest).trimmed().split(' ');
        if (words.size() == 2) {
            running_.mode = QString::fromLatin1(words[0]);
            if (const qint64 pid = words[1].toLongLong(); pid > 0) running_.pid = pid;
        }
    }
    socket.abort();
    return true;
}

}  // namespace halcyra
