// Which source ID may write into a patient folder. Two source IDs can name one folder: through the ID
// reduction (191212121234 and 201212121234 both keep 1212121234) or through letter case alone (AB12345
// and ab12345, one folder on the drives' case-insensitive lookup). The first source ID that writes into a
// folder owns it for the run; values of any other are not written there. Across a restart the folder's
// files tell whose it is where they name a patient ID.
#pragma once

#include "patients/PatientFolders.h"
#include "platform/FileSystem.h"
#include "savefile/SaveFileIo.h"

#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace halcyra {

class TFolderOwners {
public:
    TFolderOwners(const TFileSystem& files, std::shared_ptr<ISaveFileIo> io, const TPatientFolders& folders);

    struct TClaim {
        bool granted = false;
        // When refused: the owner's source ID, or the patient ID its files name when its source has not
        // written in this run.
        std::string owner;
        // The first refusal of this source ID for this folder in the run.
        bool firstRefusal = false;
    };

    // The source ID (as the central station sent it, before reduction) about to write into the folder of
    // its reduced patient ID. A folder nobody owns yet goes to it, unless the folder's files name another
    // patient ID that maps to the same folder: a monitor-data file of ours, or else the patient file's ID
    // field. A patient file that names an ID of another form (a display ID, another convention of the data
    // manager) proves nothing either way.
    TClaim Claim(std::string_view folder, std::string_view sourceId, std::string_view patientId);

    // Whether a patient known only by its reduced ID (a census row) may write into the folder: its owner
    // has that patient ID, or nobody owns the folder and its files do not name another one. Claims nothing.
    bool MayWrite(std::string_view folder, std::string_view patientId);

    // The folder as the drive lookup resolves it: without regard to ASCII case, either separator.
    static std::string Key(std::string_view folder);

private:
    struct TOwner {
        std::string sourceId;  // empty while only the files have named the owner
        std::string patientId;
    };

    // The patient ID the folder's files show as its owner; empty when they show none.
    std::string OwnerShownByFiles(std::string_view folder, const std::string& key, std::string_view patientId) const;
    bool NamesFolder(std::string_view id, const std::string& key) const;

    const TFileSystem& files_;
    std::shared_ptr<ISaveFileIo> io_;
    const TPatientFolders& folders_;
    std::unordered_map<std::string, TOwner> owners_;
    std::set<std::pair<std::string, std::string>> refused_;  // (folder key, source ID)
};

}  // namespace halcyra
