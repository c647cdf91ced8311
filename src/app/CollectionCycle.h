// The collection cycle: the status, Start and Stop, the timer tick with its interval boundaries and
// supervision of the data source, the per-patient marks of the current interval, and the delimiters that
// close the collected series. Plain C++: the window, the service, the import and tests drive the same one.
#pragma once

#include "app/CollectInterval.h"
#include "app/CollectStatus.h"
#include "app/CollectTargets.h"
#include "app/CollectView.h"
#include "app/SavedData.h"
#include "datamanager/DataManagerLink.h"
#include "hl7/ClientSocket.h"
#include "hl7/MessageCycle.h"
#include "params/ParameterModel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "relay/RelaySupervision.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

inline constexpr std::uint16_t kCentralStationPort = 8000;
inline constexpr std::string_view kNoParametersSelected = "No parameters selected";
inline constexpr std::string_view kLifetickMissing = "Expected lifetick is missing";
inline constexpr std::string_view kCentralStationSettingsText = "Central Station Settings";
inline constexpr int kRelayReconnectTicks = 10;
// How long a data-source socket keeps its arrivals after a read: a steady stream wakes the program once per
// hold instead of once per message, and no value is written later than this for it.
inline constexpr double kReadHoldSeconds = 0.1;

// Raised by Start when nothing would be collected.
class ECollectError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The start-up settings the cycle acts on.
// Where the last connect went: the central station or another instance's relay, host and port.
struct TConnectTarget {
    bool centralStation = true;
    std::string host;
    int port = 0;
};

struct TCycleSettings {
    bool autoStart = false;  // cleared after its first use, so it fires once per run
    bool autoHide = false;
    bool useHalcyraSettings = false;
    std::uint16_t relayPort = 13999;
};

// "AutoStart", "AutoHide", "UseHalcyraSettings" and "ClientSocketPort" as the settings give them.
TCycleSettings ReadCycleSettings(TSettingsStore& store);

class TCollectionCycle final : public IMessageCycle {
public:
    struct TParts {
        const IClock& clock;
        TSettingsStore& settings;
        TLog& log;
        TParameterModel& params;
        TDataManagerLink& dataManager;
        ICollectView& view;
        ICollectTargets& targets;
        IClientSocket& centralStation;
    };

    explicit TCollectionCycle(const TParts& parts);

    // The relay seams; without them there is no relay.
    void SetRelay(IRelaySupervision* relay) { relay_ = relay != nullptr ? relay : &noRelay_; }
    void SetRelayClientSocket(IClientSocket* socket) { relayClient_ = socket; }

    TCycleSettings& Settings() { return settings_; }
    // The first show of the run: the collect interval in force and the timeout it gives.
    void FirstShow(std::int32_t collectIntervalSeconds);
    // Every show re-applies the current status.
    void ReapplyStatus() { SetStatus(status_); }

    TCollectStatus Status() const override { return status_; }
    // Applies the status. Falling from collecting to 0 or 3 first closes the series of the ticked, present
    // patients (also inside the tick or a read that holds the re-entrancy flag), then disables the rows.
    void SetStatus(TCollectStatus status) override;
    void SetStatusInBackground(TCollectStatus status) override;

    // Start and Stop as the buttons do them. Start raises ECollectError "No parameters selected".
    void Start();
    // Stop also saves what messages changed in the census since the last tick.
    void Stop();
    void SaveChangedCensus();
    // The timer tick.
    void Tick();
    // While collecting: when the clock has reached the next boundary, the interval it opens begins now (the
    // marks are cleared and the boundary moves on), as the tick would do it. For a message header, so that
    // the first message after a boundary is the interval's first whenever the tick comes.
    void CrossReachedBoundary() override;
    // How long the socket may hold its arrivals now: kReadHoldSeconds, but never past the next boundary
    // while collecting, so that a held message is never handled in the interval after the one it came in.
    double ReadHoldSeconds() const;
    // While set, CrossReachedBoundary leaves the boundary to the tick or to the first message after the hold.
    void SetHeldMessages(bool held) { heldMessages_ = held; }
    // Closes the collected series of the ticked, present patients (Stop and the end of the run). Does
    // nothing while a tick, a read or another delimiter write runs.
    void WriteStopDelimiters();
    // Closes the collected series of one patient whose row was just unticked, while collecting. Outside
    // collection there is nothing open to close: Stop or the loss of the connection closed it.
    void WritePatientStopDelimiters(const std::string& patientID, const std::string& firstName,
                                    const std::string& lastName);
    // (Re)opens the socket of the configured data source.
    void Connect();
    // The target of the last Connect (port 0 before the first).
    const TConnectTarget& ConnectTarget() const { return connectTarget_; }
    // After the collect-interval dialog: the next boundary follows the previous one by the new interval.
    void CollectIntervalChanged(std::int32_t seconds);

    // The re-entrancy flag shared by the tick, the socket readers and WriteStopDelimiters.
    bool Busy() const { return busy_; }
    // For a reader that holds the flag across its own steps.
    void SetBusy(bool busy) { busy_ = busy; }
    class TBusyGuard {
    public:
        explicit TBusyGuard(TCollectionCycle& cycle) : cycle_(cycle), entered_(!cycle.busy_) { cycle_.busy_ = true; }
        ~TBusyGuard()
        {
            if (entered_) cycle_.busy_ = false;
        }
        TBusyGuard(const TBusyGuard&) = delete;
        TBusyGuard& operator=(const TBusyGuard&) = delete;
        // False when the flag was already set: the caller must do nothing.
        explicit operator bool() const { return entered_; }

