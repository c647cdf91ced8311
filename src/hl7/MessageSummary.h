// What the program takes from one message, segment by segment, without any settings or state: the
// version, the patient identity after cleaning and fallbacks and cut to its limits (PatientFieldLimits.h),
// the OBR time and every OBX.
// Composed of the grammar functions on a segment list, with owned texts. For message after message,
// TMessageIndex and ReadMessageFields (MessageFields.h) give the same values without allocating.
#pragma once

#include "hl7/MessageSplitter.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace halcyra {

struct TObservationSummary {
    std::string valueType;          // OBX-2; only "NM" observations are used
    std::int32_t code = -1;         // ObservationCode of OBX-3 component 1
    std::string label;              // OBX-3 component 2
    std::string valueText;          // OBX-5
    double value = 0;               // ValueToFloat of the value text
    std::string unit;               // ObservationUnit of OBX-6, blanks and control characters trimmed
    bool aperiodic = false;         // OBX-13 is "APERIODIC"
    std::string timeText;           // OBX-14 of an aperiodic observation
    std::optional<TDateTime> time;  // its own time; empty when not aperiodic or unreadable
};

struct TMessageSummary {
    std::optional<std::string> version;  // MSH-12 of the last MSH; empty without one
    bool supported = false;
    bool hasPatient = false;  // a PID was seen; the identity fields are meaningful only then
    std::string patientId;
    std::string firstName;
    std::string lastName;
    std::string displayName;
    bool hasObservationTime = false;           // an OBR was seen
    std::string observationTimeText;           // OBR-7 of the last OBR
    std::optional<TDateTime> observationTime;  // empty without an OBR or when OBR-7 is unreadable
    std::vector<TObservationSummary> observations;
};

// Later MSH, PID and OBR segments of the same message replace what earlier ones gave.
TMessageSummary SummarizeMessage(const TSegmentList& segments);

}  // namespace halcyra
