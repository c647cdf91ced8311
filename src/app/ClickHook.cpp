#include "app/ClickHook.h"

#include <QAbstractButton>
#include <QApplication>

#include <cstdio>

namespace halcyra {

TClickHook::TClickHook(QStringList buttonNames, int pauseMs, QObject* parent)
    : QObject(parent), pending_(std::move(buttonNames))
{
    timer_.setInterval(pauseMs);
    connect(&timer_, &QTimer::timeout, this, [this] { ClickNext(); });
    if (!pending_.isEmpty()) timer_.start();
}

void TClickHook::ClickNext()
{
    const QString name = pending_.takeFirst().trimmed();
    if (pending_.isEmpty()) timer_.stop();
    if (name == QLatin1String("-")) return;
    for (QWidget* widget : QApplication::allWidgets()) {
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (button == nullptr || button->objectName() != name || !button->isVisible() || !button->isEnabled()) continue;
        // Queued: a button that opens a modal dialog must not hold this timer's slot while it is open.
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
        return;
    }
    std::fprintf(stderr, "halcyra: HALCYRA_CLICK: no visible enabled button named %s\n", qPrintable(name));
}

}  // namespace halcyra
