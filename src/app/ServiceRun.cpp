#include "app/ServiceRun.h"

#include <QCoreApplication>

namespace halcyra {

TServiceRun::TServiceRun(const TEngineEnvironment& environment) : engine_(environment)
{
    // Boundaries are reached within milliseconds, as in the window.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { engine_.Tick(); });
}

void TServiceRun::Start()
{
    engine_.StartUp();
    if (engine_.TerminateRequested()) return;
    engine_.Show();
    timer_.start(engine_.TimerPeriodMs());
}

void TServiceRun::End()
{
    if (ended_) return;
    ended_ = true;
    engine_.AddLogLine("Closing application ...");
    timer_.stop();
    engine_.Close();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace halcyra
