#include "app/RunStatus.h"

#include "platform/Text.h"

#include <algorithm>

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

std::string SourceName(const TRunStatus& s)
{
    return std::string(s.centralStation ? "central station " : "relay of ") + Shown(s.host) + ":" +
           std::to_string(s.port);
}

bool AnyTicked(const TRunStatus& s)
{
    for (const TPatientStatus& p : s.patients)
        if (p.ticked) return true;
    return false;
}

std::string ConnectionText(const TRunStatus& s)
{
    if (s.connected) return ", connected";
    if (s.socketOpen) return ", connection open but no message received";
    if (s.socketError != 0) return ", not connected: " + SocketErrorClause(s.socketError);
    return ", not connected";
}

}  // namespace

std::string SocketErrorClause(int windowsSocketsError)
{
    switch (windowsSocketsError) {
        case 10061:
            return "refuses connections";
        case 10060:
            return "does not answer";
        case 10065:
        case 10051:
            return "cannot be reached";
        case 11001:
            return "is not found";
        case 10054:
            return "closed the connection";
        default:
            break;
    }
    return "socket error " + std::to_string(windowsSocketsError);
}

std::string IdleReason(const TRunStatus& s)
{
    if (s.status == csConnected) {
        if (!s.parametersChosen)
            return "no parameter is chosen for collection (halcyra --set Automatic=1 collects every parameter)";
        if (!s.autoStart) return "AutoStart is off (halcyra --set AutoStart=1 starts collecting at start-up)";
    }
    if (s.status == csCollecting && !s.autoCreate && !AnyTicked(s))
        return "no patient is ticked and AutoCreate is off (halcyra --set AutoCreate=1 ticks new patients)";
    return {};
}

TRunHealth RunHealth(const TRunStatus& s)
{
    TRunHealth health;
    const std::string idle = IdleReason(s);
    if (s.status == csConnectionLost) {
        health.problems.push_back("connection lost" +
                                  (s.lastMessage > 0 ? ", no message since " + DateTimeToStr(s.lastMessage) : ""));
    } else if (!s.connected) {
        health.problems.push_back(SourceName(s) + " " + ConnectionText(s).substr(2));
    } else if (s.status != csCollecting) {
        health.problems.push_back("not collecting" + (idle.empty() ? std::string() : ": " + idle));
    } else if (!idle.empty()) {
        health.problems.push_back("not writing: " + idle);
    }
    if (s.dataManager.used && !s.dataManager.connected) health.problems.push_back("data manager lost");
    return health;
}

std::string ServiceStatusLine(const TRunStatus& s)
{
    std::string line;
    if (s.status == csCollecting && IdleReason(s).empty()) {
        std::int64_t collecting = 0;
        TDateTime last = 0;
        for (const TPatientStatus& p : s.patients) {
            if (p.ticked && p.present) ++collecting;
            last = std::max(last, p.lastPointTime);
        }
        line = "collecting " + std::to_string(collecting) + (collecting == 1 ? " patient" : " patients");
        if (last > 0) line += ", last value " + FormatDateTime("hh:nn:ss", last);
    } else if (s.status == csConnectionLost) {
        line = SourceName(s) + ": connection lost";
        if (s.lastMessage > 0) line += ", no message since " + FormatDateTime("hh:nn:ss", s.lastMessage);
    } else if (!s.connected) {
        line =
            SourceName(s) + (s.socketError != 0 ? " " + SocketErrorClause(s.socketError) : ConnectionText(s).substr(1));
    } else {
        const std::string idle = IdleReason(s);
        line = "connected, not " + std::string(s.status == csCollecting ? "writing" : "collecting") +
               (idle.empty() ? std::string() : ": " + idle);
    }
    if (s.dataManager.used && !s.dataManager.connected) line += "; data manager lost";
    return line;
}

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
    const TRunHealth health = RunHealth(s);
    std::string problems;
    for (const std::string& problem : health.problems) problems += (problems.empty() ? "" : "; ") + problem;
    text += "Health: " + (health.Ok() ? std::string("ok") : problems) + "\n";
    text += "Data source: " + SourceName(s) + ConnectionText(s) + "\n";
    text += "Status: " + std::string(StatusName(s.status)) + "; interval " + std::to_string(s.intervalSeconds) +
            " s, next boundary " + TimeOrDash(s.nextBoundary) + "\n";
    text += "Messages: " + std::to_string(s.messagesReceived) + " received, the last at " + TimeOrDash(s.lastMessage) +
            ", " + std::to_string(s.messagesDropped) + " dropped; " + std::to_string(s.pointsWritten) +
            " points written this run, " + std::to_string(s.writesFailed) + " writes failed\n";
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
