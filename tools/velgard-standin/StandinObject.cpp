#include "StandinObject.h"

#include "platform/DateTime.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QJsonDocument>

TStandinObject::TStandinObject(QFile& output, QSet<QString> failing, QSet<QString> hanging, int delayMs,
                               QObject* parent)
    : QObject(parent), output_(output), failing_(std::move(failing)), hanging_(std::move(hanging)), delay_(delayMs)
{
    lateTimer_.setSingleShot(true);
    lateTimer_.setTimerType(Qt::PreciseTimer);
    connect(&lateTimer_, &QTimer::timeout, this, &TStandinObject::SendDueAnswers);
}

QStringList TStandinObject::MethodNames()
{
    return {QStringLiteral("NotifyDataChanged"), QStringLiteral("SetCollectorState"), QStringLiteral("AddValue"),
            QStringLiteral("AddDelimiter")};
}

namespace {

QString TimeText(double time)
{
    return QString::fromStdString(halcyra::FormatIsoSeconds(time));
}

}  // namespace

void TStandinObject::Record(const QString& method, QJsonObject call)
{
    QString result = QStringLiteral("ok");
    const QString refusal = QStringLiteral("%1 refused by the stand-in").arg(method);
    if (hanging_.contains(method)) {
        // The reply is held back for ever; the caller sees no answer.
        setDelayedReply(true);
        result = QStringLiteral("hang");
    } else if (delay_.count() > 0) {
        setDelayedReply(true);
        const bool refused = failing_.contains(method);
        late_.push_back({connection(),
                         refused ? message().createErrorReply(QDBusError::Failed, refusal) : message().createReply(),
                         TSteadyClock::now() + delay_});
        if (!lateTimer_.isActive()) lateTimer_.start(delay_);
        if (refused) result = QStringLiteral("failed");
    } else if (failing_.contains(method)) {
        sendErrorReply(QDBusError::Failed, refusal);
        result = QStringLiteral("failed");
    }
    call.insert(QStringLiteral("method"), method);
    call.insert(QStringLiteral("result"), result);
    output_.write(QJsonDocument(call).toJson(QJsonDocument::Compact));
    output_.write("\n");
    output_.flush();
}

void TStandinObject::SendDueAnswers()
{
    const auto now = TSteadyClock::now();
    while (!late_.empty() && late_.front().due <= now) {
        late_.front().connection.send(late_.front().answer);
        late_.pop_front();
    }
    if (late_.empty()) return;
    // Rounded up: a timer that fires a little early would find nothing due and spin.
    lateTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(late_.front().due - now));
}

void TStandinObject::NotifyDataChanged()
{
    Record(QStringLiteral("NotifyDataChanged"), {});
}

void TStandinObject::SetCollectorState(int source, int state)
{
    Record(QStringLiteral("SetCollectorState"), {{QStringLiteral("source"), source}, {QStringLiteral("state"), state}});
}

void TStandinObject::AddValue(const QString& patientId, const QString& label, const QString& unit, double time,
                              double value)
{
    Record(QStringLiteral("AddValue"), {{QStringLiteral("patientId"), patientId},
                                        {QStringLiteral("label"), label},
                                        {QStringLiteral("unit"), unit},
                                        {QStringLiteral("time"), time},
                                        {QStringLiteral("timeText"), TimeText(time)},
                                        {QStringLiteral("value"), value}});
}

void TStandinObject::AddDelimiter(int source, const QString& label, const QString& unit, double time, int reserved)
{
    Record(QStringLiteral("AddDelimiter"), {{QStringLiteral("source"), source},
                                            {QStringLiteral("label"), label},
                                            {QStringLiteral("unit"), unit},
                                            {QStringLiteral("time"), time},
                                            {QStringLiteral("timeText"), TimeText(time)},
                                            {QStringLiteral("reserved"), reserved}});
}
