#include "PilRead.h"

#include "PilCommands.h"
#include "platform/Text.h"
#include "savefile/MonitorCheck.h"
#include "savefile/SaveFileIo.h"

#include <algorithm>
#include <typeinfo>

namespace halcyra::pil {

const char* KindName(TPointKind kind)
{
    switch (kind) {
        case TPointKind::Value:
            return "value";
        case TPointKind::Delimiter:
            return "delimiter";
        case TPointKind::Other:
            break;
    }
    return "other";
}

std::vector<TShownPoint> PointsOf(const TSerieObject& serie)
{
    std::vector<TShownPoint> points;
    for (const auto& p : serie.DataSet().Points())
        points.push_back(
            {p->XValue, p->YValue, typeid(*p) == typeid(TXYPoint) ? TPointKind::Value : TPointKind::Other});
    for (const auto& p : serie.DataSet().ControlPoints())
        points.push_back(
            {p->XValue, p->YValue,
             dynamic_cast<const TRecordDelimiterPoint*>(p.get()) ? TPointKind::Delimiter : TPointKind::Other});
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    return points;
}

std::string ReadWhole(const std::filesystem::path& file)
{
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) throw EPilError(Shown(file) + ": no such file");
    if (error) throw EPilError(Shown(file) + ": cannot read: " + error.message());
    if (status.type() == std::filesystem::file_type::directory)
        throw EPilError(Shown(file) + ": is a folder, not a file");
    if (status.type() != std::filesystem::file_type::regular) throw EPilError(Shown(file) + ": not a regular file");
    return TPosixSaveFileIo().ReadAll(file);
}

TShownFile ReadShown(const std::filesystem::path& file)
{
    TShownFile shown;
    shown.bytes = ReadWhole(file);
    TMemoryStream stream(shown.bytes);
    TMicroReader reader;
    TMonitorReadOptions options;
    options.FileName = file;
    // What a reader would drop is reported by the check; here the rest is shown.
    options.OnProblem = [](std::int64_t, const std::string&) {};
    try {
        ReadMonitorFile(reader, stream, shown.content, options);
    } catch (const std::exception&) {
        // Kept as far as it could be read; the check says what is wrong.
    }
    return shown;
}

std::string Utf8(const std::string& text)
{
    return Win1252ToUtf8(EscapeControlCharacters(text));
}

std::vector<std::string> ProblemsOf(std::string_view bytes)
{
    std::vector<std::string> problems = CheckMonitorFile(bytes);
    for (std::string& problem : problems) problem = Utf8(problem);
    return problems;
}

}  // namespace halcyra::pil
