#include "app/RunStatus.h"

#include "platform/Text.h"

namespace halcyra {
namespace {

std::string TimeOrDash(TDateTime time)
{
    return time > 0 ? DateTimeToStr(time) : std::string("-");
}

std::string Shown(std::string_view text)
{
    return text.empty() ? std::string("-") : Win1252ToUtf8(EscapeControlCharacters(std::string(text)));
}

std::string YesNo(bool value)
{
    return value ? "yes" : "no";
}

}  // namespace

std::string_view StatusName(TCollectStatus status)
{
    switch (status) {
        case csConnected:
            return "connected";
        case csCollecting:
            return "collecting";
        case csConnectionLost:
            return "connection lost";
        case csNotConnected:
            break;
    }
    return "not connected";
}

std::string DataManagerLine(const TDataManagerState& d)
{
    if (!d.used) return "Data manager: not used";
    std::string line = "Data manager: ";
    if (d.connected) {
        line += "connected";
    } else {
        line += "lost";
        if (d.since > 0) line += " since " + FormatDateTime("hh:nn:ss", d.since);
        if (!d.lastError.empty()) line += ": " + d.lastError;
    }
    return line;
}

std::string FormatRunStatusText(const TRunStatus& s)
{
    std::string text = "Halcyra " + s.mode + ", PID " + std::to_string(s.pid) + ", at " + TimeOrDash(s.now) + "\n";
    text += std::string("Data source: ") + (s.centralStation ? "central station " : "relay of ") + Shown(s.host) + ":" +
            std::to_string(s.port) + (s.connected ? ", connected" : ", not connected") + "\n";
    text += "Status: " + std::string(StatusName(s.status)) + "; interval " + std::to_string(s.intervalSeconds) +
            " s, next boundary " + TimeOrDash(s.nextBoundary) + "\n";
    text += "Messages: " + std::to_string(s.messagesReceived) + " received, " + std::to_string(s.messagesDropped) +
            " dropped; " + std::to_string(s.pointsWritten) + " points written this run\n";
    text += DataManagerLine(s.dataManager) + "\n";
    text += "Patients: " + std::to_string(s.patients.size()) + "; " + std::to_string(s.patientsExpired) +
            " expired this run\n";
    for (const TPatientStatus& p : s.patients) {
        const std::string collecting =
            p.waitingUntil > 0 ? "waiting for the clock to pass " + FormatDateTime("hh:nn:ss", p.waitingUntil)
                               : YesNo(p.collecting);
        text += "  " + Shown(p.id) + "  name " + Shown(p.name) + "  ticked " + YesNo(p.ticked) + "  collecting " +
                collecting + "  last written " + TimeOrDash(p.lastPointTime) + "  points " +
                std::to_string(p.pointsWritten) + "  file " + Shown(p.file) + "  problem " +
                (p.problem.empty() ? std::string("-") : Shown(p.problem) + (p.problemCurrent ? "" : " (earlier)")) +
                "\n";
    }
    return text;
}

}  // namespace halcyra
