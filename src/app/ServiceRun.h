// halcyra --service: the run's engine without a window, its collection timer on the core event loop, telling
// the service manager how it runs.
#pragma once

#include "app/RunEngine.h"
#include "app/ServiceNotifier.h"

#include <QTimer>

#include <string>

namespace halcyra {

class TServiceRun {
public:
    TServiceRun(const TEngineEnvironment& environment, TServiceNotifier notifier);

    // Start-up and the first show; the timer runs from here on, and the service manager hears it is ready.
    void Start();
    // One timer tick: the engine's, then what the service manager and the log hear of it.
    void Tick();
    // The end of the run (SIGTERM, SIGINT, SIGHUP): the collected series are closed and the event loop ends.
    // Once.
    void End();

    TRunEngine& Engine() { return engine_; }

private:
    // The state in a few words for the manager, and once per cause a warning when the run receives but
    // cannot write; at most once a second, whatever the timer's period.
    void Report(bool now);

    TRunEngine engine_;
    const IClock& clock_;
    TServiceNotifier notifier_;
    QTimer timer_;
    bool ended_ = false;
    bool reported_ = false;
    TMonotonic lastReport_ = 0;
    std::string idleLogged_;
};

}  // namespace halcyra
