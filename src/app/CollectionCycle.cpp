#include "app/CollectionCycle.h"

#include "settings/SettingsTable.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <set>

namespace halcyra {
namespace {

constexpr double kLifetickTimeoutSeconds = 126;
constexpr double kLifeTickEverySeconds = 60;
constexpr double kCensusSaveEverySeconds = 3600;
// A wall clock that moves this much more or less than the monotonic clock between two ticks was set: a time
// server slews smaller differences, and the timer never fires that late without the monotonic clock
// seeing it.
constexpr double kClockStepTolerance = 2.0;
// How early a tick or a message may come and still reach the interval boundary: the timer fires to the
// millisecond, but its clock and the one the boundary was taken from are read at different moments. A
// message that arrives this little before the boundary counts for the new interval, and that changes no
// written time: message times carry whole seconds and a boundary on the grid lies less than a second after
// its grid time, so such a message rounds to the new interval's grid time, where the first message after
// the boundary would have been written, never to the time the ending interval has written already.
constexpr double kBoundaryReach = 5 * kOneMillisecond;
constexpr std::int64_t kElapsedOnOverflow = 1000;

// "1 h 0 min", "30 s", "2 min 5 s": how far the clock moved, for the log.
std::string StepText(double seconds)
{
    const auto total = static_cast<std::int64_t>(std::llround(std::fabs(seconds)));
    const std::int64_t hours = total / 3600;
    const std::int64_t minutes = total % 3600 / 60;
    const std::int64_t rest = total % 60;
    if (hours > 0) return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
    if (minutes > 0) return std::to_string(minutes) + " min " + std::to_string(rest) + " s";
    return std::to_string(rest) + " s";
}

}  // namespace

TCollectionCycle::TCollectionCycle(const TParts& parts)
    : clock_(parts.clock),
      store_(parts.settings),
      log_(parts.log),
      params_(parts.params),
      dataManager_(parts.dataManager),
      view_(parts.view),
      targets_(parts.targets),
      centralStation_(parts.centralStation)
{
}

TCycleSettings ReadCycleSettings(TSettingsStore& store)
{
    TCycleSettings settings;
    settings.autoStart = store.ReadRegBool(setting::AutoStart);
    settings.autoHide = store.ReadRegBool(setting::AutoHide);
    settings.useHalcyraSettings = store.ReadRegBool(setting::UseHalcyraSettings);
    settings.relayPort = static_cast<std::uint16_t>(store.ReadRegInteger(setting::ClientSocketPort));
    return settings;
}

void TCollectionCycle::FirstShow(std::int32_t collectIntervalSeconds)
{
    interval_.SetSeconds(collectIntervalSeconds);
    centralStationTimeout_ = interval_.CentralStationTimeout();
    status_ = csNotConnected;
}

void TCollectionCycle::SetStatus(TCollectStatus status)
{
    ApplyStatus(status, ControlsForStatus(status));
}

void TCollectionCycle::SetStatusInBackground(TCollectStatus status)
{
    TStatusControls controls = ControlsForStatus(status);
    controls.showWindow = false;
    ApplyStatus(status, controls);
}

void TCollectionCycle::ApplyStatus(TCollectStatus status, const TStatusControls& controls)
{
    view_.ApplyStatusControls(controls);
    // A fall to "Not Connected" disabled the button; collection goes on only with parameters chosen.
    if (status == csCollecting && !view_.ParametersButtonEnabled()) view_.EnableParametersButton();
    if (IsDisconnected(status)) {
        // Collection ends with the link: its series are closed while the rows still say who was collected.
        // The tick or read that found the loss holds the re-entrancy flag, which must not stop this write.
        if (status_ == csCollecting) WriteDelimitersOf(targets_.PatientRows());
        targets_.DisablePatientRows();
    }
    // Falling to "Not Connected" is a lost link; the status applied again at a show is no news.
    const bool lost = IsDisconnected(status) && !IsDisconnected(status_);
    log_.AddLogLine(StatusLogLine(status), lost ? TLogPriority::Error : TLogPriority::Info);
    if (status != status_) {
        // Sent when the link is on, kept for a data manager that comes back when it is not.
        dataManager_.CollectStatusChanged(status);
        status_ = status;
        lastStatusChange_ = clock_.Monotonic();
    }
}

void TCollectionCycle::Start()
{
    TParameters& parameters = params_.Parameters();
    parameters.SetAllCollected();
    if (params_.CollectedCount() < 1 && !params_.Automatic()) throw ECollectError(std::string(kNoParametersSelected));
    parameters.ClearCollected(params_.ExcludedParams());
    SetStatus(csCollecting);
    const TDateTime now = clock_.Now();
    lastCollectInstant_ = now - 1;
    // The first call gives the unaligned boundary; storing it as both boundaries makes the second align.
    interval_.SetNextBoundary(interval_.NextCollectTime(false, now));
    interval_.SetPreviousBoundary(interval_.NextBoundary());
    interval_.SetNextBoundary(interval_.NextCollectTime(true, now));
    dataManager_.StartCollecting();
}

void TCollectionCycle::Stop()
{
    WriteStopDelimiters();
    SetStatus(csConnected);
    SaveChangedCensus();
}

void TCollectionCycle::SaveChangedCensus()
{
    if (targets_.CensusChanged()) targets_.SaveCensus();
}

void TCollectionCycle::Tick()
{
    TBusyGuard guard(*this);
    if (!guard) return;
    const TDateTime now = clock_.Now();
    const TMonotonic monotonic = clock_.Monotonic();
    FollowClock(now, monotonic);

    if ((params_.CollectedCount() > 0 || params_.Automatic()) && status_ == csConnected) {
        if (!view_.ParametersButtonEnabled()) view_.EnableParametersButton();
        if (settings_.autoStart && observationsSeen_) {
            settings_.autoStart = false;
            Start();
            if (settings_.autoHide) view_.HideWindow();
        }
    }
    CheckConnectionLoss(monotonic);
    if (targets_.CensusChanged() || monotonic - targets_.LastCensusSave() > kCensusSaveEverySeconds)
        targets_.SaveCensus();
    if (status_ == csCollecting) MoveBoundary(now);
    if (monotonic - relay_->LastRelaySend() > kLifeTickEverySeconds) relay_->SendLifeTick();
    SuperviseDataSource(monotonic);
}

void TCollectionCycle::FollowClock(TDateTime now, TMonotonic monotonic)
{
    const bool first = !clockRead_;
    const double elapsed = monotonic - lastClockMonotonic_;
    const TDateTime expected = lastClockWall_ + elapsed * kOneSecond;
    clockRead_ = true;
    lastClockWall_ = now;
    lastClockMonotonic_ = monotonic;
    if (first) return;
    const double step = (now - expected) * 86400.0;
    if (std::fabs(step) <= kClockStepTolerance) return;
    ++clockSteps_;
    log_.AddLogLine(std::string("Clock set ") + (step < 0 ? "back" : "forward") + " by " + StepText(step) + " at " +
                    FormatDateTime("hh:nn:ss", expected) + "; boundaries follow the clock");
    if (step > 0) return;
    heldBackLogged_ = false;
    // The points written may lie ahead of the clock now. Each collected series is closed, so the gap shows;
    // the files take no value before a series' last point.
    if (status_ == csCollecting) WriteDelimitersOf(targets_.PatientRows());
}

void TCollectionCycle::ValuesHeldBack(TDateTime until)
{
    if (heldBackLogged_) return;
    heldBackLogged_ = true;
    const TDateTime now = clock_.Now();
    log_.AddLogLine("Values are held back for " + StepText(std::max(0.0, (until - now) * 86400.0)) +
                    ", until the clock passes " + FormatDateTime("hh:nn:ss", until) +
                    ": the files hold later points, and a series never runs back in time nor holds a local "
                    "time twice");
}

std::int64_t TCollectionCycle::SecondsSinceStatusChange(TMonotonic now) const
{
    const double seconds = std::round(now - lastStatusChange_);
    if (!std::isfinite(seconds) || std::fabs(seconds) > std::numeric_limits<std::int32_t>::max())
        return kElapsedOnOverflow;
    return static_cast<std::int64_t>(seconds);
}

void TCollectionCycle::CheckConnectionLoss(TMonotonic now)
{
    const std::int64_t elapsed = SecondsSinceStatusChange(now);
    // Whatever the socket's state: a station that stays connected but sends nothing, or a connect that never
    // completes, delivers no data either.
    if (centralStationTimeout_ < elapsed) {
        lastStatusChange_ = now;
        if (status_ == csConnected)
            SetStatus(csNotConnected);
        else if (status_ == csCollecting)
            SetStatus(csConnectionLost);
    }
    if (status_ == csCollecting && !view_.TrayIconVisible()) {
        try {
            view_.ShowTrayIcon();
        } catch (const std::exception& e) {
            log_.AddLogLine(std::string("IconVisible:= True -> ") + e.what());
        }
    }
}

void TCollectionCycle::MoveBoundary(TDateTime now)
{
    FollowClockBack(now);
    const TDateTime next = interval_.NextBoundary();
    std::string text;
    if (settings_.useHalcyraSettings) {
        text = std::string(kCentralStationSettingsText) + " " + DateTimeToStr(lastCompleteMessage_);
    } else {
        // A tick that comes after the boundary shows nothing left rather than a negative time.
        const std::int64_t remaining = std::max<std::int64_t>(0, RoundHalfEven((next - now) * 86400.0));
        text = FormatShortClock(static_cast<double>(remaining) * kOneSecond);
    }
    if (view_.CountdownText() != text) view_.SetCountdownText(text);
    CrossBoundary(now);
}

void TCollectionCycle::CrossReachedBoundary()
{
    if (status_ == csCollecting && !heldMessages_) CrossBoundary(clock_.Now());
}

double TCollectionCycle::ReadHoldSeconds() const
{
    if (status_ != csCollecting && status_ != csConnectionLost) return kReadHoldSeconds;
    const double toBoundary = (interval_.NextBoundary() - clock_.Now()) * 86400.0;
    return std::clamp(toBoundary, 0.0, kReadHoldSeconds);
}

void TCollectionCycle::FollowClockBack(TDateTime now)
{
    const TDateTime next = interval_.NextBoundary();
    const double step = interval_.Seconds() * kOneSecond;
    if (next - now <= step + kBoundaryReach) return;
    // The clock went back: the boundary returns to the last of its grid the clock has not reached, so the
    // intervals follow the clock rather than waiting for it to catch up.
    const TDateTime back = next - std::floor((next - now - kBoundaryReach) / step) * step;
    interval_.SetNextBoundary(back);
    interval_.SetPreviousBoundary(back - step);
}

void TCollectionCycle::CrossBoundary(TDateTime now)
{
    FollowClockBack(now);
    const TDateTime next = interval_.NextBoundary();
    const double step = interval_.Seconds() * kOneSecond;
    if (now < next - kBoundaryReach) return;
    lastCollectInstant_ = now;
    view_.SetTrayHint(std::string(kCollectingHint) + " ( " + FormatShortClock(lastCollectInstant_) + ")");
    ClearSavedMarks();
    // After an outage the boundary may lie several intervals behind the clock. It moves to the last boundary
    // of its grid that the clock has reached in one step, so the marks are cleared once: clearing them for
    // every interval missed would let the messages of the next seconds all count as first ones.
    const double missed = std::floor((now + kBoundaryReach - next) / step);
    const TDateTime reached = next + missed * step;
    interval_.SetNextBoundary(reached);
    interval_.SetNextBoundary(interval_.NextCollectTime(true, reached));
}

bool TCollectionCycle::DataSourceIsCentralStation()
{
    // Read on every use, so that a change made in the settings dialog takes effect at once.
    return store_.ReadRegBool(setting::DataSourceIsCentralStation);
}

void TCollectionCycle::SuperviseDataSource(TMonotonic now)
{
    if (DataSourceIsCentralStation()) {
        // A connect in progress keeps its chance until the timeout, counted from Connect, has passed.
        const bool closed = !centralStation_.IsOpen() && !centralStation_.IsConnecting();
        if (closed || now - lastReceivedData_ > centralStationTimeout_) Connect();
        view_.SetNoNetworkVisible(false);
        return;
    }
    if (relay_->ClientConnected() && now - relay_->LastLifeTickReceived() > kLifetickTimeoutSeconds) {
        view_.ShowConnectionWarning(std::string(kLifetickMissing));
        relay_->CloseClient();
    }
    const bool connected = relay_->ClientConnected();
    view_.SetNoNetworkVisible(!connected);
    if (!connected && --reconnectCountdown_ < 0) Connect();
}

void TCollectionCycle::Connect()
{
    lastReceivedData_ = clock_.Monotonic();
    const bool isAddress = store_.ReadRegBool(setting::IsAddress);
    const std::string host = store_.ReadRegString(setting::IPString);
    const bool centralStation = DataSourceIsCentralStation();
    centralStation_.Close();
    if (relayClient_ != nullptr) relayClient_->Close();
    IClientSocket* chosen = centralStation ? &centralStation_ : relayClient_;
    const int port = centralStation ? kCentralStationPort : settings_.relayPort;
    connectTarget_ = TConnectTarget{centralStation, host, chosen != nullptr ? chosen->PortFor(port) : port};
    if (chosen != nullptr) {
        try {
            chosen->Open(host, isAddress, port);
        } catch (const std::exception& e) {
            // The tick retries; the reason is still worth a line.
            log_.AddLogLine(std::string("Connect: ") + e.what());
        }
    }
    reconnectCountdown_ = kRelayReconnectTicks;
}

void TCollectionCycle::CollectIntervalChanged(std::int32_t seconds)
{
    interval_.SetSeconds(seconds);
    interval_.SetNextBoundary(interval_.NextCollectTime(false, interval_.PreviousBoundary()));
    centralStationTimeout_ = interval_.CentralStationTimeout();
}

void TCollectionCycle::WriteStopDelimiters()
{
    if (busy_) return;
    WriteDelimitersOf(targets_.PatientRows());
}

void TCollectionCycle::WritePatientStopDelimiters(const std::string& patientID, const std::string& firstName,
                                                  const std::string& lastName)
{
    if (busy_ || status_ != csCollecting) return;
    TCensusRowState row;
    row.patientID = patientID;
    row.firstName = firstName;
    row.lastName = lastName;
    row.ticked = true;
    row.enabled = true;
    WriteDelimitersOf({row});
}

void TCollectionCycle::WriteDelimitersOf(const std::vector<TCensusRowState>& rows)
{
    if (writingDelimiters_) return;
    // Nothing written since start-up: there is no series to close, and no sound time to close it at.
    const TDateTime lastWritten = targets_.LastWrittenTime();
    if (lastWritten == 0) return;
    struct TWriting {
        explicit TWriting(bool& flag) : flag_(flag) { flag_ = true; }
        ~TWriting() { flag_ = false; }
        TWriting(const TWriting&) = delete;
        TWriting& operator=(const TWriting&) = delete;
        bool& flag_;
    } writing(writingDelimiters_);
    // No tick or read runs inside the write; a caller that holds the flag keeps it.
    TBusyGuard hold(*this);
    for (const TCensusRowState& row : rows) {
        if (!(row.ticked && row.enabled)) continue;
        const std::string name = row.firstName + " " + row.lastName;
        if (!targets_.OpenPatientMonitorFile(row.patientID, name)) continue;
        WritePatientDelimiters(lastWritten);
    }
}

void TCollectionCycle::WritePatientDelimiters(TDateTime after)
{
    const bool all = params_.Automatic();
    struct TWritten {
        std::string label;
        std::string unit;
        TDateTime time;
    };
    std::vector<TWritten> written;
    const auto close = [&](const std::string& label, const std::string& unit) {
        const std::optional<TDateTime> time = targets_.AppendDelimiter(label, unit, after);
        if (!time) return;
        ++delimitersWritten_;
        written.push_back({label, unit, *time});
    };
    try {
        std::set<std::string, std::less<>> registered;
        for (const TParameter& parameter : params_.Parameters()) {
            registered.insert(parameter.Label());
            if (all || parameter.Collected()) close(parameter.Label(), parameter.Unit());
        }
        // Labels the full parameter table did not take were written all the same: their series close too.
        for (const TSeriesName& series : targets_.UnclosedSeries())
            if (registered.count(series.label) == 0 && (all || !params_.IsExcluded(series.label)))
                close(series.label, series.unit);
    } catch (const std::exception& e) {
        // The patient's remaining series stay open; the next patient still gets its delimiters.
        log_.AddLogLine(std::string("Stop delimiters: ") + e.what());
    }
    // The data manager hears of the delimiters once they are on disk, with one sync for the patient's file.
    if (written.empty() || !dataManager_.LinkEnabled() || !targets_.MakeDurable()) return;
    for (const TWritten& w : written) dataManager_.AddDelimiter(w.label, w.unit, w.time);
}

}  // namespace halcyra
