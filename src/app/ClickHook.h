// Scripted clicks for screenshots and demonstrations: the buttons named in HALCYRA_CLICK (object names,
// separated by commas) are clicked one after another, a pause apart, in whatever window holds them. A "-"
// instead of a name adds one pause.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

namespace halcyra {

class TClickHook final : public QObject {
    Q_OBJECT
public:
    static constexpr int kPauseMs = 1500;

    explicit TClickHook(QStringList buttonNames, int pauseMs = kPauseMs, QObject* parent = nullptr);

    // The names still to be clicked.
    const QStringList& Pending() const { return pending_; }

private:
    void ClickNext();

    QStringList pending_;
    QTimer timer_;
};

}  // namespace halcyra
