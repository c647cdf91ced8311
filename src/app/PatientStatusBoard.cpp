#include "app/PatientStatusBoard.h"

#include <algorithm>

namespace halcyra {

TPatientRecord& TPatientStatusBoard::Record(std::string_view patientId)
{
    auto found = records_.find(patientId);
    if (found == records_.end()) found = records_.emplace(std::string(patientId), TPatientRecord{}).first;
    return found->second;
}

void TPatientStatusBoard::PointWritten(std::string_view patientId, TDateTime pointTime)
{
    TPatientRecord& record = Record(patientId);
    // An aperiodic point can be older than the last periodic one: the latest time stays.
    record.lastPointTime = std::max(record.lastPointTime, pointTime);
    record.lastWriteAt = clock_.Monotonic();
    record.pointSinceProblem = true;
    ++record.pointsWritten;
}

void TPatientStatusBoard::FileInUse(std::string_view patientId, std::string_view windowsPath)
{
    Record(patientId).file = windowsPath;
}

TPatientRecord& TPatientStatusBoard::Problem(std::string_view patientId, std::string_view why, bool untilNextPoint)
{
    TPatientRecord& record = Record(patientId);
    record.problem = why;
    record.problemAt = clock_.Monotonic();
    record.waitingUntil = 0;
    record.untilNextPoint = untilNextPoint;
    return record;
}

void TPatientStatusBoard::ValuesNotWritten(std::string_view patientId, std::string_view why)
{
    Problem(patientId, why, false);
    ++writesFailed_;
}

void TPatientStatusBoard::FileSetAside(std::string_view patientId, std::string_view why)
{
    // The patient's problem until a value reaches the new file.
    Problem(patientId, why, true).pointSinceProblem = false;
}

void TPatientStatusBoard::ValuesHeldBack(std::string_view patientId, TDateTime until)
{
    TPatientRecord& record = Record(patientId);
    // Once per wait, not per message: the text stays while the same wait goes on.
    if (record.waitingUntil != until || !record.HasCurrentProblem())
        record.problem = "Values wait for the clock to pass " + FormatDateTime("hh:nn:ss", until) +
                         ": the file holds later points (the clock was set back)";
    record.problemAt = clock_.Monotonic();
    record.waitingUntil = until;
    record.untilNextPoint = false;
}

const TPatientRecord* TPatientStatusBoard::Find(std::string_view patientId) const
{
    const auto found = records_.find(patientId);
    return found == records_.end() ? nullptr : &found->second;
}

}  // namespace halcyra
