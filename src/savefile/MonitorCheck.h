// Structural check of a monitor-data file: everything a reader would stumble on or drop silently.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The problems found, one line each; empty for a sound file.
std::vector<std::string> CheckMonitorFile(std::string_view bytes);

}  // namespace halcyra
