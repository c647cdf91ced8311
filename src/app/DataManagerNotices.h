// Every value point written to a patient's file, told to the data manager while its link is on; the points
// reach the disk before it hears of them.
#pragma once

#include "datamanager/DataManagerLink.h"
#include "patients/PointNotices.h"

namespace halcyra {

class TDataManagerNotices final : public IPointNotices {
public:
    explicit TDataManagerNotices(TDataManagerLink& link) : link_(link) {}
    bool PointsMustBeDurable() const override { return link_.LinkEnabled(); }
    void ValuePointWritten(std::string_view patientId, std::string_view label, std::string_view unit, TDateTime time,
                           double value) override
    {
        if (link_.LinkEnabled()) link_.AddValue(patientId, label, unit, time, value);
    }

private:
    TDataManagerLink& link_;
};

}  // namespace halcyra
