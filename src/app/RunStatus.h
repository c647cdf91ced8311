// A picture of the run at one moment, for `halcyra --status`: where the data comes from, the collection
// status and interval, the messages, and each census patient with what this run wrote for it.
#pragma once

#include "datamanager/DataManagerLink.h"
#include "hl7/CollectStatusCode.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TPatientStatus {
    std::string id;
    std::string name;  // as the census row shows it
    bool ticked = false;
    bool present = false;        // in the central station's stream since the last loss (the row is enabled)
    bool collecting = false;     // ticked, present, the run collecting, and not waiting for the clock
    TDateTime waitingUntil = 0;  // collected, but the values wait for the clock to pass this time
    TDateTime lastPointTime = 0;
    std::int64_t pointsWritten = 0;
    std::string file;
    std::string problem;  // the last one, current or not
    bool problemCurrent = false;
};

struct TRunStatus {
    std::string mode;  // "desktop", "service"
    std::int64_t pid = 0;
    bool centralStation = true;  // else another instance's relay
    std::string host;
    int port = 0;
    // Messages arrive: the status is "connected" or "collecting". The socket can be open while no message
    // comes (the status then says the connection is lost), and messages can come before it says so.
    bool connected = false;
    bool socketOpen = false;
    // The last socket error of the data source since it last connected (Windows Sockets number), 0 for none.
    int socketError = 0;
    TCollectStatus status = csNotConnected;
    std::int32_t intervalSeconds = 0;
    TDateTime nextBoundary = 0;
    std::int64_t messagesReceived = 0;
    std::int64_t messagesDropped = 0;
    TDateTime lastMessage = 0;  // the last complete message this run; 0 before the first
    std::int64_t pointsWritten = 0;
    std::int64_t writesFailed = 0;  // times a patient's values of a message were not written
    TDateTime now = 0;
    std::int64_t patientsExpired = 0;  // left the census this run after a day of absence
    TDataManagerState dataManager;
    // What makes a run that receives messages write them: "AutoStart" as stored, "AutoCreate", and whether
    // any parameter is chosen for collection.
    bool autoStart = false;
    bool autoCreate = false;
    bool parametersChosen = false;
    std::vector<TPatientStatus> patients;
};

// Whether the run does what it is there for: it receives, collects and can write, and tells the data
// manager when one is used. Each problem is a short clause; none means healthy.
struct TRunHealth {
    std::vector<std::string> problems;
    bool Ok() const { return problems.empty(); }
};
TRunHealth RunHealth(const TRunStatus& status);

// Why a run that receives messages writes nothing, with the command that changes it; empty when it can
// write (or does not receive).
std::string IdleReason(const TRunStatus& status);

// "refuses connections", "does not answer", "is not found", or "socket error N".
std::string SocketErrorClause(int windowsSocketsError);

// The run in a few words, for the service manager: "collecting 12 patients, last value 10:02:10",
// "central station 10.1.2.3:8000 refuses connections", "...; data manager lost".
std::string ServiceStatusLine(const TRunStatus& status);

// "not connected", "connected", "collecting", "connection lost".
std::string_view StatusName(TCollectStatus status);

// "Data manager: connected", "Data manager: lost since hh:mm:ss: <cause>" or "Data manager: not used".
std::string DataManagerLine(const TDataManagerState& state);

// The text `halcyra --status` prints: a few lines on the run (one "Health: ok" or "Health: <problems>"),
// then one line per patient.
std::string FormatRunStatusText(const TRunStatus& status);

}  // namespace halcyra
