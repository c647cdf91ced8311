#include "hl7/PatientFieldLimits.h"

#include "platform/Text.h"

#include <cstdint>

namespace halcyra {
namespace {

std::uint32_t Fnv1a32(std::string_view bytes)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

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
    if (HostTextFittingLength(id, kMaxPatientIdHostBytes) == id.size()) return false;
    static constexpr char kHex[] = "0123456789abcdef";
    const std::uint32_t hash = Fnv1a32(id);
    id.resize(HostTextFittingLength(id, kMaxPatientIdHostBytes - kPatientIdDigestLength));
    id += kPatientIdDigestMark;
    for (int shift = 28; shift >= 0; shift -= 4) id += kHex[(hash >> shift) & 0xF];
    return true;
}

}  // namespace halcyra
