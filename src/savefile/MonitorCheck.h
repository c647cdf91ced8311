// Structural check of a monitor-data file: everything a reader would stumble on or drop silently.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TMonitorCheck {
    // The problems found, one line each; empty for a sound file.
    std::vector<std::string> problems;
    // The one problem is a last record cut short behind the header region: the next append (or
    // declaration) cuts it away, and the file is sound again.
    bool onlyTailCutShort = false;
};

TMonitorCheck InspectMonitorFile(std::string_view bytes);
// The problems alone.
std::vector<std::string> CheckMonitorFile(std::string_view bytes);

}  // namespace halcyra
