#include "PilPlotPlan.h"

#include "PilCommands.h"
#include "PilRead.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

namespace halcyra::pil {
namespace {

std::string Stamp(TDateTime time)
{
    return FormatDateTime("yyyy-mm-dd hh:nn:ss", time);
}

std::string Joined(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
    return joined.empty() ? "none" : joined;
}

// "YYYY-MM-DD HH:MM" or with a T: the minute without seconds.
bool IsMinuteStamp(const std::string& text)
{
    if (text.size() != 16) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool ok = i == 4 || i == 7 ? c == '-'
                        : i == 10        ? c == ' ' || c == 'T'
                        : i == 13        ? c == ':'
                                         : std::isdigit(static_cast<unsigned char>(c)) != 0;
        if (!ok) return false;
    }
    return true;
}

}  // namespace

TTimeAxis TimeAxisFor(TDateTime from, TDateTime to)
{
    constexpr std::int64_t second = 1000;
    constexpr std::int64_t minute = 60 * second;
    constexpr std::int64_t hour = 60 * minute;
    constexpr std::int64_t day = 24 * hour;
    constexpr std::int64_t steps[] = {second,      2 * second,  5 * second, 10 * second, 15 * second,
                                      30 * second, minute,      2 * minute, 5 * minute,  10 * minute,
                                      15 * minute, 30 * minute, hour,       2 * hour,    3 * hour,
                                      6 * hour,    12 * hour,   day,        2 * day,     7 * day};
    constexpr int kMostSteps = 10;
    // In whole milliseconds of local time, so the ticks fall on round clock times.
    const std::int64_t first = std::llround(from / kOneMillisecond);
    const std::int64_t last = std::llround(to / kOneMillisecond);
    const auto floorTo = [](std::int64_t t, std::int64_t step) { return (t / step - (t % step < 0)) * step; };
    std::int64_t low = 0;
    std::int64_t high = 0;
    std::int64_t chosen = 0;
    for (const std::int64_t step : steps) {
        chosen = step;
        // A step beyond a value on a tick, so no value sits on the frame.
        low = floorTo(first, step) - (floorTo(first, step) == first ? step : 0);
        high = floorTo(last, step) + step;
        if ((high - low) / step <= kMostSteps) break;
    }
    if ((high - low) / chosen > kMostSteps) {
        chosen = ((last - first) / kMostSteps / day + 1) * day;
        low = floorTo(first, chosen) - (floorTo(first, chosen) == first ? chosen : 0);
        high = floorTo(last, chosen) + chosen;
    }
    TTimeAxis axis;
    axis.min = static_cast<double>(low) * kOneMillisecond;
    axis.max = static_cast<double>(high) * kOneMillisecond;
    axis.ticks = static_cast<int>((high - low) / chosen) + 1;
    const bool oneDay = DecodeDateTime(axis.min).day == DecodeDateTime(axis.max - kOneMillisecond).day;
    axis.format = chosen >= day ? "yyyy-MM-dd" : !oneDay ? "MM-dd HH:mm" : chosen < minute ? "HH:mm:ss" : "HH:mm";
    return axis;
}

TPlotPlan PlanPlot(const TMonitorFileContent& content, const TPlotRequest& request, const std::string& fileName)
{
    if (content.FileType != TTovFileType::ftMonitorData) throw EPilError(fileName + ": not a monitor-data file");
    if (request.from && request.to && *request.from > *request.to)
        throw EPilError("--from " + Stamp(*request.from) + " is after --to " + Stamp(*request.to));

    const TMonitorInfo* info = nullptr;
    std::vector<const TParameterSerie*> declared;
    for (const auto& object : content.Objects) {
        if (const auto* i = dynamic_cast<const TMonitorInfo*>(object.get())) info = i;
        if (const auto* s = dynamic_cast<const TParameterSerie*>(object.get())) declared.push_back(s);
    }
    const auto wanted = [&](const std::string& label) {
        return request.labels.empty() ||
               std::find(request.labels.begin(), request.labels.end(), label) != request.labels.end();
    };
    for (const std::string& label : request.labels)
        if (std::none_of(declared.begin(), declared.end(),
                         [&](const TParameterSerie* s) { return s->Info.ParameterName() == label; })) {
            std::vector<std::string> labels;
            // Single-byte like every message; it is shown as UTF-8.
            for (const TParameterSerie* s : declared) labels.push_back(s->Info.ParameterName());
            throw EPilError(fileName + ": no series '" + label + "' (its series: " + Joined(labels) + ")");
        }

    const auto inRange = [&](TDateTime t) {
        return (!request.from || t >= *request.from) && (!request.to || t <= *request.to);
    };
    TPlotPlan plan;
    std::vector<std::string> units;  // each panel's unit as in the file
    TDateTime first = std::numeric_limits<double>::infinity();
    TDateTime last = -first;
    std::size_t colour = 0;
    for (const TParameterSerie* serie : declared) {
        if (!wanted(serie->Info.ParameterName())) continue;
        TPlotSeries shown{Utf8(serie->Info.ParameterName()), 0, {}};
        if (serie->Serie) {
            TPlotSegment run;
            for (const TShownPoint& p : PointsOf(*serie->Serie)) {
                if (p.kind == TPointKind::Delimiter) {
                    if (!run.empty()) shown.segments.push_back(std::move(run));
                    run.clear();
                    continue;
                }
                // A value that is not a number has no place on an axis.
                if (p.kind != TPointKind::Value || !inRange(p.time) || !std::isfinite(p.value)) continue;
                run.push_back({p.time, p.value});
                first = std::min(first, p.time);
                last = std::max(last, p.time);
            }
            if (!run.empty()) shown.segments.push_back(std::move(run));
        }
        if (shown.segments.empty() && request.labels.empty()) continue;
        shown.colour = colour++;
        const auto panel =
            static_cast<std::size_t>(std::find(units.begin(), units.end(), serie->UnitName) - units.begin());
        if (panel == units.size()) {
            units.push_back(serie->UnitName);
            plan.panels.push_back({Utf8(serie->UnitName), {}});
        }
        plan.panels[panel].series.push_back(std::move(shown));
    }
    if (first > last) {
        std::string range;
        if (request.from) range += " from " + Stamp(*request.from);
        if (request.to) range += " to " + Stamp(*request.to);
        throw EPilError(fileName + ": no values to plot" + range);
    }
    plan.from = request.from.value_or(first);
    plan.to = request.to.value_or(last);
    plan.axis = TimeAxisFor(plan.from, plan.to);
    plan.title = "Patient ID " + Utf8(info ? info->PatientId : std::string());
    if (info && !info->PatientName.empty()) plan.title += ", " + Utf8(info->PatientName);
    plan.title += ": " + Stamp(plan.from) + " to " + Stamp(plan.to);
    return plan;
}

TDateTime ParsePlotTime(const std::string& text)
{
    try {
        return ParseTime(IsMinuteStamp(text) ? text + ":00" : text);
    } catch (const EPilError&) {
        throw EPilError("invalid time '" + text + "' (YYYY-MM-DD HH:MM[:SS] or YYYY-MM-DDTHH:MM[:SS], local time)");
    }
}

}  // namespace halcyra::pil
