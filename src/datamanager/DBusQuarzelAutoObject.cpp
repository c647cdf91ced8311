#include "datamanager/DBusQuarzelAutoObject.h"

#include "platform/Text.h"

#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QThread>

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
    if (!error.isValid()) return "no answer from the data manager";
    return (error.name() + QStringLiteral(": ") + error.message()).toStdString();
}

bool IsLate(const QDBusError& error)
{
    return error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout ||
           error.type() == QDBusError::TimedOut;
}

QDBusMessage BusCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kBusService, kBusPath, kBusInterface, method);
}

bool NameHasOwner(const QDBusConnection& connection, const TDBusLinkOptions& options)
{
    QDBusMessage hasOwner = BusCall(QStringLiteral("NameHasOwner"));
    hasOwner.setArguments({options.service});
    const QDBusMessage reply = CallWithTimeout(connection, hasOwner, options.busTimeoutMs);
    return !reply.arguments().isEmpty() && reply.arguments().first().toBool();
}

}  // namespace

QDBusMessage CallWithTimeout(const QDBusConnection& connection, const QDBusMessage& message, int timeoutMs)
{
    if (!connection.isConnected()) throw EDataManagerError(kBusClosedCause);
    QDBusPendingCall pending = connection.asyncCall(message, timeoutMs);
    // The bus connection's own thread delivers the answer or, after timeoutMs, a NoReply error; this
    // thread only waits and processes no events meanwhile.
    pending.waitForFinished();
    if (!pending.isFinished()) throw EDataManagerError("no answer from the data manager");
    const QDBusMessage reply = pending.reply();
    if (reply.type() == QDBusMessage::ReplyMessage) return reply;
    throw EDataManagerError(Describe(pending.error()));
}

TDBusQuarzelAutoObject::TDBusQuarzelAutoObject(QDBusConnection connection, TDBusLinkOptions options,
                                               IDataManagerEvents& events)
    : connection_(std::move(connection)), options_(std::move(options)), events_(events)
{
    batch_.setSingleShot(true);
    batch_.callOnTimeout([this] { Flush(); });
}

void TDBusQuarzelAutoObject::Call(const QString& method, const QList<QVariant>& arguments)
{
    if (!connection_.isConnected()) throw EDataManagerError(kBusClosedCause);
    QDBusMessage message = QDBusMessage::createMethodCall(options_.service, options_.path, options_.interface, method);
    message.setArguments(arguments);
    unsent_.push_back(std::move(message));
    if (unsent_.size() >= options_.batchCalls)
        Flush();
    else if (!batch_.isActive())
        batch_.start(options_.batchMs);
}

void TDBusQuarzelAutoObject::Flush()
{
    batch_.stop();
    // Queued on the connection in call order; the bus thread takes the answer, or the timeout's NoReply.
    for (const QDBusMessage& message : unsent_)
        pending_.push_back(connection_.asyncCall(message, options_.callTimeoutMs));
    unsent_.clear();
}

std::size_t TDBusQuarzelAutoObject::Deliver()
{
    std::size_t delivered = 0;
    // In call order: an answer that came early waits for those of the calls before it.
    while (!pending_.empty() && pending_.front().isFinished()) {
        const QDBusPendingCall call = pending_.front();
        pending_.pop_front();
        ++delivered;
        if (!call.isError()) {
            events_.CallAnswered();
        } else if (!connection_.isConnected()) {
            // A closed bus fails every call that awaited its answer; say what happened, not what it did.
            events_.CallFailed(kBusClosedCause, false);
        } else {
            events_.CallFailed(Describe(call.error()), IsLate(call.error()));
        }
    }
    return delivered;
}

void TDBusQuarzelAutoObject::DeliverAnswers()
{
    Deliver();
}

void TDBusQuarzelAutoObject::AwaitAnswers(int timeoutMs)
{
    // The bus thread takes the answers; nothing of the run's own is handled meanwhile.
    Flush();
    const QDeadlineTimer deadline(timeoutMs);
    while (!pending_.empty() && Deliver() == 0 && !deadline.hasExpired()) QThread::msleep(1);
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

TDBusDataManagerWatch::TDBusDataManagerWatch(TDBusDataManagerLinkFactory& factory, IDataManagerEvents& events)
    : factory_(factory), events_(events)
{
    WatchName();
    connect(&busCheck_, &QTimer::timeout, this, &TDBusDataManagerWatch::CheckBus);
    busCheck_.start(1000);
}

TDBusDataManagerWatch::~TDBusDataManagerWatch() = default;

void TDBusDataManagerWatch::WatchName()
{
    names_ = std::make_unique<QDBusServiceWatcher>(factory_.Options().service, factory_.Connection(),
                                                   QDBusServiceWatcher::WatchForOwnerChange);
    connect(names_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this, &TDBusDataManagerWatch::OwnerChanged);
}

void TDBusDataManagerWatch::OwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    if (newOwner.isEmpty())
        events_.DataManagerGone("the data manager left the D-Bus session bus");
    else
        events_.DataManagerAppeared();
}

void TDBusDataManagerWatch::CheckBus()
{
    if (!busLost_) {
        if (factory_.Connection().isConnected()) return;
        busLost_ = true;
        checksSinceRetry_ = 0;
        events_.DataManagerGone(kBusClosedCause);
    }
    if (++checksSinceRetry_ * busCheck_.interval() < factory_.Options().busRetryMs) return;
    checksSinceRetry_ = 0;
    if (!factory_.Reconnect()) return;
    busLost_ = false;
    WatchName();
    try {
        if (NameHasOwner(factory_.Connection(), factory_.Options())) events_.DataManagerAppeared();
    } catch (const EDataManagerError&) {
        // The name watch reports the data manager when it comes.
    }
}

TDBusDataManagerLinkFactory::TDBusDataManagerLinkFactory(QDBusConnection connection, TDBusLinkOptions options)
    : connection_(std::move(connection)), options_(std::move(options))
{
}

bool TDBusDataManagerLinkFactory::Reconnect()
{
    QDBusConnection next = QDBusConnection::connectToBus(
        QDBusConnection::SessionBus, QStringLiteral("halcyra-session-bus-%1").arg(++reconnections_));
    if (!next.isConnected()) {
        QDBusConnection::disconnectFromBus(next.name());
        return false;
    }
    connection_ = next;
    return true;
}

std::unique_ptr<IQuarzelAutoObject> TDBusDataManagerLinkFactory::Create(IDataManagerEvents& events)
{
    // The data manager lives in the user's session; a shell or a system service has no session bus.
    if (!connection_.isConnected()) {
        throw EDataManagerError(
            "there is no D-Bus session bus (" + Describe(connection_.lastError()) +
            "), so the data manager cannot be reached. Run Halcyra in the user's session or as a user service "
            "(systemctl --user start halcyra), or give NOVELGARD to run without the data manager");
    }
    if (!NameHasOwner(connection_, options_)) {
        const QDBusMessage activatable =
            CallWithTimeout(connection_, BusCall(QStringLiteral("ListActivatableNames")), options_.busTimeoutMs);
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
    return CreateAgain(events);
}

std::unique_ptr<IQuarzelAutoObject> TDBusDataManagerLinkFactory::CreateAgain(IDataManagerEvents& events)
{
    return std::make_unique<TDBusQuarzelAutoObject>(connection_, options_, events);
}

std::unique_ptr<IDataManagerWatch> TDBusDataManagerLinkFactory::Watch(IDataManagerEvents& events)
{
    return std::make_unique<TDBusDataManagerWatch>(*this, events);
}

}  // namespace halcyra
