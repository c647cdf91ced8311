#include "app/StatusAnswer.h"

#include "platform/LocalTimes.h"
#include "platform/Text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace halcyra {
namespace {

QJsonValue Text(const std::string& text)
{
    if (text.empty()) return QJsonValue(QJsonValue::Null);
    return QString::fromStdString(Win1252ToUtf8(text));
}

// ISO 8601 with the offset from UTC, so that a reader elsewhere, or after a change of summer time, places it.
QJsonValue Time(TDateTime time)
{
    if (time <= 0) return QJsonValue(QJsonValue::Null);
    TLocalTimes zone;
    return QString::fromStdString(zone.FormatIsoWithOffset(time));
}

QJsonObject HealthJson(const TRunHealth& health)
{
    QJsonArray problems;
    for (const std::string& problem : health.problems) problems.append(QString::fromStdString(Win1252ToUtf8(problem)));
    return QJsonObject{{"ok", health.Ok()}, {"problems", problems}};
}

QJsonObject DataManagerJson(const TDataManagerState& d)
{
    // The cause comes from the bus in UTF-8, not from the stream's code page.
    return QJsonObject{
        {"used", d.used},
        {"connected", d.connected},
        {"since", Time(d.since)},
        {"lastError", d.lastError.empty() ? QJsonValue(QJsonValue::Null) : QString::fromStdString(d.lastError)},
        {"callsFailed", static_cast<qint64>(d.callsFailed)},
        {"backlog", static_cast<qint64>(d.backlog)}};
}

}  // namespace

QByteArray RunStatusJson(const TRunStatus& s)
{
    QJsonObject source{{"kind", s.centralStation ? "central station" : "relay"},
                       {"host", Text(s.host)},
                       {"port", s.port},
                       {"connected", s.connected},
                       {"socketOpen", s.socketOpen},
                       {"socketError", s.socketError == 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(s.socketError)}};
    QJsonArray patients;
    for (const TPatientStatus& p : s.patients)
        patients.append(QJsonObject{{"id", Text(p.id)},
                                    {"name", Text(p.name)},
                                    {"ticked", p.ticked},
                                    {"present", p.present},
                                    {"collecting", p.collecting},
                                    {"waitingUntil", Time(p.waitingUntil)},
                                    {"lastWritten", Time(p.lastPointTime)},
                                    {"pointsWritten", static_cast<qint64>(p.pointsWritten)},
                                    {"file", Text(p.file)},
                                    {"problem", Text(p.problem)},
                                    {"problemCurrent", p.problemCurrent}});
    const QJsonObject root{{"mode", QString::fromStdString(s.mode)},
                           {"pid", static_cast<qint64>(s.pid)},
                           {"time", Time(s.now)},
                           {"health", HealthJson(RunHealth(s))},
                           {"dataSource", source},
                           {"status", QJsonObject{{"code", static_cast<int>(s.status)},
                                                  {"name", QString::fromLatin1(StatusName(s.status))}}},
                           {"intervalSeconds", s.intervalSeconds},
                           {"nextBoundary", Time(s.nextBoundary)},
                           {"messagesReceived", static_cast<qint64>(s.messagesReceived)},
                           {"messagesDropped", static_cast<qint64>(s.messagesDropped)},
                           {"lastMessage", Time(s.lastMessage)},
                           {"pointsWritten", static_cast<qint64>(s.pointsWritten)},
                           {"writesFailed", static_cast<qint64>(s.writesFailed)},
                           {"patientsExpired", static_cast<qint64>(s.patientsExpired)},
                           {"dataManager", DataManagerJson(s.dataManager)},
                           {"patients", patients}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

int StatusExitCode(const QByteArray& answer, bool json)
{
    if (json) {
        const QJsonObject health = QJsonDocument::fromJson(answer).object().value("health").toObject();
        return health.value("ok").toBool() ? 0 : 3;
    }
    return answer.contains("\nHealth: ok\n") ? 0 : 3;
}

QByteArray StatusAnswer(const TRunStatus& status, bool json)
{
    return json ? RunStatusJson(status) : QByteArray::fromStdString(FormatRunStatusText(status));
}

}  // namespace halcyra
