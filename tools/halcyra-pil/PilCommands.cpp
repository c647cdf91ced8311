#include "PilCommands.h"

#include "PilRead.h"
#include "platform/Text.h"
#include "savefile/MonitorCheck.h"
#include "savefile/MonitorReader.h"
#include "savefile/SaveITNew.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace halcyra::pil {
namespace {

constexpr std::int32_t kLargestReserve = 64 * 1024 * 1024;

template <class T>
bool ParseWhole(const std::string& text, T& out)
{
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+') ++begin;
    if (begin == end) return false;
    const auto [ptr, ec] = std::from_chars(begin, end, out);
    return ec == std::errc() && ptr == end;
}

std::string Number(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Csv(const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string FileTypeName(TTovFileType type)
{
    switch (type) {
        case TTovFileType::ftMonitorData:
            return "monitor data";
        case TTovFileType::ftVideoFileController:
            return "video file controller";
        case TTovFileType::ftUnknown:
            return "unknown";
        default:
            return "other";
    }
}

// Opens the header region of a monitor-data file for the commands that write into it. A file that is
// not sound is refused and left untouched: writing into it would bury its fault under new data. A last
// record cut short is the exception: the write cuts it away.
std::vector<const TParameterSerie*> MonitorHeader(TSaveItNew& saveIt, const std::filesystem::path& file)
{
    const TMonitorCheck check = InspectMonitorFile(ReadWhole(file));
    if (!check.problems.empty() && !check.onlyTailCutShort)
        throw EPilError(Shown(file) + ": not sound, left untouched (" + check.problems.front() +
                        "; see halcyra-pil check)");
    saveIt.SetFileName(file);
    try {
        saveIt.ReadHeaderRegion();
    } catch (const std::exception& e) {
        throw EPilError(Shown(file) + ": not a monitor-data file (" + e.what() + ")");
    }
    if (saveIt.FileType() != TTovFileType::ftMonitorData) throw EPilError(Shown(file) + ": not a monitor-data file");
    return saveIt.ParameterSeries();
}

void Append(const std::filesystem::path& file, std::uint16_t index, const std::function<bool(TSaveItNew&)>& append)
{
    TSaveItNew saveIt(std::make_shared<TPosixSaveFileIo>());
    const auto series = MonitorHeader(saveIt, file);
    if (index >= series.size() || series[index]->Index != index)
        throw EPilError(Shown(file) + ": series " + std::to_string(index) + " is not declared");
    std::string failure;
    saveIt.OnLog = [&](const std::string& line) { failure = line; };
    if (!append(saveIt)) throw EPilError(failure);
}

}  // namespace

std::string Shown(const std::filesystem::path& file)
{
    return HostPathText(file);
}

std::uint16_t ParseIndex(const std::string& text)
{
    unsigned value = 0;
    if (!ParseWhole(text, value) || value > 65535) throw EPilError("invalid series index '" + text + "' (0..65535)");
    return static_cast<std::uint16_t>(value);
}

TDateTime ParseTime(const std::string& text)
{
    TDateTime time = 0;
    if (ParseIsoDateTime(text, time)) return time;
    if (ParseWhole(text, time) && std::isfinite(time)) return time;
    throw EPilError("invalid time '" + text + "' (a date-time number or YYYY-MM-DDThh:mm:ss[.fff])");
}

double ParseValue(const std::string& text)
{
    double value = 0;
    if (!ParseWhole(text, value) || !std::isfinite(value)) throw EPilError("invalid value '" + text + "'");
    return value;
}

std::int32_t ParseCode(const std::string& text)
{
    std::int32_t value = 0;
    if (!ParseWhole(text, value)) throw EPilError("invalid delimiter code '" + text + "'");
    return value;
}

std::int32_t ParseReserve(const std::string& text)
{
    std::int32_t value = 0;
    if (!ParseWhole(text, value) || value < 0 || value > kLargestReserve)
        throw EPilError("invalid reserved size '" + text + "' (0.." + std::to_string(kLargestReserve) + ")");
    return value;
}

void Create(const std::filesystem::path& file, const std::string& id, const std::string& name, const std::string& kind,
            std::int32_t reserve)
{
    TSaveItNew saveIt(std::make_shared<TPosixSaveFileIo>());
    saveIt.SetFileName(file);
    saveIt.SetMinimumReservedSpaceForMonitorParameters(reserve);
    saveIt.OpenOrCreate(kind, "", id, name, false);
}

std::uint16_t Declare(const std::filesystem::path& file, const std::string& label, const std::string& unit,
                      const std::string& place, const std::string& extra, const std::string& parameterId)
{
    TSaveItNew saveIt(std::make_shared<TPosixSaveFileIo>());
    const auto series = MonitorHeader(saveIt, file);
    if (series.size() > 65535) throw EPilError(Shown(file) + ": no free series index");
    const auto index = static_cast<std::uint16_t>(series.size());
    saveIt.AddParameterSerie(index, label, place, extra, parameterId, unit);
    return index;
}

void AddValue(const std::filesystem::path& file, std::uint16_t index, TDateTime time, double value)
{
    Append(file, index, [&](TSaveItNew& s) { return s.AddValuePoint(index, time, value); });
}

void AddDelimiter(const std::filesystem::path& file, std::uint16_t index, TDateTime time, std::int32_t code)
{
    Append(file, index, [&](TSaveItNew& s) { return s.AddDelimiterPoint(index, code, time); });
}

std::vector<std::string> Dump(const std::filesystem::path& file, bool csv, std::ostream& out)
{
    const TShownFile shown = ReadShown(file);
    const TMonitorFileContent& content = shown.content;
    struct TRow {
        std::string series;
        std::string unit;
        std::vector<TShownPoint> points;
    };
    std::vector<TRow> rows;
    if (!csv)
        out << "File type: " << static_cast<int>(content.FileType) << " (" << FileTypeName(content.FileType) << ")\n";
    for (const auto& object : content.Objects) {
        if (const auto* info = dynamic_cast<const TMonitorInfo*>(object.get())) {
            if (csv) continue;
            out << "Monitor kind: " << Utf8(info->MonitorKind) << '\n'
                << "Monitor qualifier: " << Utf8(info->MonitorQualifier) << '\n'
                << "Patient ID: " << Utf8(info->PatientId) << '\n'
                << "Patient name: " << Utf8(info->PatientName) << '\n';
        } else if (const auto* serie = dynamic_cast<const TParameterSerie*>(object.get())) {
            if (!csv)
                out << "Series " << serie->Index << ": label \"" << Utf8(serie->Info.ParameterName()) << "\", place \""
                    << Utf8(serie->Info.MeasurementPlace()) << "\", extra \"" << Utf8(serie->Info.ParamExtraName())
                    << "\", unit \"" << Utf8(serie->UnitName) << "\", parameter ID \""
                    << Utf8(serie->Info.ParameterID()) << "\"\n";
            if (serie->Serie) rows.push_back({serie->Info.ParameterName(), serie->UnitName, PointsOf(*serie->Serie)});
        } else if (const auto* video = dynamic_cast<const TVideoSerie*>(object.get())) {
            rows.push_back({video->Caption, "", PointsOf(*video)});
        }
    }
    if (csv)
        out << "series,unit,time,value,kind\n";
    else
        out << "Points:\n";
    for (const TRow& row : rows)
        for (const TShownPoint& p : row.points) {
            if (csv)
                out << Csv(Utf8(row.series)) << ',' << Csv(Utf8(row.unit)) << ',' << FormatIsoMilliseconds(p.time)
                    << ',' << Number(p.value) << ',' << KindName(p.kind) << '\n';
            else
                out << Utf8(row.series) << '\t' << FormatIsoMilliseconds(p.time) << '\t' << Number(p.value) << '\t'
                    << KindName(p.kind) << '\n';
        }
    return ProblemsOf(shown.bytes);
}

std::vector<std::string> Check(const std::filesystem::path& file)
{
    return ProblemsOf(ReadWhole(file));
}

}  // namespace halcyra::pil
