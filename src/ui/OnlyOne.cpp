#include "ui/OnlyOne.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace halcyra {
namespace {

constexpr int kConnectWaitMs = 2000;
const QByteArray kBringToFront = "front\n";

}  // namespace

QString TOnlyOne::AtomName(const QString& applicationTitle)
{
    return QStringLiteral("OnlyOne%1").arg(applicationTitle.left(20));
}

QString TOnlyOne::ServerName(const QString& applicationTitle, const QString& settingsFile)
{
    const QByteArray digest =
        QCryptographicHash::hash(settingsFile.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return AtomName(applicationTitle) + QStringLiteral("-%1-").arg(::getuid()) + QString::fromLatin1(digest);
}

TOnlyOne::TOnlyOne(QString serverName, QObject* parent) : QObject(parent), serverName_(std::move(serverName)) {}

TOnlyOne::~TOnlyOne() = default;

bool TOnlyOne::Enforce()
{
    if (!EnforceOnlyOne) return true;
    if (AskRunningInstance()) return false;
    if (Listen()) return true;
    // Two instances started at once: the one that lost the name asks the other.
    if (AskRunningInstance()) return false;
    // The name is held by something that does not answer: run rather than refuse to start.
    return true;
}

bool TOnlyOne::AskRunningInstance()
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(serverName_);
    if (!socket.waitForConnected(kConnectWaitMs)) return false;
    socket.write(kBringToFront);
    socket.waitForBytesWritten(kConnectWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool TOnlyOne::Listen()
{
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!server_->listen(serverName_)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (!peer->readAll().contains('\n')) return;
                peer->disconnectFromServer();
                if (OnBringToFront) OnBringToFront();
            });
        }
    });
    return true;
}

}  // namespace halcyra
