// The data manager's automation object on the D-Bus session bus. Calls are sent as hand-built messages
// and waited for with a timeout, without running the event loop (so no timer tick or socket reader runs
// inside a call) and without introspecting the peer (which can stall on a hanging one).
#pragma once

#include "datamanager/IVelgard_TLB.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

#include <memory>

namespace halcyra {

struct TDBusLinkOptions {
    QString service = QStringLiteral("com.tovarin.Velgard");
    QString path = QStringLiteral("/QuarzelAutoObject");
    QString interface = QStringLiteral("com.tovarin.Velgard.QuarzelAutoObject");
    // Longest wait for the answer to one call; no answer in that time is a failure.
    int callTimeoutMs = 2000;
    // Longest wait for the bus to start an activatable data manager.
    int createTimeoutMs = 10000;
};

// Sends `message` and waits at most timeoutMs for the answer. Throws EDataManagerTimeout when none came,
// EDataManagerError for an error answer or no bus.
QDBusMessage CallWithTimeout(const QDBusConnection& connection, const QDBusMessage& message, int timeoutMs);

class TDBusQuarzelAutoObject : public IQuarzelAutoObject {
public:
    TDBusQuarzelAutoObject(QDBusConnection connection, TDBusLinkOptions options);

    void NotifyDataChanged() override;
    void SetCollectorState(std::int32_t source, std::int32_t state) override;
    void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                  double value) override;
    void AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit, double time,
                      std::int32_t reserved) override;

private:
    void Call(const QString& method, const QList<QVariant>& arguments);

    QDBusConnection connection_;
    TDBusLinkOptions options_;
};

// CoQuarzelAutoObject: creating the object succeeds when the service has an owner on the bus, or when
// the bus can start it (it is then started, waiting at most createTimeoutMs).
class TDBusDataManagerLinkFactory : public IDataManagerLinkFactory {
public:
    explicit TDBusDataManagerLinkFactory(QDBusConnection connection = QDBusConnection::sessionBus(),
                                         TDBusLinkOptions options = {});
    std::unique_ptr<IQuarzelAutoObject> Create() override;

private:
    QDBusConnection connection_;
    TDBusLinkOptions options_;
};

}  // namespace halcyra