    private:
        TCollectionCycle& cycle_;
        bool entered_;
    };

    // The readers' bookkeeping, on the monotonic clock: bytes taken from the connection, and a complete
    // message cut from them.
    void DataReceived() { DataReceived(clock_.Monotonic()); }
    void DataReceived(TMonotonic now) { lastReceivedData_ = now; }
    void CompleteMessageReceived() { CompleteMessageReceived(clock_.Monotonic()); }
    // A message may be the first to meet a clock that was set: the step is seen before its values are.
    void CompleteMessageReceived(TMonotonic now)
    {
        lastStatusChange_ = now;
        lastCompleteMessage_ = clock_.Now();
        FollowClock(lastCompleteMessage_, now);
    }
    // A complete message from the relay server: it keeps the connection-loss check quiet, but it is not a
    // message of the central station.
    void RelayMessageReceived(TMonotonic now)
    {
        lastStatusChange_ = now;
        FollowClock(clock_.Now(), now);
    }

    // The per-patient marks of the current interval.
    bool IsNotYetSaved(std::string_view patientID, std::string_view patientName) override
    {
        return savedData_.IsNotYetSaved(patientID, patientName);
    }
    void MarkSaved(std::string_view patientID, std::string_view patientName, bool mark) override
    {
        savedData_.MarkSaved(patientID, patientName, mark);
    }
    void ClearSavedMarks() { savedData_.ClearSavedMarks(); }
    const TSavedDataList& SavedData() const { return savedData_; }

    TCollectInterval& Interval() { return interval_; }
    const TCollectInterval& Interval() const { return interval_; }
    TDateTime AlignToInterval(TDateTime t) const override { return interval_.AlignToInterval(t); }
    bool UseHalcyraSettings() const override { return settings_.useHalcyraSettings; }
    std::int32_t CentralStationTimeout() const { return centralStationTimeout_; }

    bool ObservationsSeen() const { return observationsSeen_; }
    void SetObservationsSeen() override { observationsSeen_ = true; }
    void DataChanged() override { dataManager_.NotifyDataChanged(); }

    // Monotonic readings.
    TMonotonic LastStatusChange() const { return lastStatusChange_; }
    TMonotonic LastReceivedData() const { return lastReceivedData_; }
    // Wall-clock time, for the countdown label.
    TDateTime LastCompleteMessage() const { return lastCompleteMessage_; }
    void SetLastCompleteMessage(TDateTime value) { lastCompleteMessage_ = value; }
    TDateTime LastCollectInstant() const { return lastCollectInstant_; }
    std::int32_t RelayReconnectCountdown() const { return reconnectCountdown_; }

    // Delimiter points written since start-up.
    std::int64_t DelimitersWritten() const { return delimitersWritten_; }
    // Steps of the wall clock beyond the tolerance seen since start-up.
    std::int64_t ClockSteps() const { return clockSteps_; }
    // Values were kept from a file whose series hold later points, until the clock passes `until`: logged
    // once per step of the clock back (and once before the first).
    void ValuesHeldBack(TDateTime until);

private:
    void ApplyStatus(TCollectStatus status, const TStatusControls& controls);
    bool DataSourceIsCentralStation();
    std::int64_t SecondsSinceStatusChange(TMonotonic now) const;
    void CheckConnectionLoss(TMonotonic now);
    // Compares the wall clock's move since the last tick or message with the monotonic clock's: a step beyond
    // the tolerance is logged, and one back closes the collected series (a series never runs back in time).
    void FollowClock(TDateTime now, TMonotonic monotonic);
    void MoveBoundary(TDateTime now);
    // A boundary more than an interval ahead of the clock returns to its grid just ahead of it.
    void FollowClockBack(TDateTime now);
    void CrossBoundary(TDateTime now);
    void SuperviseDataSource(TMonotonic now);
    void WriteDelimitersOf(const std::vector<TCensusRowState>& rows);
    void WritePatientDelimiters(TDateTime after);

    const IClock& clock_;
    TSettingsStore& store_;
    TLog& log_;
    TParameterModel& params_;
    TDataManagerLink& dataManager_;
    ICollectView& view_;
    ICollectTargets& targets_;
    IClientSocket& centralStation_;
    IClientSocket* relayClient_ = nullptr;
    TConnectTarget connectTarget_;
    TNoRelay noRelay_;
    IRelaySupervision* relay_ = &noRelay_;

    TCycleSettings settings_;
    TCollectStatus status_ = csNotConnected;
    TCollectInterval interval_;
    std::int32_t centralStationTimeout_ = 15;
    TDateTime lastCollectInstant_ = 0;
    TMonotonic lastStatusChange_ = 0;
    TMonotonic lastReceivedData_ = 0;
    TDateTime lastCompleteMessage_ = 0;
    // The clocks at the last tick or message, to tell a step of the wall clock from time passing.
    TDateTime lastClockWall_ = 0;
    TMonotonic lastClockMonotonic_ = 0;
    bool clockRead_ = false;
    std::int64_t clockSteps_ = 0;
    bool heldBackLogged_ = false;
    std::int32_t reconnectCountdown_ = kRelayReconnectTicks;
    bool busy_ = false;
    bool heldMessages_ = false;
    bool writingDelimiters_ = false;
    bool observationsSeen_ = false;
    TSavedDataList savedData_;
    std::int64_t delimitersWritten_ = 0;
};

}  // namespace halcyra
