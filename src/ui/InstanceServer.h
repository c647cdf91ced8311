// The socket file on which the running instance is asked how it runs or to come to the front, and the
// asking end. Both ends check who is on the other side as the kernel tells it: the server serves its own
// user only, and an asker believes only its own user or root. The server keeps no more than a few peers,
// each for a short while, so that no number of connections takes its descriptors or its answers away, and
// it opens its socket again whenever it fails.
#pragma once

#include "platform/Clock.h"

#include <QByteArray>
#include <QObject>

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>

class QLocalSocket;
class QSocketNotifier;
class QTimer;

namespace halcyra {

struct TPeerCredentials {
    uid_t uid = 0;
    pid_t pid = 0;
};
// Who is on the other end of a connected local socket; false when it cannot be told.
using TPeerCheck = std::function<bool(int fd, TPeerCredentials& peer)>;
// SO_PEERCRED: the process that connected, or for an asker the one that listens.
bool KernelPeerCredentials(int fd, TPeerCredentials& peer);

class TInstanceServer final : public QObject {
    Q_OBJECT
public:
    struct TLimits {
        int peers = 16;             // served at a time; further ones are closed at once
        double requestSeconds = 2;  // to send the request line
        double answerSeconds = 15;  // to be answered and gone: a status is built on a thread that may be busy
        int tickMs = 500;           // 0: no timer, whoever drives the server calls Tick()
    };
    using TLog = std::function<void(const std::string&)>;

    // Lives on the thread it is used on; `log` is called there.
    TInstanceServer(std::string socketPath, const IClock& clock, TPeerCheck check, TLog log);
    TInstanceServer(std::string socketPath, const IClock& clock, TPeerCheck check, TLog log, TLimits limits);
    ~TInstanceServer() override;

    // Listens on the socket file, replacing whatever lies there (only the lock's holder opens it). A failure
    // is logged once; the next Tick() tries again.
    bool Open();
    // Ends peers past their time, resumes accepting after a descriptor shortage, and opens the socket again
    // when it failed or its file is gone.
    void Tick();
    bool Listening() const { return fd_ >= 0; }
    int Peers() const { return static_cast<int>(peers_.size()); }

    // A request line of a peer of this user; answer it with Reply().
    std::function<void(quint64 peer, const QByteArray& request)> OnRequest;
    // Writes `text` to the peer and closes it; callable from any thread. A peer gone by then is skipped.
    void Reply(quint64 peer, const QByteArray& text);

private:
    struct TPeer {
        QLocalSocket* socket = nullptr;
        double requestBy = 0;
        double goneBy = 0;
        bool asked = false;
    };

    void Accept();
    void Read(quint64 id);
    void Drop(quint64 id, bool abort);
    void Close();
    // One line per episode of trouble, and one when it is over.
    void Trouble(const std::string& text);
    void TroubleOver();

    std::string path_;
    const IClock& clock_;
    TPeerCheck check_;
    TLog log_;
    TLimits limits_;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    bool paused_ = false;
    QTimer* timer_ = nullptr;
    std::map<quint64, TPeer> peers_;
    quint64 nextId_ = 1;
    bool trouble_ = false;
    bool strangerLogged_ = false;
};

// What the instance behind a socket file said.
struct TInstanceAnswer {
    enum TResult {
        Answered,    // connected to a peer of this user or root; `text` is what it wrote before closing
        NotReached,  // nothing listens there (or not in time)
        OtherUser,   // a process of another user listens there: nothing was sent to it
    };
    TResult result = NotReached;
    QByteArray text;
    TPeerCredentials peer;  // as the kernel tells it
};

// Sends `request` (a line) and reads until the instance closes the connection or `answerMs` pass.
TInstanceAnswer AskInstance(const std::string& socketPath, const QByteArray& request, int connectMs, int answerMs,
                            const TPeerCheck& check);

}  // namespace halcyra
