// The patient IDs that a patient folder's own files name: the ID field of its patient file and the
// patient ID of each of our monitor-data files. They show whose the folder is across a restart.
#pragma once

#include "platform/FileSystem.h"
#include "savefile/SaveFileIo.h"

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

struct TFolderIds {
    // The patient file's ID field up to its first zero byte; only when the file holds the whole field.
    bool hasPatientFileId = false;
    std::string patientFileId;
    // The patient ID of Halcyra.pil, Halcyra1.pil ... in that order, up to the first name that is missing.
    // Files that cannot be read or belong to another monitor name nobody and are passed over.
    std::vector<std::string> monitorFileIds;
};

// Reads only the patient file and the header region of each monitor-data file. Nothing is raised: a
// folder that cannot be mapped or read names nobody.
TFolderIds ReadFolderIds(const TFileSystem& files, ISaveFileIo& io, std::string_view folder);

// The text the patient file's ID field holds for this ID (trimmed, cut to 11 characters).
std::string PatientIdFieldText(std::string_view id);

}  // namespace halcyra
