// The collection status: what a message header moves, the cycle keeps and the data manager is told.
#pragma once

#include <cstdint>

namespace halcyra {

// One byte, as stored and sent to the data manager.
enum TCollectStatus : std::uint8_t {
    csNotConnected = 0,    // no valid message header seen since the last loss
    csConnected = 1,       // connected, not collecting
    csCollecting = 2,      // connected and collecting
    csConnectionLost = 3,  // connection lost while collecting: shown as 0, but a returning connection resumes
};

// 0 and 3 are shown and handled alike.
inline bool IsDisconnected(TCollectStatus status)
{
    return status == csNotConnected || status == csConnectionLost;
}

}  // namespace halcyra
