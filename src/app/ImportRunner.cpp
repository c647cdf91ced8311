#include "app/ImportRunner.h"

#include "app/ImportArrivals.h"
#include "app/RunEngine.h"

#include <QFile>

#include <set>
#include <stdexcept>

namespace halcyra {
namespace {

// Tick times are sums of doubles; a tick this close to a message's time counts as due before it.
constexpr double kSameInstant = 1e-9;

}  // namespace

bool ReadCapture(const std::string& path, TCapturedStream& stream, std::string& error)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString().toStdString();
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString().toStdString();
        return false;
    }
    stream = SplitCapturedStream(std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    return true;
}

std::string SummaryLine(const TImportSummary& s)
{
    return "Imported " + std::to_string(s.messages) + " messages: " + std::to_string(s.patients) + " patients, " +
           std::to_string(s.values) + " values written, " + std::to_string(s.delimiters) + " delimiters written";
}

TDateTime TImportRunner::StartUpTime(const std::vector<TDateTime>& arrivals)
{
    return arrivals.empty() ? 0 : arrivals.front() - kOneSecond;
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

void TImportRunner::RunTicksUpTo(TDateTime t)
{
    for (;;) {
        const TDateTime tick = showTime_ + static_cast<double>(ticksRun_ + 1) * period_;
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

TImportSummary TImportRunner::Run(const TCapturedStream& stream, const std::vector<TDateTime>& arrivals)
{
    TImportSummary summary;
    if (stream.messages.empty()) return summary;
    // No timer runs here: the ticks run on the simulated clock, at the period the settings give.
    engine_.Show();
    period_ = engine_.TimerPeriodMs() * kOneMillisecond;
    showTime_ = arrivals.front() - period_;
    clock_.Set(showTime_);

    std::set<std::string> patients;
    for (std::size_t i = 0; i < stream.messages.size(); ++i) {
        const TCapturedMessage& message = stream.messages[i];
        RunTicksUpTo(arrivals[i]);
        clock_.Set(arrivals[i]);
        if (message.badEnd) {
            engine_.AddLogLine("Import: message " + std::to_string(i + 1) + " has no end marker and is skipped");
            continue;
        }
        Guarded([&] { Deliver(FrameMessage(message.segments)); });
        ++summary.messages;
        if (!engine_.Messages().PatientID().empty()) patients.insert(engine_.Messages().PatientID());
    }
    RunTicksUpTo(arrivals.back() + period_);
    Guarded([this] {
        if (engine_.Cycle().Status() == csCollecting) engine_.Stop();
    });
    Guarded([this] { engine_.Census().SaveCensus(false); });

    summary.patients = static_cast<std::int64_t>(patients.size());
    // What the files received: a value handed over for a grid time its series holds already is not.
    summary.values = engine_.MonitorFile().ValuesWritten();
    summary.delimiters = engine_.Cycle().DelimitersWritten();
    return summary;
}

}  // namespace halcyra
