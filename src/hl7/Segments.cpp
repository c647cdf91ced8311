#include "hl7/Segments.h"

namespace halcyra {

TSegmentKind GetSegmentKind(std::string_view line)
{
    const std::string_view head = line.substr(0, 3);
    if (head == "MSH") return skMSH;
    if (head == "PID") return skPID;
    if (head == "PV1") return skPV1;
    if (head == "OBR") return skOBR;
    if (head == "OBX") return skOBX;
    return skOther;
}

}  // namespace halcyra
