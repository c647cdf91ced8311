// Who hears of every value point once it is in a patient's file, of the file a patient's values go to, and
// of every value kept from its file: the run tells the data manager and keeps each patient's state from
// here. Declared beside the files that write the points; the run's engine implements it.
#pragma once

#include "platform/DateTime.h"

#include <string_view>

namespace halcyra {

class IPointNotices {
public:
    virtual ~IPointNotices() = default;
    virtual void ValuePointWritten(std::string_view patientId, std::string_view label, std::string_view unit,
                                   TDateTime time, double value) = 0;
    // Whether the points must be on disk before ValuePointWritten tells of them: someone outside the run
    // hears of them and may rely on them after a power loss.
    virtual bool PointsMustBeDurable() const { return false; }
    // The patient's monitor-data file after an open: its Windows path, empty when no file could be opened.
    virtual void FileInUse(std::string_view /*patientId*/, std::string_view /*windowsPath*/) {}
    // A file of the patient was passed over for the next name (`why` says which, why and where the values go
    // now): the patient's problem until a point reaches the new file.
    virtual void FileSetAside(std::string_view /*patientId*/, std::string_view /*why*/) {}
    // Values of the patient that were due were not written, and why (a sentence for a person).
    virtual void ValuesNotWritten(std::string_view /*patientId*/, std::string_view /*why*/) {}
    // Values of the patient were not written because their series hold later points (the clock was set
    // back): they are written again once their times pass `until`.
    virtual void ValuesHeldBack(std::string_view /*patientId*/, TDateTime /*until*/) {}
};

// Nobody listens.
class TNoPointNotices final : public IPointNotices {
public:
    void ValuePointWritten(std::string_view, std::string_view, std::string_view, TDateTime, double) override {}
};

}  // namespace halcyra
