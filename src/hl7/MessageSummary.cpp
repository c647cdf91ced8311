#include "hl7/MessageSummary.h"

#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Observation.h"
#include "hl7/PatientFieldLimits.h"
#include "hl7/PatientIdentity.h"
#include "hl7/Segments.h"
#include "platform/Text.h"

#include <algorithm>

namespace halcyra {
namespace {

std::optional<TDateTime> ReadTime(std::string_view text)
{
    TDateTime value = 0;
    if (!TryHL7ToDateTime(text, value)) return std::nullopt;
    return value;
}

TObservationSummary SummarizeObservation(std::string_view line)
{
    TObservationSummary obx;
    const TItems fields(line, kFieldSeparator);
    const std::string_view id = fields[hl7item::kObxIdentifier];
    obx.valueType = fields[hl7item::kObxValueType];
    obx.code = ObservationCode(GetComponent(id, 1));
    obx.label = GetComponent(id, 2);
    obx.valueText = fields[hl7item::kObxValue];
    obx.value = ValueToFloat(obx.valueText);
    obx.unit = Trim(ObservationUnit(fields[hl7item::kObxUnits]));
    obx.aperiodic = fields[hl7item::kObxAperiodic] == kAperiodicMark;
    if (obx.aperiodic) {
        obx.timeText = fields[hl7item::kObxTime];
        obx.time = ReadTime(obx.timeText);
    }
    return obx;
}

}  // namespace

TMessageSummary SummarizeMessage(const TSegmentList& segments)
{
    TMessageSummary summary;
    // Exactly the observations there are, not one per segment: a capture of many short lines is no
    // reason to reserve for as many observations.
    summary.observations.reserve(static_cast<std::size_t>(std::count_if(
        segments.begin(), segments.end(), [](const std::string& line) { return GetSegmentKind(line) == skOBX; })));
    for (const std::string& line : segments) {
        switch (GetSegmentKind(line)) {
            case skMSH:
                summary.version = std::string(GetField(line, hl7item::kMshVersion));
                summary.supported = IsSupportedVersion(*summary.version);
                break;
            case skPID: {
                TPatientName name = SplitPatientName(GetField(line, hl7item::kPidName));
                for (std::string* text : {&name.firstName, &name.lastName, &name.displayName}) CutPatientName(*text);
                summary.hasPatient = true;
                summary.patientId = ChoosePatientID(CleanPatientID(GetField(line, hl7item::kPidIdentifier)),
                                                    name.firstName, name.lastName);
                CutPatientID(summary.patientId);
                summary.firstName = std::move(name.firstName);
                summary.lastName = std::move(name.lastName);
                summary.displayName = std::move(name.displayName);
                break;
            }
            case skOBR:
                summary.hasObservationTime = true;
                summary.observationTimeText = GetField(line, hl7item::kObrObservationTime);
                summary.observationTime = ReadTime(summary.observationTimeText);
                break;
            case skOBX:
                summary.observations.push_back(SummarizeObservation(line));
                break;
            case skPV1:
            case skOther:
                break;
        }
    }
    return summary;
}

}  // namespace halcyra
