// What the service tells its service manager (systemd's notify protocol): ready once start-up is done, its
// state in a few words whenever that changes, that it is alive on every tick when a watchdog is armed, and
// that it is stopping. Outside a service manager (no NOTIFY_SOCKET) every message goes nowhere.
#pragma once

#include "platform/Clock.h"

#include <functional>
#include <string>

namespace halcyra {

class TServiceNotifier {
public:
    // send: hands one notification ("READY=1", "STATUS=...") to the manager. watchdogSeconds: the manager's
    // watchdog period, 0 when none is armed.
    TServiceNotifier(std::function<void(const std::string&)> send, double watchdogSeconds);
    // The process's own: sd_notify and the watchdog period the manager gave (WATCHDOG_USEC, WATCHDOG_PID).
    static TServiceNotifier ForThisProcess();

    void Ready(const std::string& status);
    // Sent only when it changed.
    void Status(const std::string& status);
    // From the timer tick: a loop that stops ticking stops these, and the manager restarts the service.
    // Sent at a quarter of the watchdog period, so a late tick or two does not count as stuck.
    void Alive(TMonotonic now);
    void Stopping();

    double WatchdogSeconds() const { return watchdogSeconds_; }

private:
    void Send(const std::string& message) const;

    std::function<void(const std::string&)> send_;
    double watchdogSeconds_ = 0;
    std::string status_;
    bool aliveSent_ = false;
    TMonotonic lastAlive_ = 0;
};

}  // namespace halcyra
