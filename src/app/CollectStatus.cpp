#include "app/CollectStatus.h"

namespace halcyra {

std::string_view StatusLogLine(TCollectStatus status)
{
    switch (status) {
        case csConnected:
            return "Connected but not collecting";
        case csCollecting:
            return "Connected and collecting";
        case csNotConnected:
        case csConnectionLost:
            break;
    }
    return "Not Connected";
}

TStatusControls ControlsForStatus(TCollectStatus status)
{
    TStatusControls c;
    switch (status) {
        case csConnected:
            c.animation = TAnimation::StillConnected;
            c.intervalEnabled = true;
            c.startEnabled = true;
            break;
        case csCollecting:
            c.animation = TAnimation::PlayingCollecting;
            c.trayVisible = true;
            c.intervalEnabled = true;
            c.startVisible = false;
            c.stopVisible = true;
            c.hideEnabled = true;
            c.serverSelectVisible = false;
            break;
        case csNotConnected:
        case csConnectionLost:
            c.showWindow = true;
            c.disableParameters = true;
            c.clearParameterGrid = true;
            break;
    }
    return c;
}

}  // namespace halcyra
