// Keeps a data source that keeps failing from filling the log: a station that refuses every connect would
// otherwise give one line a second. An error is logged the first time; its repeats (same number, same peer)
// at most once a minute, as a count; and one more line when a connection succeeds again.
#pragma once

#include "platform/Clock.h"
#include "platform/LogPriority.h"

#include <optional>
#include <string>
#include <vector>

namespace halcyra {

struct TSocketErrorReport {
    std::string text;
    TLogPriority priority;
    bool operator==(const TSocketErrorReport&) const = default;
};

class TSocketErrorThrottle {
public:
    // The shortest time between two lines about one error.
    static constexpr double kReportSeconds = 60;

    // An error of the connection to `peer`; `text` is its whole line. Gives what to log now, if anything:
    // the error itself when it is new or its last line is a minute old with nothing held back since, else
    // a count of the repeats held back, once a minute.
    std::optional<TSocketErrorReport> Error(int windowsSocketsError, const std::string& peer, const std::string& text,
                                            TMonotonic now);
    // A connection succeeded: one line for each error seen since the last success, with its count.
    std::vector<TSocketErrorReport> Cleared(TMonotonic now);

private:
    struct TRun {
        int error = 0;
        std::string peer;
        std::string text;  // the latest
        long long count = 0;
        long long heldBack = 0;  // repeats since the last line
        TMonotonic first = 0;
        TMonotonic lastLine = 0;
    };
    // In the order the errors first came; a connection has few kinds of error.
    std::vector<TRun> runs_;
};

}  // namespace halcyra
