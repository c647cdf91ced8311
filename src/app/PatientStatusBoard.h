// What this run did for each patient: the time of the last point written to its file and how many were
// written, the file in use, and the last reason values were kept from the file. Keyed by the census ID;
// fed by every point written and every value not written, read by the window's rows and `--status`.
#pragma once

#include "platform/Clock.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace halcyra {

struct TPatientRecord {
    TDateTime lastPointTime = 0;  // the time stamp of the last point written (0: none this run)
    TMonotonic lastWriteAt = 0;   // when it was written, on the monotonic clock
    std::int64_t pointsWritten = 0;
    std::string file;  // Windows path of the monitor-data file in use; empty when none could be opened
    std::string problem;
    TMonotonic problemAt = 0;    // on the monotonic clock, so a wall clock set back does not reorder them
    TDateTime waitingUntil = 0;  // with the problem: values wait for the clock to pass this time
    // A file set aside is the problem until the next point, even one written in the same instant.
    bool untilNextPoint = false;
    bool pointSinceProblem = false;

    // A problem is current until a point is written after it.
    bool HasCurrentProblem() const
    {
        return !problem.empty() && (untilNextPoint ? !pointSinceProblem : problemAt >= lastWriteAt);
    }
    // The values wait for the clock (the problem says why); 0 when they do not.
    TDateTime WaitingUntil() const { return HasCurrentProblem() ? waitingUntil : 0; }
};

class TPatientStatusBoard {
public:
    explicit TPatientStatusBoard(const IClock& clock) : clock_(clock) {}

    void PointWritten(std::string_view patientId, TDateTime pointTime);
    void FileInUse(std::string_view patientId, std::string_view windowsPath);
    void ValuesNotWritten(std::string_view patientId, std::string_view why);
    void FileSetAside(std::string_view patientId, std::string_view why);
    void ValuesHeldBack(std::string_view patientId, TDateTime until);

    // Null for a patient of whom nothing was heard this run.
    const TPatientRecord* Find(std::string_view patientId) const;
    // Times a patient's values were not written this run, for any patient.
    std::int64_t WritesFailed() const { return writesFailed_; }

private:
    TPatientRecord& Record(std::string_view patientId);
    // The patient's record with `why` as its current problem.
    TPatientRecord& Problem(std::string_view patientId, std::string_view why, bool untilNextPoint);

    const IClock& clock_;
    std::map<std::string, TPatientRecord, std::less<>> records_;
    std::int64_t writesFailed_ = 0;
};

}  // namespace halcyra
