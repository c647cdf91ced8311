// The program's log: a list of at most kMaxLogLines lines, written back whole after every line while
// "EnableLogfile" is on. Runs of one message collapse to first line, "..." and latest line.
#pragma once

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/LogPriority.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

inline constexpr std::string_view kLogFileName = "Halcyra Logfile.txt";
// A day of once-a-minute summaries of two lasting causes (2 x 1,440 lines) still fits, with the day's other
// lines; the whole file (a few hundred KB) is rewritten per line, which the throttled lines keep rare.
inline constexpr std::size_t kMaxLogLines = 3000;

// One line as the mirror receives it.
struct TLogEntry {
    std::string line;     // as the log file holds it: the time stamp, ": " and the message
    std::string message;  // the message alone, escaped as in the line
    TLogPriority priority;
};

class TLog {
public:
    TLog(const IClock& clock, const TFileSystem& files, TFormatSettings format = {});

    bool EnableLogfile = false;

    // The log file's Windows path; empty until start-up has set it (lines are then kept in memory only).
    void SetLogPath(std::string path) { logPath_ = std::move(path); }
    const std::string& LogPath() const { return logPath_; }

    // Replaces the line list by the lines of the log file (none when there is no file yet); throws when
    // the file cannot be read.
    void LoadExisting();

    // Control characters in the message are written escaped ("\x0A"), so a message is always one line.
    // Without a priority the wording of the message decides it (LogPriorityOf).
    void AddLogLine(std::string_view message);
    void AddLogLine(std::string_view message, TLogPriority priority);

    // Receives every message passed to AddLogLine, logged to file or not (the service's standard error),
    // except the empty one that separates the runs in the file.
    void SetMirror(std::function<void(const TLogEntry& entry)> mirror) { mirror_ = std::move(mirror); }

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    void Save() const;

    const IClock& clock_;
    const TFileSystem& files_;
    TFormatSettings format_;
    std::string logPath_;
    std::vector<std::string> lines_;
    std::function<void(const TLogEntry&)> mirror_;
};

}  // namespace halcyra
