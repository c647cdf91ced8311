#include "app/ServiceRun.h"

#include <QCoreApplication>

#include <utility>

namespace halcyra {

TServiceRun::TServiceRun(const TEngineEnvironment& environment, TServiceNotifier notifier)
    : engine_(environment), clock_(*environment.clock), notifier_(std::move(notifier))
{
    // Boundaries are reached within milliseconds, as in the window.
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
}

void TServiceRun::Start()
{
    engine_.StartUp();
    if (engine_.TerminateRequested()) return;
    engine_.Show();
    timer_.start(engine_.TimerPeriodMs());
    notifier_.Ready(ServiceStatusLine(engine_.RunStatus()));
    Report(true);
}

void TServiceRun::Tick()
{
    engine_.Tick();
    notifier_.Alive(clock_.Monotonic());
    Report(false);
}

void TServiceRun::Report(bool now)
{
    const TMonotonic monotonic = clock_.Monotonic();
    if (!now && reported_ && monotonic - lastReport_ < 1.0) return;
    reported_ = true;
    lastReport_ = monotonic;
    const TRunStatus status = engine_.RunStatus();
    notifier_.Status(ServiceStatusLine(status));
    const std::string idle = IdleReason(status);
    if (idle != idleLogged_ && !idle.empty())
        engine_.AddLogLine("Warning: messages arrive but nothing is written: " + idle, TLogPriority::Warning);
    idleLogged_ = idle;
}

void TServiceRun::End()
{
    if (ended_) return;
    ended_ = true;
    notifier_.Stopping();
    engine_.AddLogLine("Closing application ...");
    timer_.stop();
    engine_.Close();
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace halcyra
