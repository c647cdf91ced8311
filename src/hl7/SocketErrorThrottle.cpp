#include "hl7/SocketErrorThrottle.h"

#include <algorithm>
#include <cmath>

namespace halcyra {
namespace {

// "12 s", "5 min 3 s", "2 h 4 min": how long, for a person.
std::string DurationText(double seconds)
{
    const auto s = static_cast<long long>(std::llround(std::max(0.0, seconds)));
    if (s < 120) return std::to_string(s) + " s";
    if (s < 7200) return std::to_string(s / 60) + " min" + (s % 60 != 0 ? " " + std::to_string(s % 60) + " s" : "");
    return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
}

}  // namespace

std::optional<TSocketErrorReport> TSocketErrorThrottle::Error(int windowsSocketsError, const std::string& peer,
                                                              const std::string& text, TMonotonic now)
{
    const auto run = std::find_if(runs_.begin(), runs_.end(),
                                  [&](const TRun& r) { return r.error == windowsSocketsError && r.peer == peer; });
    if (run == runs_.end()) {
        runs_.push_back(TRun{windowsSocketsError, peer, text, 1, 0, now, now});
        return TSocketErrorReport{text, TLogPriority::Error};
    }
    ++run->count;
    run->text = text;
    if (now - run->lastLine < kReportSeconds) {
        ++run->heldBack;
        return std::nullopt;
    }
    const TMonotonic since = run->lastLine;
    run->lastLine = now;
    // Errors more than a minute apart are each worth their own line.
    if (run->heldBack == 0) return TSocketErrorReport{text, TLogPriority::Error};
    const long long repeats = run->heldBack + 1;
    run->heldBack = 0;
    return TSocketErrorReport{
        text + " repeated " + std::to_string(repeats) + " times in the last " + DurationText(now - since),
        TLogPriority::Warning};
}

std::vector<TSocketErrorReport> TSocketErrorThrottle::Cleared(TMonotonic now)
{
    std::vector<TSocketErrorReport> reports;
    for (const TRun& run : runs_)
        reports.push_back({run.text + " cleared after " + std::to_string(run.count) +
                               (run.count == 1 ? " error" : " errors") + " in " + DurationText(now - run.first),
                           TLogPriority::Info});
    runs_.clear();
    return reports;
}

}  // namespace halcyra
