// The automation object of the stand-in data manager: records each call as one JSON line and answers,
// fails or never answers it as told.
#pragma once

#include <QDBusContext>
#include <QFile>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>

class TStandinObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tovarin.Velgard.QuarzelAutoObject")

public:
    // Lines go to `output` (opened by the caller), flushed after each line.
    TStandinObject(QFile& output, QSet<QString> failing, QSet<QString> hanging, QObject* parent = nullptr);

    static QStringList MethodNames();

public Q_SLOTS:
    Q_SCRIPTABLE void NotifyDataChanged();
    Q_SCRIPTABLE void SetCollectorState(int source, int state);
    Q_SCRIPTABLE void AddValue(const QString& patientId, const QString& label, const QString& unit, double time,
                               double value);
    Q_SCRIPTABLE void AddDelimiter(int source, const QString& label, const QString& unit, double time, int reserved);

private:
    void Record(const QString& method, QJsonObject call);

    QFile& output_;
    QSet<QString> failing_;
    QSet<QString> hanging_;
};
