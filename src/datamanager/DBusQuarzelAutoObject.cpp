#include "datamanager/DBusQuarzelAutoObject.h"

#include "platform/Text.h"

#include <QCoreApplication>
#include <QDBusPendingCall>
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
    // The bus daemon itself answers, so the call timeout is ample.
    const QDBusMessage reply = CallWithTimeout(connection, hasOwner, options.callTimeoutMs);
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

TDBusAnswers::TDBusAnswers(QDBusConnection connection, IDataManagerEvents& events)
    : connection_(std::move(connection)), events_(events)
{
}

void TDBusAnswers::Answered(const QDBusMessage&)
{
    ++delivered_;
    events_.CallAnswered();
}

void TDBusAnswers::Failed(const QDBusError& error, const QDBusMessage&)
{
    ++delivered_;
    // A closed bus fails every call that awaited its answer; say what happened, not what it did to a call.
    if (!connection_.isConnected()) {
        events_.CallFailed(kBusClosedCause, false);
        return;
    }
    events_.CallFailed(Describe(error), IsLate(error));
}

TDBusQuarzelAutoObject::TDBusQuarzelAutoObject(QDBusConnection connection, TDBusLinkOptions options,
                                               IDataManagerEvents& events)
    : connection_(std::move(connection)),
      options_(std::move(options)),
      answers_(std::make_unique<TDBusAnswers>(connection_, events))
{
}

void TDBusQuarzelAutoObject::Call(const QString& method, const QList<QVariant>& arguments)
{
    if (!connection_.isConnected()) throw EDataManagerError(kBusClosedCause);
    QDBusMessage message = QDBusMessage::createMethodCall(options_.service, options_.path, options_.interface, method);
    message.setArguments(arguments);
    // Queued on the connection in call order; the answer, or the timeout's NoReply, comes to answers_.
    if (!connection_.callWithCallback(message, answers_.get(), SLOT(Answered(QDBusMessage)),
                                      SLOT(Failed(QDBusError, QDBusMessage)), options_.callTimeoutMs)) {
        throw EDataManagerError(Describe(connection_.lastError()));
    }
}

void TDBusQuarzelAutoObject::AwaitAnswers(int timeoutMs)
{
    // Only the answers are delivered: no timer, socket or window event of the run is handled meanwhile.
    const std::uint64_t before = answers_->Delivered();
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QCoreApplication::sendPostedEvents(answers_.get());
        if (answers_->Delivered() != before || deadline.hasExpired()) return;
        QThread::msleep(1);
    }
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
        nextRetry_ = 0;
        events_.DataManagerGone(kBusClosedCause);
    }
    if (++nextRetry_ * busCheck_.interval() < factory_.Options().busRetryMs) return;
    nextRetry_ = 0;
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
