// The collection status and what the window shows for each.
#pragma once

#include <cstdint>
#include <string_view>

namespace halcyra {

// One byte, as stored and sent to the data manager.
enum TCollectStatus : std::uint8_t {
    csNotConnected = 0,    // no valid message header seen since the last loss
    csConnected = 1,       // connected, not collecting
    csCollecting = 2,      // connected and collecting
    csConnectionLost = 3,  // connection lost while collecting: shown as 0, but a returning connection resumes
};

// The log line written whenever a status is set.
std::string_view StatusLogLine(TCollectStatus status);

// 0 and 3 are shown and handled alike.
inline bool IsDisconnected(TCollectStatus status)
{
    return status == csNotConnected || status == csConnectionLost;
}

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
