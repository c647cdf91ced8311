// The data manager's automation object, as this system sees it: the four calls it makes, each sent without
// waiting and answered later. Texts are single-byte (Windows-1252); times are date-time doubles. The
// transport (D-Bus in the program, recorders in tests) lives behind the factory.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halcyra {

// A call could not be sent or the object not created: there is no bus, or no data manager on it.
class EDataManagerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Values of SetCollectorState's state argument.
inline constexpr std::int32_t kCollectorIdle = 1;
inline constexpr std::int32_t kCollectorCollecting = 2;

// What the transport reports, on the thread that sends: the answers to the calls sent (one per call, in the
// order the calls were sent) and the data manager's coming and going.
class IDataManagerEvents {
public:
    virtual ~IDataManagerEvents() = default;
    virtual void CallAnswered() = 0;
    // An error answer, or none in time. `late` tells the second.
    virtual void CallFailed(const std::string& cause, bool late) = 0;
    // The data manager's name got a new owner (it started again), or the bus came back with an owner for it.
    virtual void DataManagerAppeared() = 0;
    // The name lost its owner, or the bus closed the connection.
    virtual void DataManagerGone(const std::string& cause) = 0;
};

class IQuarzelAutoObject {
public:
    virtual ~IQuarzelAutoObject() = default;
    // Each call is queued for sending and returns at once; its answer comes through the events given at
    // creation, from DeliverAnswers or AwaitAnswers, never after the object is gone. Throws EDataManagerError
    // when it cannot be sent.
    virtual void NotifyDataChanged() = 0;
    virtual void SetCollectorState(std::int32_t source, std::int32_t state) = 0;
    virtual void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                          double value) = 0;
    virtual void AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit, double time,
                              std::int32_t reserved) = 0;
    // Hands on the answers that have arrived, without waiting.
    virtual void DeliverAnswers() {}
    // As DeliverAnswers, waiting at most timeoutMs for one when none has arrived. Only for runs that may
    // wait (an import, the end of a run); the collection path never calls it.
    virtual void AwaitAnswers(int /*timeoutMs*/) {}
};

// Ends the watch of the data manager's presence when destroyed.
class IDataManagerWatch {
public:
    virtual ~IDataManagerWatch() = default;
};

// Creates the automation object (CoQuarzelAutoObject).
class IDataManagerLinkFactory {
public:
    virtual ~IDataManagerLinkFactory() = default;
    // At start-up: may wait for the data manager to be started. Throws EDataManagerError when it is not
    // available.
    virtual std::unique_ptr<IQuarzelAutoObject> Create(IDataManagerEvents& events) = 0;
    // After DataManagerAppeared: the name has an owner, so nothing is waited for.
    virtual std::unique_ptr<IQuarzelAutoObject> CreateAgain(IDataManagerEvents& events) { return Create(events); }
    // Reports the data manager's coming and going to `events` until the watch is destroyed; null when the
    // transport cannot tell.
    virtual std::unique_ptr<IDataManagerWatch> Watch(IDataManagerEvents& /*events*/) { return nullptr; }
};

}  // namespace halcyra
