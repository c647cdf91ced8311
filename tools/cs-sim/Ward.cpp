#include "Ward.h"

#include "hl7/Segments.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <utility>

namespace cssim {

using halcyra::TDateTime;
using halcyra::TSegmentList;
namespace item = halcyra::hl7item;

namespace {

struct TVitalSign {
    const char* code;  // OBX-3 component 1: plain decimal or hyphenated hexadecimal
    const char* label;
    const char* unit;  // OBX-6: plain, or code^unit^coding system
    double normal;
    double spread;  // how far a patient's own normal and the drift stray from it
    double low;
    double high;
    int decimals;
};

enum : std::size_t { kHr, kSpO2, kRr, kTemp, kAbpS, kAbpD, kVitalCount };

// Text in Windows-1252, as the station sends it.
const TVitalSign kVitals[kVitalCount] = {
    {"0002-4182", "HR", "264864^/min^MDIL", 78, 9, 30, 220, 0},
    {"150456", "SpO2", "262688^%^MDIL", 97, 1.3, 70, 100, 0},
    {"0002-500A", "RR", "264928^/min^MDIL", 16, 3, 4, 60, 0},
    {"150344", "T1",
     "\xB0"
     "C",
     36.9, 0.35, 33, 42, 1},
    {"0002-4A15", "ABP-S", "266016^mmHg^MDIL", 122, 11, 60, 230, 0},
    {"0002-4A16", "ABP-D", "266016^mmHg^MDIL", 74, 7, 30, 140, 0},
};
constexpr const char* kAbpMean[2] = {"0002-4A17", "ABP-M"};
constexpr const char* kCuff[3][2] = {{"0002-4A05", "NBP-S"}, {"0002-4A06", "NBP-D"}, {"0002-4A07", "NBP-M"}};
constexpr const char* kCuffUnit = "mmHg";

const char* const kLastNames[] = {"Smith",
                                  "Jansen",
                                  "M\xFCller",
                                  "Larsen",
                                  "Rossi",
                                  "Novak",
                                  "Dubois",
                                  "Kowalski",
                                  "Garc\xED"
                                  "a",
                                  "Berg",
                                  "O'Brien",
                                  "Nguyen"};
const char* const kFirstNames[] = {"Anna",   "John", "J\xFCrgen", "Maria",  "S\xF8ren", "Elena",
                                   "Pierre", "Aino", "Jos\xE9",   "Fatima", "Lars",     "Mei"};

// How fast a vital sign forgets where it was, in seconds.
constexpr double kDriftMemory = 300;

// A segment from its items, numbered as GetField numbers them (item 1 is the segment's name).
std::string Segment(std::initializer_list<std::pair<int, std::string>> items)
{
    int count = 0;
    for (const auto& [k, text] : items) count = std::max(count, k);
    std::vector<std::string> fields(static_cast<std::size_t>(count));
    for (const auto& [k, text] : items) fields[static_cast<std::size_t>(k - 1)] = text;
    std::string segment;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) segment += '|';
        segment += fields[i];
    }
    return segment;
}

std::string Number(double value, int decimals)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

std::string Observation(int setId, const std::string& code, const std::string& label, const std::string& value,
                        const std::string& unit)
{
    return Segment({{1, "OBX"},
                    {2, std::to_string(setId)},
                    {item::kObxValueType, "NM"},
                    {item::kObxIdentifier, code + "^" + label + "^MDIL"},
                    {item::kObxValue, value},
                    {item::kObxUnits, unit},
                    {12, "F"}});  // OBX-11 result status
}

std::string AperiodicObservation(int setId, const char* const (&code)[2], double value, TDateTime taken)
{
    return Segment({{1, "OBX"},
                    {2, std::to_string(setId)},
                    {item::kObxValueType, "NM"},
                    {item::kObxIdentifier, std::string(code[0]) + "^" + code[1] + "^MDIL"},
                    {item::kObxValue, Number(value, 0)},
                    {item::kObxUnits, kCuffUnit},
                    {12, "F"},
                    {item::kObxAperiodic, "APERIODIC"},
                    {item::kObxTime, halcyra::FormatCompactStamp(taken)}});
}

}  // namespace

