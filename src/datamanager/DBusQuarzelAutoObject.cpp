#include "datamanager/DBusQuarzelAutoObject.h"

#include "platform/Text.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingCall>
#include <QDBusPendingReply>

#include <string>

namespace halcyra {

namespace {

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const QString kBusInterface = QStringLiteral("org.freedesktop.DBus");

QString ToWire(std::string_view text)
{
    return QString::fromStdString(Win1252ToUtf8(text));
}

std::string Describe(const QDBusError& error)
{
    return (error.name() + QStringLiteral(": ") + error.message()).toStdString();
}

QDBusMessage BusCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, method);
}

}  // namespace

QDBusMessage CallWithTimeout(const QDBusConnection& connection, const QDBusMessage& message, int timeoutMs)
{
    if (!connection.isConnected()) {
        throw EDataManagerError("no D-Bus session bus: " + Describe(connection.lastError()));
    }
    QDBusPendingCall pending = connection.asyncCall(message, timeoutMs);
    // The bus connection's own thread delivers the answer or, after timeoutMs, a NoReply error; this
    // thread only waits and processes no events meanwhile.
    pending.waitForFinished();
    if (!pending.isFinished()) throw EDataManagerTimeout("no answer from the data manager");
    const QDBusMessage reply = pending.reply();
    if (reply.type() == QDBusMessage::ReplyMessage) return reply;
    const QDBusError error = pending.error();
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout ||
        error.type() == QDBusError::TimedOut) {
        throw EDataManagerTimeout(Describe(error));
    }
    throw EDataManagerError(error.isValid() ? Describe(error) : std::string("no answer from the data manager"));
}

TDBusQuarzelAutoObject::TDBusQuarzelAutoObject(QDBusConnection connection, TDBusLinkOptions options)
    : connection_(std::move(connection)), options_(std::move(options))
{
}

void TDBusQuarzelAutoObject::Call(const QString& method, const QList<QVariant>& arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(options_.service, options_.path, options_.interface, method);
    message.setArguments(arguments);
    CallWithTimeout(connection_, message, options_.callTimeoutMs);
}

void TDBusQuarzelAutoObject::NotifyDataChanged()
{
    Call(QStringLiteral("NotifyDataChanged"), {});
}

void TDBusQuarzelAutoObject::SetCollectorState(std::int32_t source, std::int32_t state)
{
    // Argument types must match the signature exactly: int for "i", double for "d".
    Call(QStringLiteral("SetCollectorState"), {QVariant::fromValue<int>(source), QVariant::fromValue<int>(state)});
}

void TDBusQuarzelAutoObject::AddValue(std::string_view patientId, std::string_view label, std::string_view unit,
                                      double time, double value)
{
    Call(QStringLiteral("AddValue"), {ToWire(patientId), ToWire(label), ToWire(unit), QVariant::fromValue<double>(time),
                                      QVariant::fromValue<double>(value)});
}

void TDBusQuarzelAutoObject::AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit,
                                          double time, std::int32_t reserved)
{
    Call(QStringLiteral("AddDelimiter"), {QVariant::fromValue<int>(source), ToWire(label), ToWire(unit),
                                          QVariant::fromValue<double>(time), QVariant::fromValue<int>(reserved)});
}

TDBusDataManagerLinkFactory::TDBusDataManagerLinkFactory(QDBusConnection connection, TDBusLinkOptions options)
    : connection_(std::move(connection)), options_(std::move(options))
{
}

std::unique_ptr<IQuarzelAutoObject> TDBusDataManagerLinkFactory::Create()
{
    // The data manager lives in the user's session; a shell or a system service has no session bus.
    if (!connection_.isConnected()) {
        throw EDataManagerError(
            "there is no D-Bus session bus (" + Describe(connection_.lastError()) +
            "), so the data manager cannot be reached. Run Halcyra in the user's session or as a user service "
            "(systemctl --user start halcyra), or give NOVELGARD to run without the data manager");
    }
    // The bus daemon itself answers these, so the call timeout is ample.
    QDBusMessage hasOwner = BusCall(QStringLiteral("NameHasOwner"));
    hasOwner.setArguments({options_.service});
    const QDBusMessage ownerReply = CallWithTimeout(connection_, hasOwner, options_.callTimeoutMs);
    const bool available = !ownerReply.arguments().isEmpty() && ownerReply.arguments().first().toBool();

    if (!available) {
        const QDBusMessage activatable =
            CallWithTimeout(connection_, BusCall(QStringLiteral("ListActivatableNames")), options_.callTimeoutMs);
        const QStringList names =
            activatable.arguments().isEmpty() ? QStringList() : activatable.arguments().first().toStringList();
        if (!names.contains(options_.service)) {
            throw EDataManagerError("the data manager " + options_.service.toStdString() +
                                    " is neither running nor installed on the session bus");
        }
        QDBusMessage start = BusCall(QStringLiteral("StartServiceByName"));
        start.setArguments({options_.service, QVariant::fromValue<uint>(0)});
        CallWithTimeout(connection_, start, options_.createTimeoutMs);
    }
    return std::make_unique<TDBusQuarzelAutoObject>(connection_, options_);
}

}  // namespace halcyra
