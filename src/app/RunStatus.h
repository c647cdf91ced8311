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
    bool connected = false;
    TCollectStatus status = csNotConnected;
    std::int32_t intervalSeconds = 0;
    TDateTime nextBoundary = 0;
    std::int64_t messagesReceived = 0;
    std::int64_t messagesDropped = 0;
    std::int64_t pointsWritten = 0;
    TDateTime now = 0;
    std::int64_t patientsExpired = 0;  // left the census this run after a day of absence
    TDataManagerState dataManager;
    std::vector<TPatientStatus> patients;
};

// "not connected", "connected", "collecting", "connection lost".
std::string_view StatusName(TCollectStatus status);

// "Data manager: connected", "Data manager: lost since hh:mm:ss: <cause>" or "Data manager: not used".
std::string DataManagerLine(const TDataManagerState& state);

// The text `halcyra --status` prints: a few lines on the run, then one line per patient.
std::string FormatRunStatusText(const TRunStatus& status);

}  // namespace halcyra
