// What a plot of a monitor-data file draws, without drawing it: one panel per unit, each series cut
// into runs at its delimiters, so no line joins a value before a delimiter to one after it.
#pragma once

#include "platform/DateTime.h"
#include "savefile/MonitorReader.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace halcyra::pil {

struct TPlotPoint {
    TDateTime time;
    double value;
};

// A run of values with no delimiter inside it: one line.
using TPlotSegment = std::vector<TPlotPoint>;

struct TPlotSeries {
    std::string label;   // as shown: UTF-8, control characters escaped
    std::size_t colour;  // the series' place in the whole picture, so no two series share a colour
    // Empty for a series asked for by name that has no values in the range.
    std::vector<TPlotSegment> segments;
};

struct TPlotPanel {
    std::string unit;  // as shown
    std::vector<TPlotSeries> series;
};

// A time axis with its ticks on round local times: whole steps of a second up to a week.
struct TTimeAxis {
    TDateTime min = 0;
    TDateTime max = 0;
    int ticks = 2;       // including both ends
    std::string format;  // in Qt's date-time format
};

// The smallest round axis around [from, to] with at most ten steps, neither end on a value.
TTimeAxis TimeAxisFor(TDateTime from, TDateTime to);

struct TPlotPlan {
    std::string title;  // the patient's ID and name and the time range drawn
    TDateTime from = 0;
    TDateTime to = 0;
    TTimeAxis axis;
    std::vector<TPlotPanel> panels;  // in the order their units first appear in the file
};

struct TPlotRequest {
    std::vector<std::string> labels;  // single-byte, as in the file; none: every series with values
    std::optional<TDateTime> from;    // both ends included
    std::optional<TDateTime> to;
};

// EPilError, naming `fileName`, for content that is not monitor data, a label no series has (listing
// the labels there are), an empty range, and a range with no values.
TPlotPlan PlanPlot(const TMonitorFileContent& content, const TPlotRequest& request, const std::string& fileName);

// Local time "YYYY-MM-DD HH:MM[:SS[.fff]]" with a blank or a T between date and time, or a date-time
// number; EPilError for anything else.
TDateTime ParsePlotTime(const std::string& text);

}  // namespace halcyra::pil
