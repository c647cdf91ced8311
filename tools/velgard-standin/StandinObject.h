// The automation object of the stand-in data manager: records each call as one JSON line and answers,
// fails or never answers it as told, at once or a fixed delay late.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QFile>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>

class TStandinObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tovarin.Velgard.QuarzelAutoObject")

public:
    // Lines go to `output` (opened by the caller), flushed after each line. With delayMs > 0 every answer
    // (an error too) leaves that much after its call came, in the order the calls came.
    TStandinObject(QFile& output, QSet<QString> failing, QSet<QString> hanging, int delayMs = 0,
                   QObject* parent = nullptr);

    static QStringList MethodNames();

public Q_SLOTS:
    Q_SCRIPTABLE void NotifyDataChanged();
    Q_SCRIPTABLE void SetCollectorState(int source, int state);
    Q_SCRIPTABLE void AddValue(const QString& patientId, const QString& label, const QString& unit, double time,
                               double value);
    Q_SCRIPTABLE void AddDelimiter(int source, const QString& label, const QString& unit, double time, int reserved);

private:
    using TSteadyClock = std::chrono::steady_clock;
    struct TLateAnswer {
        QDBusConnection connection;
        QDBusMessage answer;
        TSteadyClock::time_point due;
    };

    void Record(const QString& method, QJsonObject call);
    void SendDueAnswers();

    QFile& output_;
    QSet<QString> failing_;
    QSet<QString> hanging_;
    std::chrono::milliseconds delay_;
    // In the order the calls came; all wait the same time, so the first is always the next due.
    std::deque<TLateAnswer> late_;
    QTimer lateTimer_;
};
