// Segment kinds, the positions taken from each segment, and the version check of the header.
#pragma once

#include <string_view>

namespace halcyra {

enum TSegmentKind : int { skMSH = 0, skPID = 1, skPV1 = 2, skOBR = 3, skOBX = 4, skOther = 5 };

// Items of GetField on a whole segment line. MSH-1 is the field separator itself, so MSH item n is MSH-n
// and every other segment's item n is field n-1.
namespace hl7item {
inline constexpr int kMshVersion = 12;         // MSH-12
inline constexpr int kPidIdentifier = 4;       // PID-3
inline constexpr int kPidName = 6;             // PID-5
inline constexpr int kObrObservationTime = 8;  // OBR-7
inline constexpr int kObxValueType = 3;        // OBX-2
inline constexpr int kObxIdentifier = 4;       // OBX-3
inline constexpr int kObxValue = 6;            // OBX-5
inline constexpr int kObxUnits = 7;            // OBX-6
inline constexpr int kObxAperiodic = 14;       // OBX-13
inline constexpr int kObxTime = 15;            // OBX-14
}  // namespace hl7item

inline constexpr std::string_view kSupportedVersion = "2.3";
inline constexpr std::string_view kNumericValueType = "NM";
inline constexpr std::string_view kAperiodicMark = "APERIODIC";

// The first three characters, compared exactly; anything else (also a shorter line) is skOther.
inline TSegmentKind GetSegmentKind(std::string_view line)
{
    if (line.size() < 3) return skOther;
    const char a = line[0];
    const char b = line[1];
    const char c = line[2];
    if (a == 'M') return b == 'S' && c == 'H' ? skMSH : skOther;
    if (a == 'P') {
        if (b == 'I' && c == 'D') return skPID;
        if (b == 'V' && c == '1') return skPV1;
        return skOther;
    }
    if (a == 'O' && b == 'B') {
        if (c == 'R') return skOBR;
        if (c == 'X') return skOBX;
    }
    return skOther;
}

inline bool IsSupportedVersion(std::string_view version)
{
    return version == kSupportedVersion;
}

}  // namespace halcyra
