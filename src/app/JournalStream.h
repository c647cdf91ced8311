// The service's log on standard error, in the form its reader wants: the journal takes a priority in front of
// each line and stamps the time itself; a terminal or a file gets the lines as the log file has them.
#pragma once

#include "platform/Log.h"

#include <functional>
#include <string>

namespace halcyra {

// Whether `fd` is the stream the journal reads. systemd connects a service's standard error to the journal
// and sets JOURNAL_STREAM to "DEVICE:INODE" of it; a stream redirected elsewhere (or a variable inherited by
// a child whose output goes elsewhere) has another device and inode. journalStream may be null (unset).
bool IsJournalStream(const char* journalStream, int fd);

// One mirrored line, without its line end, in UTF-8: "<3>" and the message for the journal, else the line.
std::string MirroredLine(const TLogEntry& entry, bool journal);

// The mirror for standard error; whether it is the journal is found once.
std::function<void(const TLogEntry&)> StandardErrorLogMirror();

}  // namespace halcyra
