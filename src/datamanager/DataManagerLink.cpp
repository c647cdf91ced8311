#include "datamanager/DataManagerLink.h"

#include "platform/DateTime.h"
#include "platform/Text.h"

#include <algorithm>
#include <exception>

namespace halcyra {

std::int32_t CollectorStateForStatus(std::uint8_t collectStatus)
{
    return collectStatus >= 2 ? kCollectorCollecting : kCollectorIdle;
}

TDataManagerLink::TDataManagerLink(const IClock& clock) : clock_(clock) {}

TDataManagerLink::~TDataManagerLink()
{
    // The watch and the objects report to this link: they go first.
    watch_.reset();
    object_.reset();
    retired_.reset();
}

TDataManagerLinkResult TDataManagerLink::CreateDataManagerLink(IDataManagerLinkFactory& factory,
                                                               std::string_view firstArgument, bool noVelgard)
{
    watch_.reset();
    Retire();
    factory_ = nullptr;
    used_ = false;
    if (SameTextAscii(firstArgument, kNoVelgardArgument) || noVelgard) return TDataManagerLinkResult::Disabled;
    used_ = true;
    factory_ = &factory;
    if (!MakeObject(true)) {
        // The run ends: nothing is made again from here.
        factory_ = nullptr;
        return TDataManagerLinkResult::Failed;
    }
    watch_ = factory.Watch(*this);
    return TDataManagerLinkResult::Created;
}

bool TDataManagerLink::MakeObject(bool atStartUp)
{
    Retire();
    ++generation_;
    auto answers = std::make_unique<TAnswers>(*this, generation_);
    try {
        object_ = atStartUp ? factory_->Create(*answers) : factory_->CreateAgain(*answers);
    } catch (const std::exception& e) {
        object_.reset();
        if (atStartUp)
            Log(std::string("Data manager not available: ") + e.what());
        else
            Log(std::string("Error: the data manager is back, but its object cannot be made: ") + e.what());
        lastError_ = e.what();
        return false;
    }
    if (!object_) return false;
    answers_ = std::move(answers);
    since_ = clock_.Now();
    notifyAfterState_ = true;
    return true;
}

void TDataManagerLink::Retire()
{
    awaiting_.clear();
    // A call into the lost object may still be on the stack (a transport that answers at once).
    if (object_) {
        retired_ = std::move(object_);
        retiredAnswers_ = std::move(answers_);
    }
}

void TDataManagerLink::DisableDataManagerLink(const std::string& cause)
{
    Lose(cause);
}

void TDataManagerLink::Lose(const std::string& cause)
{
    if (!object_) return;
    Retire();
    since_ = clock_.Now();
    lastError_ = cause;
    Log("Error: the data manager link is lost: " + cause +
        ". Values are written to the files but not told to the data manager until it starts again");
}

TDataManagerState TDataManagerLink::State() const
{
    TDataManagerState state;
    state.used = used_;
    state.connected = object_ != nullptr;
    state.since = used_ ? since_ : 0;
    state.lastError = lastError_;
    state.callsFailed = callsFailed_;
    state.backlog = static_cast<std::int64_t>(awaiting_.size());
    return state;
}

void TDataManagerLink::Log(const std::string& line) const
{
    if (logger_) logger_(line);
}

template <typename TCall>
bool TDataManagerLink::Send(TCallKind kind, TCall&& call)
{
    if (!object_) return false;
    retired_.reset();
    retiredAnswers_.reset();
    object_->DeliverAnswers();
    if (!object_) return false;
    if (mayWait_) {
        // The answers of a run that may wait come in before more is sent, so its backlog never fills.
        std::size_t before = awaiting_.size() + 1;
        TMonotonic waitedAt = clock_.Monotonic();
        while (object_ && awaiting_.size() >= kPacedCallsAwaitingAnswer) {
            if (awaiting_.size() == before && clock_.Monotonic() == waitedAt) break;  // nothing moves: no waiting
            before = awaiting_.size();
            waitedAt = clock_.Monotonic();
            object_->AwaitAnswers(100);
            Tick();
        }
        if (!object_) return false;
    }
    if (awaiting_.size() >= kMaxCallsAwaitingAnswer) {
        ++callsFailed_;
        Lose("the data manager fell " + std::to_string(awaiting_.size()) + " calls behind");
        return false;
    }
    awaiting_.push_back({clock_.Monotonic(), kind});
    try {
        call(*object_);
    } catch (const std::exception& e) {
        if (!awaiting_.empty()) awaiting_.pop_back();
        ++callsFailed_;
        Lose(e.what());
        return false;
    }
    return true;
}

bool TDataManagerLink::SendState(std::int32_t state, bool refusalEndsLink)
{
    state_ = state;
    const bool sent = Send(refusalEndsLink ? TCallKind::Value : TCallKind::Status,
                           [state](IQuarzelAutoObject& o) { o.SetCollectorState(0, state); });
    // A new object is told to read the files again: they hold what it was not told of.
    if (sent && notifyAfterState_) {
        notifyAfterState_ = false;
        NotifyDataChanged();
    }
    return sent;
}

void TDataManagerLink::CallAnswered()
{
    if (!awaiting_.empty()) awaiting_.pop_front();
}

void TDataManagerLink::CallFailed(const std::string& cause, bool late)
{
    const TCallKind kind = awaiting_.empty() ? TCallKind::Value : awaiting_.front().kind;
    if (!awaiting_.empty()) awaiting_.pop_front();
    ++callsFailed_;
    if (kind == TCallKind::Status && !late) {
        Log("Data manager SetCollectorState failed: " + cause);
        return;
    }
    Lose(cause);
}

void TDataManagerLink::DataManagerAppeared()
{
    if (!used_ || factory_ == nullptr) return;
    if (!MakeObject(false)) return;
    lastError_.clear();
    Log("The data manager is back: it is told the collection state and to read the files again");
    SendState(state_, true);
}

void TDataManagerLink::DataManagerGone(const std::string& cause)
{
    Lose(cause);
}

void TDataManagerLink::Tick()
{
    if (!object_) return;
    retired_.reset();
    retiredAnswers_.reset();
    object_->DeliverAnswers();
    if (object_ && !awaiting_.empty() && clock_.Monotonic() - awaiting_.front().at > kAnswerLimitSeconds) {
        ++callsFailed_;
        Lose("no answer from the data manager within " + std::to_string(static_cast<int>(kAnswerLimitSeconds)) + " s");
    }
}

bool TDataManagerLink::AwaitOutstanding(double seconds)
{
    const TMonotonic end = clock_.Monotonic() + seconds;
    while (object_ && !awaiting_.empty()) {
        const TMonotonic now = clock_.Monotonic();
        if (now >= end) break;
        const std::size_t before = awaiting_.size();
        object_->AwaitAnswers(static_cast<int>(std::min(end - now, 0.1) * 1000) + 1);
        // A transport that cannot wait, on a clock that does not move: nothing more will come.
        if (object_ && awaiting_.size() == before && clock_.Monotonic() == now) break;
    }
    return awaiting_.empty();
}

bool TDataManagerLink::NotifyDataChanged()
{
    return Send(TCallKind::Value, [](IQuarzelAutoObject& o) { o.NotifyDataChanged(); });
}

bool TDataManagerLink::AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                                double value)
{
    return Send(TCallKind::Value, [&](IQuarzelAutoObject& o) { o.AddValue(patientId, label, unit, time, value); });
}

bool TDataManagerLink::AddDelimiter(std::string_view label, std::string_view unit, double time)
{
    return Send(TCallKind::Value, [&](IQuarzelAutoObject& o) { o.AddDelimiter(0, label, unit, time, 0); });
}

bool TDataManagerLink::StartCollecting()
{
    return SendState(kCollectorCollecting, true);
}

bool TDataManagerLink::CollectStatusChanged(std::uint8_t collectStatus)
{
    return SendState(CollectorStateForStatus(collectStatus), false);
}

}  // namespace halcyra
