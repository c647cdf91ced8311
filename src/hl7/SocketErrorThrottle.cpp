#include "hl7/SocketErrorThrottle.h"

#include "platform/Text.h"

#include <algorithm>

namespace halcyra {

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
