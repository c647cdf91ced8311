#include "app/ImportRunner.h"

#include "app/ImportArrivals.h"
#include "app/RunEngine.h"

#include <set>
#include <stdexcept>

namespace halcyra {
namespace {

// Tick times (seconds) are sums of doubles; a tick this close to a message's time counts as due before it.
constexpr double kSameInstant = 1e-5;

}  // namespace

std::string SummaryLine(const TImportSummary& s)
{
    return "Imported " + std::to_string(s.messages) + " messages: " + std::to_string(s.patients) + " patients, " +
           std::to_string(s.values) + " values written, " + std::to_string(s.delimiters) + " delimiters written";
}

TUnixSeconds TImportRunner::StartUpTime(const TArrivalScan& scan)
{
    return scan.Messages() == 0 ? 0 : scan.Times().First() - 1;
}

template <typename TCall>
void TImportRunner::Guarded(TCall&& call)
{
    // As in the running program, an error that leaves a handler is shown and logged, and the run goes on.
    try {
        call();
    } catch (const std::exception& e) {
        engine_.AddLogLine(e.what());
    }
}

void TImportRunner::RunTicksUpTo(TUnixSeconds t)
{
    for (;;) {
        const TUnixSeconds tick = showTime_ + static_cast<double>(ticksRun_ + 1) * period_;
        if (tick > t + kSameInstant) return;
        ++ticksRun_;
        clock_.Set(tick);
        Guarded([this] { engine_.Tick(); });
    }
}

void TImportRunner::Deliver(const std::string& framed)
{
    // The capture's socket is the engine's central-station socket; the reader takes the bytes from it.
    auto* socket = dynamic_cast<TImportSocket*>(&engine_.CentralStationSocket());
    if (socket == nullptr) throw std::logic_error("the import needs its capture as the central-station socket");
    socket->Push(framed);
    engine_.CentralStationRead();
}

TImportSummary TImportRunner::Run(TCaptureFile& capture, const TArrivalScan& scan)
{
    TImportSummary summary;
    if (scan.Messages() == 0) return summary;
    TArrivalTimes arrivals = scan.Times();
    // No timer runs here: the ticks run on the simulated clock, at the period the settings give.
    engine_.Show();
    period_ = engine_.TimerPeriodMs() / 1000.0;
    TUnixSeconds arrival = arrivals.First();
    showTime_ = arrival - period_;
    clock_.Set(showTime_);

    std::set<std::string> patients;
    std::string framed;
    capture.Rewind();
    // The messages the scan saw, and no more: a capture that grows meanwhile is imported as it was scanned.
    for (std::size_t i = 0; i < scan.Messages(); ++i) {
        const TCaptureFile::TResult read = capture.Next();
        if (read != TCaptureFile::Message) {
            summary.complete = false;
            engine_.AddLogLine("Import: the capture cannot be read on after message " + std::to_string(i) + ": " +
                               (read == TCaptureFile::End ? std::string("it has become shorter") : capture.Error()));
            break;
        }
        arrival = arrivals.Next(capture.Segments());
        RunTicksUpTo(arrival);
        clock_.Set(arrival);
        if (capture.BadEnd()) {
            engine_.AddLogLine("Import: message " + std::to_string(i + 1) + " has no end marker and is skipped");
            continue;
        }
        capture.Segments().Frame(framed);
        Guarded([&] { Deliver(framed); });
        ++summary.messages;
        if (!engine_.Messages().PatientID().empty()) patients.insert(engine_.Messages().PatientID());
    }
    RunTicksUpTo(arrival + period_);
    Guarded([this] {
        if (engine_.Cycle().Status() == csCollecting) engine_.Stop();
    });
    Guarded([this] { engine_.Census().SaveCensus(false); });
    // One sync per file at the end: a crash before it loses no more than the import can write again.
    engine_.MonitorFile().SyncWrittenFiles();
    if (!engine_.DataManager().AwaitOutstanding(kEndAnswerSeconds))
        engine_.AddLogLine("Import: the data manager did not answer every call");

    summary.patients = static_cast<std::int64_t>(patients.size());
    // What the files received: a value handed over for a grid time its series holds already is not.
    summary.values = engine_.MonitorFile().ValuesWritten();
    summary.delimiters = engine_.Cycle().DelimitersWritten();
    return summary;
}

}  // namespace halcyra
