#include "PilRead.h"

#include "PilCommands.h"
#include "platform/Text.h"
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
    if (!std::filesystem::is_regular_file(file)) throw EPilError(Shown(file) + ": no such file");
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

}  // namespace halcyra::pil
