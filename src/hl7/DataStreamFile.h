// Debug copies of received messages in the debug folder: one line per segment, each ended by CR LF,
// replacing the file.
#pragma once

#include "hl7/MessageIndex.h"
#include "platform/FileSystem.h"

#include <string>
#include <string_view>

namespace halcyra {

// The per-patient copy: debug folder + ID + " " + name + ".txt". Both parts are cleaned as patient IDs
// are, so that no patient's text can name a file outside the debug folder, and cut at the end so that the
// file name fits on the host.
std::string PatientDataStreamFileName(std::string_view debugFolder, std::string_view patientID,
                                      std::string_view patientName);

// The copy of a message without a patient segment. Its name has two spaces, which no patient's copy has.
std::string NoPatientDataStreamFileName(std::string_view debugFolder);

// Writes the message's segments, each ended by CR LF. False when the file could not be written; the copy is a
// debugging aid, so callers go on.
bool SaveSegmentList(const TFileSystem& files, std::string_view path, const TMessageIndex& segments);

}  // namespace halcyra
