// A central station played by a test on loopback: it listens on 127.0.0.1, can go away and come back on the
// same port, and writes to every client connected to it.
#pragma once

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <vector>

namespace halcyra::test {

class TTestStation {
public:
    bool Listen(quint16 port = 0)
    {
        server_ = std::make_unique<QTcpServer>();
        if (!server_->listen(QHostAddress::LocalHost, port)) return false;
        QObject::connect(server_.get(), &QTcpServer::newConnection, [this] {
            while (QTcpSocket* client = server_->nextPendingConnection()) clients_.push_back(client);
        });
        port_ = server_->serverPort();
        return true;
    }
    quint16 Port() const { return port_; }

    // Gone: the open connections are cut and new ones refused.
    void GoAway()
    {
        for (const QPointer<QTcpSocket>& client : clients_)
            if (client) client->abort();
        clients_.clear();
        server_.reset();
    }

    // To every connected client.
    void Send(const QByteArray& bytes)
    {
        for (const QPointer<QTcpSocket>& client : clients_) {
            if (!client || client->state() != QAbstractSocket::ConnectedState) continue;
            client->write(bytes);
            client->flush();
        }
    }

    // The second piece follows after a pause, so that the reader sees the message incomplete first.
    void SendInTwoPieces(const QByteArray& message, int gapMs)
    {
        const qsizetype half = message.size() / 2;
        for (const QByteArray& piece : {message.left(half), message.mid(half)}) {
            Send(piece);
            QTest::qWait(gapMs);
        }
    }

private:
    std::unique_ptr<QTcpServer> server_;
    std::vector<QPointer<QTcpSocket>> clients_;
    quint16 port_ = 0;
};

}  // namespace halcyra::test
