// halcyra --service: the run's engine without a window, its collection timer on the core event loop.
#pragma once

#include "app/RunEngine.h"

#include <QTimer>

namespace halcyra {

class TServiceRun {
public:
    explicit TServiceRun(const TEngineEnvironment& environment);

    // Start-up and the first show; the timer runs from here on.
    void Start();
    // The end of the run (SIGTERM, SIGINT): the collected series are closed and the event loop ends. Once.
    void End();

    TRunEngine& Engine() { return engine_; }

private:
    TRunEngine engine_;
    QTimer timer_;
    bool ended_ = false;
};

}  // namespace halcyra
