// halcyra --import FILE: plays a captured stream through the running program on a simulated clock, so
// the patient files come out as the program would have written them live.
#pragma once

#include "app/ImportArrivals.h"
#include "app/ImportClock.h"
#include "hl7/CaptureFile.h"
#include "hl7/ClientSocket.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace halcyra {

class TRunEngine;

// The capture plays the central-station connection: open for the whole import, nothing to open, and the
// bytes of each message handed over as they would have arrived.
class TImportSocket final : public IClientSocket {
public:
    bool IsOpen() const override { return true; }
    void Close() override {}
    void Push(const std::string& bytes) { pending_ += bytes; }
    std::size_t BytesAvailable() const override { return pending_.size(); }
    std::string ReadAvailable() override { return std::exchange(pending_, std::string()); }
    std::string RemoteHost() const override { return "capture"; }
    std::string RemoteAddress() const override { return {}; }

private:
    std::string pending_;
};

struct TImportSummary {
    std::int64_t messages = 0;
    std::int64_t patients = 0;
    std::int64_t values = 0;
    std::int64_t delimiters = 0;
    bool complete = true;  // false when the capture could not be read to its end
};

std::string SummaryLine(const TImportSummary& summary);

class TImportRunner {
public:
    // `clock` is the clock the engine was created with; its central-station socket is a TImportSocket.
    TImportRunner(TRunEngine& engine, TImportClock& clock) : engine_(engine), clock_(clock) {}

    // The instant start-up runs at, before the timer period is known.
    static TUnixSeconds StartUpTime(const TArrivalScan& scan);

    // Shows the run one timer period before the first arrival, runs every tick due before each message,
    // hands each message to the reader, runs the ticks up to one period after the last, stops collecting
    // and saves the census. The capture is read from its first message, one message at a time; `scan` has
    // seen all of them. A capture that fails part-way ends the import where it failed (Error() says why).
    TImportSummary Run(TCaptureFile& capture, const TArrivalScan& scan);

private:
    void RunTicksUpTo(TUnixSeconds t);
    void Deliver(const std::string& framed);
    template <typename TCall>
    void Guarded(TCall&& call);

    TRunEngine& engine_;
    TImportClock& clock_;
    TUnixSeconds showTime_ = 0;
    double period_ = 1;  // seconds
    std::int64_t ticksRun_ = 0;
};

}  // namespace halcyra
