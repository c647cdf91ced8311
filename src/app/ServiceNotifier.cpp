#include "app/ServiceNotifier.h"

#include <systemd/sd-daemon.h>

#include <cstdint>
#include <utility>

namespace halcyra {

TServiceNotifier::TServiceNotifier(std::function<void(const std::string&)> send, double watchdogSeconds)
    : send_(std::move(send)), watchdogSeconds_(watchdogSeconds)
{
}

TServiceNotifier TServiceNotifier::ForThisProcess()
{
    std::uint64_t usec = 0;
    // Positive only when the watchdog is armed for this very process.
    const double watchdog = sd_watchdog_enabled(0, &usec) > 0 ? static_cast<double>(usec) / 1e6 : 0.0;
    return TServiceNotifier([](const std::string& message) { sd_notify(0, message.c_str()); }, watchdog);
}

void TServiceNotifier::Send(const std::string& message) const
{
    if (send_) send_(message);
}

void TServiceNotifier::Ready(const std::string& status)
{
    status_ = status;
    Send("READY=1\nSTATUS=" + status);
}

void TServiceNotifier::Status(const std::string& status)
{
    if (status == status_) return;
    status_ = status;
    Send("STATUS=" + status);
}

void TServiceNotifier::Alive(TMonotonic now)
{
    if (watchdogSeconds_ <= 0) return;
    if (aliveSent_ && now - lastAlive_ < watchdogSeconds_ / 4) return;
    aliveSent_ = true;
    lastAlive_ = now;
    Send("WATCHDOG=1");
}

void TServiceNotifier::Stopping()
{
    Send("STOPPING=1\nSTATUS=stopping: closing the collected series");
}

}  // namespace halcyra
