// Every grammar function on arbitrary text, with the promises the message handling relies on checked.
#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Observation.h"
#include "hl7/PatientIdentity.h"
#include "hl7/Segments.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

bool SafeAsFolderName(std::string_view id)
{
    if (id.empty() || id.find_first_not_of('.') == std::string_view::npos) return false;
    for (char c : id) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || std::string_view(" \"*-/:<>?\\^|").find(c) != std::string_view::npos) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const int k = static_cast<int>(data[0] % 24) - 2;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    for (char separator : {'|', '^', '&'}) {
        const halcyra::TItems items(text, separator);
        for (int i = 0; i <= halcyra::TItems::kMaxItems; ++i) Check(items[i] == halcyra::GetItem(text, i, separator));
        const std::string_view item = halcyra::GetItem(text, k, separator);
        Check(item.find(separator) == std::string_view::npos);
        Check(item.empty() || (item.data() >= text.data() && item.data() + item.size() <= text.data() + text.size()));
    }
    const halcyra::TSegmentKind kind = halcyra::GetSegmentKind(text);
    Check(kind >= halcyra::skMSH && kind <= halcyra::skOther);
    (void)halcyra::IsSupportedVersion(halcyra::GetField(text, 12));

    // The three texts of a PID, cut from the input at '|'.
    const std::string_view id = halcyra::GetField(text, 1);
    const halcyra::TPatientName name = halcyra::SplitPatientName(halcyra::GetField(text, 2));
    Check(name.lastName.size() <= text.size() && name.firstName.size() <= text.size());
    const std::string cleaned = halcyra::CleanPatientID(id);
    Check(cleaned.size() <= id.size());
    const std::string chosen = halcyra::ChoosePatientID(cleaned, name.firstName, name.lastName);
    Check(SafeAsFolderName(chosen));
    // A usable ID is kept as it is; the names are only a fallback.
    if (cleaned != "MR" && SafeAsFolderName(cleaned)) Check(chosen == cleaned);

    halcyra::TDateTime time = 0;
    if (halcyra::TryHL7ToDateTime(text, time)) Check(std::isfinite(time));
    Check(halcyra::HL7ToDateTime(text, 1.5) == (halcyra::TryHL7ToDateTime(text, time) ? time : 1.5));
    // The time is the local time of the stamp as read: as written without a zone; with one, no further from it
    // than the sender's zone and the local zone lie apart (each within 16 hours of UTC, old mean times included).
    // Calendar times are compared as seconds: before 1899 a difference of date-times is no duration.
    halcyra::THL7Stamp stamp;
    const bool read = halcyra::TryReadHL7Stamp(text, stamp);
    Check(read == halcyra::TryHL7ToDateTime(text, time));
    if (read) {
        Check(time == halcyra::LocalTimeOf(stamp));
        Check(std::abs(stamp.offsetMinutes) <= halcyra::kMaxZoneOffsetMinutes);
        if (stamp.zoned) {
            const auto seconds = [](halcyra::TDateTime t) {
                return static_cast<long long>(halcyra::UnixTimeFromUtc(halcyra::DecodeDateTime(t)));
            };
            Check(std::llabs(seconds(time) - seconds(stamp.written)) <= 32 * 3600);
        } else {
            Check(stamp.offsetMinutes == 0 && time == stamp.written);
        }
    }

    (void)halcyra::ObservationCode(text);
    Check(std::isfinite(halcyra::ValueToFloat(text)));
    Check(std::isfinite(halcyra::ValueToFloat(text, ',')));
    const std::string_view unit = halcyra::ObservationUnit(text);
    Check(unit.size() <= text.size());
    return 0;
}
