#include "platform/Log.h"

#include "platform/Text.h"

namespace halcyra {
namespace {

bool Occurs(std::string_view message, const std::string& line)
{
    return !message.empty() && line.find(message) != std::string::npos;
}

}  // namespace

TLog::TLog(const IClock& clock, const TFileSystem& files, TFormatSettings format)
    : clock_(clock), files_(files), format_(std::move(format))
{
}

void TLog::LoadExisting()
{
    // The first run has no log yet: that is an empty one, not an error.
    if (!files_.FileExists(logPath_) && !files_.DirectoryExists(logPath_)) {
        lines_.clear();
        return;
    }
    const std::string text = files_.ReadFile(logPath_);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    lines_ = std::move(lines);
}

void TLog::AddLogLine(std::string_view message)
{
    AddLogLine(message, LogPriorityOf(message));
}

void TLog::AddLogLine(std::string_view rawMessage, TLogPriority priority)
{
    const std::string message = EscapeControlCharacters(rawMessage);
    const std::string line = DateTimeToStr(clock_.Now(), format_) + ": " + message;
    // The empty line marks a new run in the file; on a terminal or in the journal it is only a gap.
    if (mirror_ && !message.empty()) {
        try {
            mirror_(TLogEntry{line, message, priority});
        } catch (...) {
        }
    }
    if (!EnableLogfile) return;
    try {
        const std::size_t n = lines_.size();
        if (n <= 1) {
            lines_.push_back(line);
        } else {
            const bool inLast = Occurs(message, lines_[n - 1]);
            const bool inPrevious = inLast && Occurs(message, lines_[n - 2]);
            const bool previousIsEllipsis = inLast && lines_[n - 2].find("...") != std::string::npos;
            if (inLast && inPrevious) {
                lines_[n - 1] = "...";
                lines_.push_back(line);
            } else if (inLast && previousIsEllipsis) {
                lines_[n - 1] = line;
            } else {
                lines_.push_back(line);
            }
        }
        if (lines_.size() > kMaxLogLines) lines_.erase(lines_.begin());
        Save();
    } catch (...) {
        // The log must never disturb the program; the lines stay and are written with the next one.
    }
}

void TLog::Save() const
{
    if (logPath_.empty()) return;
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += '\n';
    }
    files_.WriteFileAtomic(logPath_, text);
}

}  // namespace halcyra
