// The run's listener to the patient files: every point written goes to the data manager (while its link
// is on, once the point is on disk) and, with every file opened and every value kept from its file, to the patients'
// status board.
#pragma once

#include "app/DataManagerNotices.h"
#include "app/PatientStatusBoard.h"

#include <functional>

namespace halcyra {

class TRunNotices final : public IPointNotices {
public:
    TRunNotices(TDataManagerLink& link, TPatientStatusBoard& board) : dataManager_(link), board_(board) {}
    void ValuePointWritten(std::string_view patientId, std::string_view label, std::string_view unit, TDateTime time,
                           double value) override
    {
        board_.PointWritten(patientId, time);
        dataManager_.ValuePointWritten(patientId, label, unit, time, value);
    }
    bool PointsMustBeDurable() const override { return dataManager_.PointsMustBeDurable(); }
    void FileInUse(std::string_view patientId, std::string_view windowsPath) override
    {
        board_.FileInUse(patientId, windowsPath);
    }
    void FileSetAside(std::string_view patientId, std::string_view why) override
    {
        board_.FileSetAside(patientId, why);
    }
    void ValuesNotWritten(std::string_view patientId, std::string_view why) override
    {
        board_.ValuesNotWritten(patientId, why);
    }
    void ValuesHeldBack(std::string_view patientId, TDateTime until) override
    {
        board_.ValuesHeldBack(patientId, until);
        if (OnValuesHeldBack) OnValuesHeldBack(until);
    }

    // Hears when values wait for the clock to pass a time.
    std::function<void(TDateTime)> OnValuesHeldBack;

private:
    TDataManagerNotices dataManager_;
    TPatientStatusBoard& board_;
};

}  // namespace halcyra
