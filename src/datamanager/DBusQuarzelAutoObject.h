// The data manager's automation object on the D-Bus session bus. Calls are hand-built messages sent
// without waiting, in order, on one connection (no introspection, which can stall on a hanging peer);
// their answers arrive through the event loop. A watch follows the data manager's name and the bus itself.
#pragma once

#include "datamanager/IVelgard_TLB.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QDBusServiceWatcher;

namespace halcyra {

struct TDBusLinkOptions {
    QString service = QStringLiteral("com.tovarin.Velgard");
    QString path = QStringLiteral("/QuarzelAutoObject");
    QString interface = QStringLiteral("com.tovarin.Velgard.QuarzelAutoObject");
    // Longest wait for the answer to one call; no answer in that time is a failure.
    int callTimeoutMs = 5000;
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

// Receives the answers of one object's calls and hands them on; destroyed with the object, so later
// answers go nowhere.
class TDBusAnswers : public QObject {
    Q_OBJECT
public:
    TDBusAnswers(QDBusConnection connection, IDataManagerEvents& events);
    // Answers delivered so far.
    std::uint64_t Delivered() const { return delivered_; }

public Q_SLOTS:
    void Answered(const QDBusMessage& reply);
    void Failed(const QDBusError& error, const QDBusMessage& call);

private:
    QDBusConnection connection_;
    IDataManagerEvents& events_;
    std::uint64_t delivered_ = 0;
};

class TDBusQuarzelAutoObject : public IQuarzelAutoObject {
public:
    TDBusQuarzelAutoObject(QDBusConnection connection, TDBusLinkOptions options, IDataManagerEvents& events);

    void NotifyDataChanged() override;
    void SetCollectorState(std::int32_t source, std::int32_t state) override;
    void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                  double value) override;
    void AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit, double time,
                      std::int32_t reserved) override;
    void AwaitAnswers(int timeoutMs) override;

private:
    void Call(const QString& method, const QList<QVariant>& arguments);

    QDBusConnection connection_;
    TDBusLinkOptions options_;
    std::unique_ptr<TDBusAnswers> answers_;
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
    qint64 nextRetry_ = 0;
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
