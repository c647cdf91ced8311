// The data manager's automation object on the D-Bus session bus. Calls are hand-built messages sent
// without waiting, in order, on one connection (no introspection, which can stall on a hanging peer). The
// bus connection's own thread receives the answers; the caller collects them when it looks, so an answer
// costs the caller no wake-up of its own. A watch follows the data manager's name and the bus itself.
#pragma once

#include "datamanager/IVelgard_TLB.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <limits>
#include <memory>
#include <vector>

class QDBusServiceWatcher;

namespace halcyra {

// libdbus's "no timeout".
inline constexpr int kNoCallTimeout = std::numeric_limits<int>::max();

struct TDBusLinkOptions {
    QString service = QStringLiteral("com.tovarin.Velgard");
    QString path = QStringLiteral("/QuarzelAutoObject");
    QString interface = QStringLiteral("com.tovarin.Velgard.QuarzelAutoObject");
    // Longest wait for the answer to one call of the run; no answer in that time is a failure. None by
    // default: the link times its calls on its tick, which spares the bus thread a timer per call.
    int callTimeoutMs = kNoCallTimeout;
    // Longest wait for an answer of the bus itself at start-up.
    int busTimeoutMs = 5000;
    // Calls are gathered this long and sent together: the bus thread wakes once for them, not once each.
    int batchMs = 100;
    // A batch this large is sent at once.
    std::size_t batchCalls = 256;
    // Longest wait for the bus to start an activatable data manager.
    int createTimeoutMs = 10000;
    // How often a lost bus is looked for again.
    int busRetryMs = 5000;
};

// Said of a connection the bus closed.
inline constexpr const char* kBusClosedCause = "the D-Bus session bus closed the connection";

// Sends `message` and waits at most timeoutMs for the answer, for start-up only. Throws EDataManagerError
// for an error answer, no answer or no bus.
QDBusMessage CallWithTimeout(const QDBusConnection& connection, const QDBusMessage& message, int timeoutMs);

class TDBusQuarzelAutoObject : public IQuarzelAutoObject {
public:
    TDBusQuarzelAutoObject(QDBusConnection connection, TDBusLinkOptions options, IDataManagerEvents& events);

    void NotifyDataChanged() override;
    void SetCollectorState(std::int32_t source, std::int32_t state) override;
    void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                  double value) override;
    void AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit, double time,
                      std::int32_t reserved) override;
    void DeliverAnswers() override;
    void AwaitAnswers(int timeoutMs) override;

private:
    void Call(const QString& method, const QList<QVariant>& arguments);
    // Sends the gathered calls, in order.
    void Flush();
    // Hands on the answers at the front that have come; the number handed on.
    std::size_t Deliver();

    QDBusConnection connection_;
    TDBusLinkOptions options_;
    IDataManagerEvents& events_;
    // The calls gathered for the next batch, in order.
    std::vector<QDBusMessage> unsent_;
    QTimer batch_;
    // The calls sent, oldest first, until their answers are handed on.
    std::deque<QDBusPendingCall> pending_;
};

class TDBusDataManagerLinkFactory;

// Follows the data manager's name (a new owner: it started again) and the bus (closed, then back).
class TDBusDataManagerWatch : public QObject, public IDataManagerWatch {
    Q_OBJECT
public:
    TDBusDataManagerWatch(TDBusDataManagerLinkFactory& factory, IDataManagerEvents& events);
    ~TDBusDataManagerWatch() override;

private Q_SLOTS:
    void OwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);
    void CheckBus();

private:
    void WatchName();

    TDBusDataManagerLinkFactory& factory_;
    IDataManagerEvents& events_;
    std::unique_ptr<QDBusServiceWatcher> names_;
    QTimer busCheck_;
    bool busLost_ = false;
    int checksSinceRetry_ = 0;  // of a lost bus
};

// CoQuarzelAutoObject: creating the object succeeds when the service has an owner on the bus, or when
// the bus can start it (it is then started, waiting at most createTimeoutMs).
class TDBusDataManagerLinkFactory : public IDataManagerLinkFactory {
public:
    explicit TDBusDataManagerLinkFactory(QDBusConnection connection = QDBusConnection::sessionBus(),
                                         TDBusLinkOptions options = {});
    std::unique_ptr<IQuarzelAutoObject> Create(IDataManagerEvents& events) override;
    std::unique_ptr<IQuarzelAutoObject> CreateAgain(IDataManagerEvents& events) override;
    std::unique_ptr<IDataManagerWatch> Watch(IDataManagerEvents& events) override;

    const QDBusConnection& Connection() const { return connection_; }
    const TDBusLinkOptions& Options() const { return options_; }
    // A new connection to the session bus after the old one closed; true when it is connected.
    bool Reconnect();

private:
    QDBusConnection connection_;
    TDBusLinkOptions options_;
    int reconnections_ = 0;
};

}  // namespace halcyra
