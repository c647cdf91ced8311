// Who hears of every value point once it is in a patient's file: the run tells the data manager from here.
// Declared beside the files that write the points; the run's engine implements it.
#pragma once

#include "platform/DateTime.h"

#include <string_view>

namespace halcyra {

class IPointNotices {
public:
    virtual ~IPointNotices() = default;
    virtual void ValuePointWritten(std::string_view patientId, std::string_view label, std::string_view unit,
                                   TDateTime time, double value) = 0;
};

// Nobody listens.
class TNoPointNotices final : public IPointNotices {
public:
    void ValuePointWritten(std::string_view, std::string_view, std::string_view, TDateTime, double) override {}
};

}  // namespace halcyra
