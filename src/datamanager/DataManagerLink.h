// The run's link to the data manager: the automation object, the calls of the run sent without waiting,
// the backlog of calls awaiting their answers, and the rules for when the link is lost and made again. A
// lost link leaves every value in the files; a data manager that comes back is told to read them again.
#pragma once

#include "datamanager/IVelgard_TLB.h"
#include "platform/Clock.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr std::string_view kNoVelgardArgument = "NOVELGARD";
inline constexpr std::string_view kUnableToStartMessage = "Unable to start, please contact Tovarin";

// Calls that may await their answers at once: about a minute of a 64-bed ward.
inline constexpr std::size_t kMaxCallsAwaitingAnswer = 10000;
// An answer later than this counts as none: the data manager hangs.
inline constexpr double kAnswerLimitSeconds = 5.0;
// A run that may wait (an import) lets no more than this many calls await their answers.
inline constexpr std::size_t kPacedCallsAwaitingAnswer = 1000;

// The state sent for a collection status: 0 (not connected) and 1 (connected) give 1, 2 (collecting)
// and 3 (connection lost while collecting) give 2.
std::int32_t CollectorStateForStatus(std::uint8_t collectStatus);

enum class TDataManagerLinkResult {
    Disabled,  // NOVELGARD or "NoVelgard": no object, no call will be made
    Created,   // the object exists and the link is enabled
    Failed,    // the object cannot be created: the program must say so and end
};

// The link as `--status` and the window show it.
struct TDataManagerState {
    bool used = false;       // false with NOVELGARD
    bool connected = false;  // calls are sent
    TDateTime since = 0;     // when it was last made or lost
    std::string lastError;   // the cause of the last loss, empty when none
    std::int64_t callsFailed = 0;
    std::int64_t backlog = 0;  // calls awaiting their answers
};

class TDataManagerLink final : private IDataManagerEvents {
public:
    using TLogger = std::function<void(const std::string& line)>;

    explicit TDataManagerLink(const IClock& clock);
    ~TDataManagerLink() override;
    TDataManagerLink(const TDataManagerLink&) = delete;
    TDataManagerLink& operator=(const TDataManagerLink&) = delete;

    // Receives one line when the link is lost or made again, and for ignored status-change refusals.
    void SetLogger(TLogger logger) { logger_ = std::move(logger); }

    // Start-up: no object when the first command-line argument is "NOVELGARD" in any letter case or
    // noVelgard is set (nothing is created, no call is ever made); otherwise the object is created, the
    // link enabled and the data manager's presence watched. Failed means the caller shows
    // kUnableToStartMessage and ends the program. The factory must outlive the link.
    TDataManagerLinkResult CreateDataManagerLink(IDataManagerLinkFactory& factory, std::string_view firstArgument,
                                                 bool noVelgard);
    // Ends the link until the data manager's name gets a new owner.
    void DisableDataManagerLink(const std::string& cause);

    bool LinkEnabled() const { return object_ != nullptr; }
    TDataManagerState State() const;

    // The calls of the run. Each is sent only while the link is enabled and returns whether it was sent;
    // a failure of these (no sending, an error answer, no answer in time, a full backlog) ends the link.
    bool NotifyDataChanged();
    bool AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time, double value);
    bool AddDelimiter(std::string_view label, std::string_view unit, double time);
    // Start of collection: SetCollectorState(0, 2).
    bool StartCollecting();
    // A change of the collection status (the caller checks that it changed): SetCollectorState(0, 1 or 2).
    // A refused call is ignored; one the data manager does not answer ends the link like any other.
    bool CollectStatusChanged(std::uint8_t collectStatus);

    // The tick: an answer overdue ends the link.
    void Tick();
    // A run that may wait (an import) keeps the backlog small by waiting for answers before it sends more.
    void SetMayWait(bool mayWait) { mayWait_ = mayWait; }
    // The end of the run: waits at most `seconds` for the outstanding answers. False when some never came.
    bool AwaitOutstanding(double seconds);

private:
    // A refused status change is ignored; a refusal of any other call ends the link.
    enum class TCallKind : std::uint8_t { Value, Status };
    struct TSent {
        TMonotonic at;
        TCallKind kind;
    };

    void CallAnswered() override;
    void CallFailed(const std::string& cause, bool late) override;
    void DataManagerAppeared() override;
    void DataManagerGone(const std::string& cause) override;

    template <typename TCall>
    bool Send(TCallKind kind, TCall&& call);
    bool SendState(std::int32_t state, bool refusalEndsLink);
    void Lose(const std::string& cause);
    void Log(const std::string& line) const;

    // Hands one object's answers to the link while that object is the link's own; a lost object's late
    // answers are dropped.
    class TAnswers final : public IDataManagerEvents {
    public:
        TAnswers(TDataManagerLink& link, std::uint64_t generation) : link_(link), generation_(generation) {}
        void CallAnswered() override
        {
            if (Current()) link_.CallAnswered();
        }
        void CallFailed(const std::string& cause, bool late) override
        {
            if (Current()) link_.CallFailed(cause, late);
        }
        void DataManagerAppeared() override {}
        void DataManagerGone(const std::string&) override {}

    private:
        bool Current() const { return link_.object_ != nullptr && link_.generation_ == generation_; }
        TDataManagerLink& link_;
        std::uint64_t generation_;
    };
    bool MakeObject(bool atStartUp);
    void Retire();

    const IClock& clock_;
    IDataManagerLinkFactory* factory_ = nullptr;
    std::uint64_t generation_ = 0;
    std::unique_ptr<TAnswers> answers_;
    std::unique_ptr<IQuarzelAutoObject> object_;
    // A lost object and its answers, kept until no call into it can be running.
    std::unique_ptr<TAnswers> retiredAnswers_;
    std::unique_ptr<IQuarzelAutoObject> retired_;
    std::unique_ptr<IDataManagerWatch> watch_;
    std::deque<TSent> awaiting_;
    bool used_ = false;
    bool mayWait_ = false;
    bool notifyAfterState_ = false;  // a new object is told to read the files after its first state
    std::int32_t state_ = kCollectorIdle;
    TDateTime since_ = 0;
    std::string lastError_;
    std::int64_t callsFailed_ = 0;
    TLogger logger_;
};

}  // namespace halcyra
