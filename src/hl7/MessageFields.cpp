#include "hl7/MessageFields.h"

#include "hl7/ByteSearch.h"
#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Observation.h"
#include "hl7/PatientFieldLimits.h"
#include "hl7/PatientIdentity.h"

namespace halcyra {
namespace {

// Blanks and control characters trimmed from both ends, as Trim does, without a copy.
std::string_view TrimmedView(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

std::optional<TDateTime> ReadTime(std::string_view text)
{
    TDateTime value = 0;
    if (!TryHL7ToDateTime(text, value)) return std::nullopt;
    return value;
}

void ReadObservation(const TMessageIndex& index, std::size_t i, TObservationFields& obx)
{
    const std::string_view id = index.Field(i, hl7item::kObxIdentifier);
    obx.valueType = index.Field(i, hl7item::kObxValueType);
    const std::size_t caret = FindByte(id, kComponentSeparator);
    if (caret == std::string_view::npos) {
        obx.code = ObservationCode(id);
        obx.label = {};
    } else {
        obx.code = ObservationCode(id.substr(0, caret));
        const std::string_view rest = id.substr(caret + 1);
        obx.label = rest.substr(0, FindByte(rest, kComponentSeparator));
    }
    obx.valueText = index.Field(i, hl7item::kObxValue);
    obx.value = ValueToFloat(obx.valueText);
    obx.unit = TrimmedView(ObservationUnit(index.Field(i, hl7item::kObxUnits)));
    obx.aperiodic = index.Field(i, hl7item::kObxAperiodic) == kAperiodicMark;
    if (obx.aperiodic) {
        obx.timeText = index.Field(i, hl7item::kObxTime);
        obx.time = ReadTime(obx.timeText);
    } else {
        obx.timeText = {};
        obx.time.reset();
    }
}

}  // namespace

void ReadMessageFields(const TMessageIndex& index, TMessageFields& fields)
{
    fields.hasVersion = false;
    fields.version = {};
    fields.supported = false;
    fields.hasPatient = false;
    fields.patientId.clear();
    fields.firstName = {};
    fields.lastName = {};
    fields.displayName.clear();
    fields.hasObservationTime = false;
    fields.observationTimeText = {};
    fields.observationTime.reset();
    std::size_t observations = 0;

    for (std::size_t i = 0; i < index.size(); ++i) {
        switch (index.Kind(i)) {
            case skMSH:
                fields.hasVersion = true;
                fields.version = index.Field(i, hl7item::kMshVersion);
                fields.supported = IsSupportedVersion(fields.version);
                break;
            case skPID: {
                TPatientNameView name;
                SplitPatientNameInto(index.Field(i, hl7item::kPidName), name, fields.displayName);
                CutPatientName(fields.displayName);
                fields.hasPatient = true;
                fields.firstName = LimitPatientName(name.firstName);
                fields.lastName = LimitPatientName(name.lastName);
                ChoosePatientIDInto(index.Field(i, hl7item::kPidIdentifier), fields.firstName, fields.lastName,
                                    fields.patientId);
                CutPatientID(fields.patientId);
                break;
            }
            case skOBR:
                fields.hasObservationTime = true;
                fields.observationTimeText = index.Field(i, hl7item::kObrObservationTime);
                fields.observationTime = ReadTime(fields.observationTimeText);
                break;
            case skOBX:
                // Grows with the largest message seen, never from a count taken on trust.
                if (observations == fields.observations.size()) fields.observations.emplace_back();
                ReadObservation(index, i, fields.observations[observations++]);
                break;
            case skPV1:
            case skOther:
                break;
        }
    }
    fields.observations.resize(observations);
}

}  // namespace halcyra
