// How much a log line matters to whoever reads it: the journal's priority levels, which a service's mirrored
// line carries so that `journalctl -p warning` shows what needs a look.
#pragma once

#include <string_view>

namespace halcyra {

// The values are syslog's levels, which the journal reads from a "<N>" in front of a line.
enum class TLogPriority {
    Error = 3,    // something failed: a write, a link, a socket, the start
    Warning = 4,  // something is off but the run goes on: dropped or cut input, a damaged file read as empty
    Info = 6,
};

// The priority of a line whose producer gives none, from the way the program words its lines: failures say
// "Error", "could not", "cannot", "failed" and the like; input dropped, cut or not written, refusals and
// steps of the clock are warnings; the rest is information.
TLogPriority LogPriorityOf(std::string_view message);

}  // namespace halcyra
