#include "patients/WriteFailureThrottle.h"

#include "platform/Text.h"

#include <algorithm>

namespace halcyra {
namespace {

std::string Patients(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " patient" : " patients");
}

std::string Times(std::int64_t n)
{
    return std::to_string(n) + (n == 1 ? " time" : " times");
}

std::string Writes(std::int64_t n)
{
    return std::to_string(n) + (n == 1 ? " write" : " writes");
}

}  // namespace

std::string FailureCause(std::string_view what)
{
    std::string_view cause = what;
    const std::size_t colon = what.rfind(": ");
    if (colon != std::string_view::npos) cause = what.substr(colon + 2);
    while (!cause.empty() && (cause.back() == ')' || cause.back() == ' ')) cause.remove_suffix(1);
    return std::string(cause);
}

std::optional<TThrottledLine> TWriteFailureThrottle::Failed(const std::string& cause, std::string_view patient,
                                                            const std::string& line, TMonotonic now)
{
    auto found = std::find_if(causes_.begin(), causes_.end(), [&](const TCause& c) { return c.cause == cause; });
    if (found == causes_.end()) {
        TCause added;
        added.cause = cause;
        added.affected.emplace(patient);
        added.struck.emplace(patient);
        added.failures = 1;
        added.first = added.lastLine = added.lastFailure = now;
        causes_.push_back(std::move(added));
        return TThrottledLine{line + " (further failures of this cause are counted once a minute)",
                              TLogPriority::Error};
    }
    TCause& c = *found;
    c.affected.emplace(patient);
    c.struck.emplace(patient);
    ++c.failures;
    ++c.heldBack;
    c.lastFailure = now;
    // A millisecond's grace: a minute counted in whole intervals must not miss its line by a rounding.
    if (now - c.lastLine < kReportSeconds - 0.001) return std::nullopt;
    const std::int64_t held = c.heldBack;
    const TMonotonic since = c.lastLine;
    c.heldBack = 0;
    c.lastLine = now;
    return TThrottledLine{"Values are not written (" + cause + "): " + Times(held) + " for " +
                              Patients(c.affected.size()) + " in the last " + DurationText(now - since),
                          TLogPriority::Warning};
}

std::vector<TThrottledLine> TWriteFailureThrottle::Written(std::string_view patient, TMonotonic now)
{
    std::vector<TThrottledLine> lines;
    for (auto c = causes_.begin(); c != causes_.end();) {
        const auto mine = c->affected.find(patient);
        if (mine != c->affected.end()) c->affected.erase(mine);
        if (!c->affected.empty() && now - c->lastFailure < kReportSeconds) {
            ++c;
            continue;
        }
        // Worded as news, not as a failure: the line tells that the trouble is over.
        lines.push_back({"Values are written again (" + c->cause + " cleared): " + Writes(c->failures) + " of " +
                             Patients(c->struck.size()) + (c->failures == 1 ? " was" : " were") + " lost in " +
                             DurationText(now - c->first),
                         TLogPriority::Info});
        c = causes_.erase(c);
    }
    return lines;
}

}  // namespace halcyra
