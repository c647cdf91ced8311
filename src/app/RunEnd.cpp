#include "app/RunEnd.h"

#include <QCoreApplication>

namespace halcyra {

TRunEnd::TRunEnd(std::function<void()> endSession, std::function<int()> exitCode)
    : endSession_(std::move(endSession)), exitCodeOf_(std::move(exitCode))
{
}

void TRunEnd::End()
{
    if (ending_) return;
    ending_ = true;
    try {
        if (endSession_) endSession_();
    } catch (...) {
        // The run ends whatever closing the window raised.
    }
    exitCode_ = exitCodeOf_ ? exitCodeOf_() : 0;
    // Leaves every running event loop, modal ones included, and makes any loop started later return at
    // once: a box opened during shutdown cannot hold the process.
    QCoreApplication::exit(exitCode_);
}

}  // namespace halcyra
