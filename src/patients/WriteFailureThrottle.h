// Keeps a failure that hits every patient alike from flooding the log: a read-only data folder would
// otherwise give a line per patient and interval. Failures are grouped by their cause (the system's reason,
// such as "Permission denied"): the first is logged at once, the rest at most once a minute as a count of
// failures and patients, and one more line when the cause clears.
#pragma once

#include "platform/Clock.h"
#include "platform/LogPriority.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TThrottledLine {
    std::string text;
    TLogPriority priority;
    bool operator==(const TThrottledLine&) const = default;
};

// The cause of a failure text: what follows its last ": " ("Permission denied" of "Cannot write X: Permission
// denied"), without a closing bracket; the whole text when it has none.
std::string FailureCause(std::string_view what);

class TWriteFailureThrottle {
public:
    // The shortest time between two lines about one cause.
    static constexpr double kReportSeconds = 60;

    // A write for `patient` failed; `line` is the whole line that tells it. Gives what to log now: the line
    // itself when the cause is new, a count when its last line is a minute old, else nothing.
    std::optional<TThrottledLine> Failed(const std::string& cause, std::string_view patient, const std::string& line,
                                         TMonotonic now);
    // A value of `patient` reached its file: a cause clears once every patient it struck has written again,
    // or when it has not struck for a minute.
    std::vector<TThrottledLine> Written(std::string_view patient, TMonotonic now);

private:
    struct TCause {
        std::string cause;
        std::set<std::string, std::less<>> affected;  // patients still failing
        std::set<std::string, std::less<>> struck;    // every patient it struck
        std::int64_t failures = 0;
        std::int64_t heldBack = 0;  // failures since its last line
        TMonotonic first = 0;
        TMonotonic lastLine = 0;
        TMonotonic lastFailure = 0;
    };
    // A few causes at most: a full disk, a read-only folder, a refused permission.
    std::vector<TCause> causes_;
};

}  // namespace halcyra
