// Every way of ending the run from outside - SIGTERM, SIGINT, the session manager's commit request at the
// end of the session - ends it the same way: the main window closes as at the end of the session, and
// every event loop is left, a modal box's included, so the process ends at once.
#pragma once

#include <functional>

namespace halcyra {

class TRunEnd {
public:
    // endSession closes the main window; exitCode gives the process's exit code at that moment.
    TRunEnd(std::function<void()> endSession, std::function<int()> exitCode);

    // Ends the run; a second call changes nothing.
    void End();
    bool Ending() const { return ending_; }
    int ExitCode() const { return exitCode_; }

private:
    std::function<void()> endSession_;
    std::function<int()> exitCodeOf_;
    bool ending_ = false;
    int exitCode_ = 0;
};

}  // namespace halcyra