TWard::TWard(int beds, std::uint64_t seed, TDateTime start, double aperiodicEverySeconds)
    : random_(seed), cuffEvery_(aperiodicEverySeconds)
{
    for (int b = 0; b < beds; ++b) {
        TBed bed;
        const std::string id = std::to_string(10000000 + random_.Below(90000000));
        // Some stations append the identifier type, which the receiver's cleaning keeps as a suffix.
        bed.identifier = b % 2 == 0 ? id + "^^^^MR" : id;
        bed.name = std::string(kLastNames[random_.Below(std::size(kLastNames))]) + "^" +
                   kFirstNames[random_.Below(std::size(kFirstNames))];
        bed.birthDate = halcyra::FormatDateTime(
            "yyyymmdd",
            halcyra::EncodeDateTime(1930 + random_.Below(75), 1 + random_.Below(12), 1 + random_.Below(28)));
        bed.sex = random_.Chance(0.5) ? "F" : "M";
        bed.arterialLine = b % 2 == 1;
        for (const TVitalSign& v : kVitals) {
            const double mean = std::clamp(v.normal + 0.8 * v.spread * random_.Normal(), v.low, v.high);
            bed.mean.push_back(mean);
            bed.value.push_back(std::clamp(mean + 0.3 * v.spread * random_.Normal(), v.low, v.high));
        }
        if (cuffEvery_ > 0) bed.nextCuff = start + random_.Uniform() * cuffEvery_ * halcyra::kOneSecond;
        beds_.push_back(std::move(bed));
    }
}

void TWard::Drift(TBed& bed, double seconds)
{
    // Each value relaxes towards the patient's own normal and wanders by as much as it forgets.
    const double keep = std::exp(-std::max(seconds, 0.0) / kDriftMemory);
    const double wander = std::sqrt(1 - keep * keep);
    for (std::size_t i = 0; i < kVitalCount; ++i) {
        const TVitalSign& v = kVitals[i];
        const double next = bed.mean[i] + (bed.value[i] - bed.mean[i]) * keep + v.spread * wander * random_.Normal();
        bed.value[i] = std::clamp(next, v.low, v.high);
    }
    // Diastolic below systolic.
    bed.value[kAbpD] = std::min(bed.value[kAbpD], bed.value[kAbpS] - 15);
}

TSegmentList TWard::NextMessage(int bedIndex, TDateTime time)
{
    TBed& bed = beds_.at(static_cast<std::size_t>(bedIndex));
    Drift(bed, bed.lastTime == 0 ? 0 : (time - bed.lastTime) / halcyra::kOneSecond);
    bed.lastTime = time;

    const std::string stamp = halcyra::FormatCompactStamp(time);
    TSegmentList segments;
    segments.push_back(Segment({{1, "MSH"},
                                {2, "^~\\&"},
                                {3, "CSSIM"},
                                {4, "WARD"},
                                {7, stamp},
                                {9, "ORU^R01"},
                                {10, std::to_string(++controlId_)},
                                {11, "P"},
                                {item::kMshVersion, "2.3"}}));
    segments.push_back(Segment({{1, "PID"},
                                {2, "1"},
                                {item::kPidIdentifier, bed.identifier},
                                {item::kPidName, bed.name},
                                {8, bed.birthDate},
                                {9, bed.sex}}));
    segments.push_back(Segment({{1, "PV1"}, {2, "1"}, {3, "I"}, {4, "ICU^^" + std::to_string(bedIndex + 1)}}));
    segments.push_back(Segment({{1, "OBR"}, {2, "1"}, {5, "MON^Monitoring"}, {item::kObrObservationTime, stamp}}));

    int setId = 0;
    for (std::size_t i = 0; i < kVitalCount; ++i) {
        if ((i == kAbpS || i == kAbpD) && !bed.arterialLine) continue;
        const TVitalSign& v = kVitals[i];
        segments.push_back(Observation(++setId, v.code, v.label, Number(bed.value[i], v.decimals), v.unit));
    }
    if (bed.arterialLine) {
        const double mean = bed.value[kAbpD] + (bed.value[kAbpS] - bed.value[kAbpD]) / 3;
        segments.push_back(Observation(++setId, kAbpMean[0], kAbpMean[1], Number(mean, 0), kVitals[kAbpS].unit));
    }

    if (cuffEvery_ > 0 && bed.nextCuff <= time) {
        const double step = cuffEvery_ * halcyra::kOneSecond;
        while (bed.nextCuff + step <= time) bed.nextCuff += step;  // only the latest of a silent stretch
        const TDateTime taken = bed.nextCuff;
        bed.nextCuff += step;
        const double systolic = std::round(bed.value[kAbpS] + 6 * random_.Normal());
        const double diastolic = std::round(std::min(bed.value[kAbpD] + 4 * random_.Normal(), systolic - 15));
        const double mean = std::round(diastolic + (systolic - diastolic) / 3);
        segments.push_back(AperiodicObservation(++setId, kCuff[0], systolic, taken));
        segments.push_back(AperiodicObservation(++setId, kCuff[1], diastolic, taken));
        segments.push_back(AperiodicObservation(++setId, kCuff[2], mean, taken));
    }
    return segments;
}

}  // namespace cssim
