// What the message handling needs from the collection cycle: the status a header moves, the interval a
// message belongs to, the per-patient marks of that interval, and the notice that a message changed the
// data. The cycle implements it.
#pragma once

#include "hl7/CollectStatusCode.h"
#include "platform/DateTime.h"

#include <string_view>

namespace halcyra {

class IMessageCycle {
public:
    virtual ~IMessageCycle() = default;

    virtual TCollectStatus Status() const = 0;
    virtual void SetStatus(TCollectStatus status) = 0;
    // As SetStatus, but a window the user sent to the tray stays there: a stray header is no lost link.
    virtual void SetStatusInBackground(TCollectStatus status) = 0;
    // While collecting: when the clock has reached the next boundary, the interval it opens begins now.
    virtual void CrossReachedBoundary() = 0;
    // The time placed on the grid of the collect interval.
    virtual TDateTime AlignToInterval(TDateTime t) const = 0;
    // "UseHalcyraSettings": values keep their own times and are written at the central station's pace.
    virtual bool UseHalcyraSettings() const = 0;

    // The per-patient marks of the current interval.
    virtual bool IsNotYetSaved(std::string_view patientID, std::string_view patientName) = 0;
    virtual void MarkSaved(std::string_view patientID, std::string_view patientName, bool mark) = 0;

    // An observation arrived since start-up.
    virtual void SetObservationsSeen() = 0;
    // A message wrote to the files of patients in the data area: the data manager is told once.
    virtual void DataChanged() = 0;
};

}  // namespace halcyra
