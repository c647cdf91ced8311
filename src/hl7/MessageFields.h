// Everything the program takes from one message, read from its index: the same values SummarizeMessage
// gives, but texts are views into the message (or into buffers of the object) and nothing is allocated
// once the object has held the largest message. Keep one object and read message after message into it.
//
//     TMessageIndex index;
//     TMessageFields fields;
//     index.IndexFrame(body);
//     ReadMessageFields(index, fields);
//     if (fields.hasPatient && fields.patientId != kNoPatientID)
//         for (const TObservationFields& obx : fields.observations) ...
//
// The views stay valid while the message text and the object are unchanged.
#pragma once

#include "hl7/MessageIndex.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TObservationFields {
    std::string_view valueType;  // OBX-2
    std::int32_t code = -1;      // ObservationCode of OBX-3 component 1
    std::string_view label;      // OBX-3 component 2
    std::string_view valueText;  // OBX-5
    double value = 0;            // ValueToFloat of the value text
    std::string_view unit;       // ObservationUnit of OBX-6, blanks and control characters trimmed
    bool aperiodic = false;      // OBX-13 is "APERIODIC"
    std::string_view timeText;   // OBX-14 of an aperiodic observation
    std::optional<TDateTime> time;
};

struct TMessageFields {
    bool hasVersion = false;  // an MSH was seen; version is MSH-12 of the last one
    std::string_view version;
    bool supported = false;
    bool hasPatient = false;  // a PID was seen; the identity fields are meaningful only then
    std::string patientId;    // ChoosePatientID of the cleaned PID-3 and the names; all cut to their limits
    std::string_view firstName;
    std::string_view lastName;
    std::string displayName;
    bool hasObservationTime = false;  // an OBR was seen
    std::string_view observationTimeText;
    std::optional<TDateTime> observationTime;
    std::vector<TObservationFields> observations;
};

// Later MSH, PID and OBR segments of the same message replace what earlier ones gave.
void ReadMessageFields(const TMessageIndex& index, TMessageFields& fields);

}  // namespace halcyra
