#include "hl7/PatientFieldLimits.h"

#include "platform/Text.h"

namespace halcyra {

std::string_view LimitPatientName(std::string_view name)
{
    return name.substr(0, kMaxPatientNameLength);
}

bool CutPatientName(std::string& name)
{
    if (name.size() <= kMaxPatientNameLength) return false;
    name.resize(kMaxPatientNameLength);
    return true;
}

bool CutPatientID(std::string& id)
{
    const std::size_t fitting = HostTextFittingLength(id, kMaxPatientIdHostBytes);
    if (fitting == id.size()) return false;
    id.resize(fitting);
    return true;
}

}  // namespace halcyra
