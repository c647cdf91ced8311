// What the log and the window show for each collection status.
#pragma once

#include "hl7/CollectStatusCode.h"

#include <string_view>

namespace halcyra {

// The log line written whenever a status is set.
std::string_view StatusLogLine(TCollectStatus status);

enum class TAnimation { StillNotConnected, StillConnected, PlayingCollecting };

// The control states a status gives, whatever the status was before. Optional items are left unchanged
// when absent.
struct TStatusControls {
    TAnimation animation = TAnimation::StillNotConnected;
    bool showWindow = false;         // shown and brought to the front
    bool trayVisible = false;        // the tray icon, with the collecting hint when visible
    bool intervalEnabled = false;    // btnInterval
    bool disableParameters = false;  // btnParameters disabled (otherwise unchanged)
    bool startEnabled = false;       // btnStart
    bool startVisible = true;
    bool stopVisible = false;         // btnStop
    bool hideEnabled = false;         // btnHide
    bool serverSelectVisible = true;  // btnServerSelect
    bool clearParameterGrid = false;
};

TStatusControls ControlsForStatus(TCollectStatus status);

inline constexpr std::string_view kCollectingHint = "Collecting Central Station Data";

}  // namespace halcyra
