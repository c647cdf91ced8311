// A monitor-data file as dump and plot show it: read as far as the readers get, each series' points in
// time order with what kind of record each one is.
#pragma once

#include "platform/DateTime.h"
#include "savefile/MonitorReader.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra::pil {

enum class TPointKind { Value, Delimiter, Other };

struct TShownPoint {
    TDateTime time;
    double value;
    TPointKind kind;
};

const char* KindName(TPointKind kind);

// Values and control points merged by time; at the same time the values come first, so a value at a
// delimiter's own time belongs to the run the delimiter closes.
std::vector<TShownPoint> PointsOf(const TSerieObject& serie);

struct TShownFile {
    std::string bytes;
    TMonitorFileContent content;
};

// The file's bytes; EPilError naming the file when it is not there, is a folder or cannot be read.
std::string ReadWhole(const std::filesystem::path& file);

// Raises EPilError when the file is not there or cannot be read. A read that stops early leaves what
// it got: CheckMonitorFile(bytes) says what is wrong.
TShownFile ReadShown(const std::filesystem::path& file);

// Texts from the file as a terminal or a picture shows them: UTF-8, control characters escaped.
std::string Utf8(const std::string& text);

// What is wrong with a monitor-data file's bytes, one UTF-8 line each; none for a sound file.
std::vector<std::string> ProblemsOf(std::string_view bytes);

}  // namespace halcyra::pil
