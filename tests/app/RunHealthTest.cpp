// Whether a run does what it is there for, as `halcyra --status` exits and the service manager reads it.
#include "app/RunStatus.h"
#include "app/StatusAnswer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

TRunStatus Collecting()
{
    TRunStatus s;
    s.mode = "service";
    s.host = "10.1.2.3";
    s.port = 8000;
    s.connected = s.socketOpen = true;
    s.status = csCollecting;
    s.lastMessage = EncodeDateTime(2026, 12, 11, 10, 2, 12);
    s.dataManager.used = s.dataManager.connected = true;
    s.autoStart = s.parametersChosen = true;
    TPatientStatus p;
    p.id = "4711";
    p.ticked = p.present = p.collecting = true;
    p.lastPointTime = EncodeDateTime(2026, 12, 11, 10, 2, 10);
    s.patients.push_back(p);
    return s;
}

TEST(RunHealth, EachStateSaysWhatIsWrongAndStatusExitsAccordingly)
{
    struct TCase {
        const char* name;
        void (*change)(TRunStatus&);
        std::vector<std::string> problems;
        std::string serviceLine;
    };
    const std::string idleAutoStart = "AutoStart is off (halcyra --set AutoStart=1 starts collecting at start-up)";
    const std::string idleAutoCreate =
        "no patient is ticked and AutoCreate is off (halcyra --set AutoCreate=1 ticks new patients)";
    const TCase cases[] = {
        {"collecting", [](TRunStatus&) {}, {}, "collecting 1 patient, last value 10:02:10"},
        {"without a data manager",
         [](TRunStatus& s) { s.dataManager = {}; },
         {},
         "collecting 1 patient, last value 10:02:10"},
        {"data manager lost",
         [](TRunStatus& s) { s.dataManager.connected = false; },
         {"data manager lost"},
         "collecting 1 patient, last value 10:02:10; data manager lost"},
        {"refused",
         [](TRunStatus& s) {
             s.connected = s.socketOpen = false;
             s.status = csNotConnected;
             s.socketError = 10061;
         },
         {"central station 10.1.2.3:8000 not connected: refuses connections"},
         "central station 10.1.2.3:8000 refuses connections"},
        {"open, silent",
         [](TRunStatus& s) {
             s.connected = false;
             s.status = csNotConnected;
         },
         {"central station 10.1.2.3:8000 connection open but no message received"},
         "central station 10.1.2.3:8000 connection open but no message received"},
        {"lost while collecting",
         [](TRunStatus& s) {
             s.connected = false;
             s.status = csConnectionLost;
         },
         {"connection lost, no message since 2026-12-11 10:02:12"},
         "central station 10.1.2.3:8000: connection lost, no message since 10:02:12"},
        {"AutoStart off",
         [](TRunStatus& s) {
             s.status = csConnected;
             s.autoStart = false;
         },
         {"not collecting: " + idleAutoStart},
         "connected, not collecting: " + idleAutoStart},
        {"stopped by hand",
         [](TRunStatus& s) { s.status = csConnected; },
         {"not collecting"},
         "connected, not collecting"},
        {"nobody ticked, AutoCreate off",
         [](TRunStatus& s) {
             s.patients[0].ticked = false;
             s.autoCreate = false;
         },
         {"not writing: " + idleAutoCreate},
         "connected, not writing: " + idleAutoCreate},
        {"nobody ticked, AutoCreate on",
         [](TRunStatus& s) {
             s.patients[0].ticked = false;
             s.autoCreate = true;
         },
         {},
         "collecting 0 patients, last value 10:02:10"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TRunStatus status = Collecting();
        c.change(status);
        EXPECT_EQ(RunHealth(status).problems, c.problems);
        EXPECT_EQ(ServiceStatusLine(status), c.serviceLine);
        const int code = c.problems.empty() ? 0 : 3;
        EXPECT_EQ(StatusExitCode(StatusAnswer(status, false), false), code);
        EXPECT_EQ(StatusExitCode(StatusAnswer(status, true), true), code);
    }
}

}  // namespace
}  // namespace halcyra
