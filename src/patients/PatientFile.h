// The data manager's patient file "Patient": created from the "DEFAULT" template for a new patient, and
// its two name fields rewritten when the central station reports new names, unless the data manager has
// the patient registered.
#pragma once

#include "platform/FileSystem.h"

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr std::string_view kPatientFileName = "Patient";
inline constexpr std::string_view kPatientBackupName = "Backup.Bak";
// The data manager's settings file; "Registered" keys "1" to "3" name the patients it has open.
inline constexpr std::string_view kRegistrationList = "C:\\KVD\\KVDDATA.INI";

// Raised when the patient folder cannot even be started (its drive does not exist).
class EPatientFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The fixed fields of the patient file, zero-padded: family name at 2 (21 bytes), given name at 23 (21
// bytes), ID at 44 (12 bytes, without leading and trailing characters below code 33).
std::string PatientNameField(std::string_view name);
std::string PatientIdField(std::string_view id);

// A patient about to be created in a folder.
struct TCreateNotice {
    std::string id;
    std::string givenName;
    std::string familyName;
    std::string folder;
    bool operator==(const TCreateNotice&) const = default;
};

class TPatientFile {
public:
    explicit TPatientFile(const TFileSystem& files) : files_(files) {}

    // Told before a patient is created, with the texts as given: the new-patient window words it.
    std::function<void(const TCreateNotice& notice)> OnCreateNotice;
    // A message for the user, shown modally (a failed rewrite).
    std::function<void(const std::string& message)> OnShowMessage;

    // Makes the folder (with missing parents) and writes a new patient file into it. -1 when the file was
    // written, 0 when the folder could not be made. EPatientFileError when the folder's drive is missing;
    // file errors pass to the caller.
    int CreatePatient(std::string_view idText, std::string_view givenName, std::string_view familyName,
                      std::string_view folder);

    // Rewrites the family and given names (bytes 2 to 43) of the folder's patient file; every other byte
    // stays. -1 when rewritten; 0 when the patient is registered with the data manager (silently) or the
    // backup "Backup.Bak" could not be made (with a message). The old file is copied to "Backup.Bak" first
    // and "Patient" is then replaced atomically, so the folder never lacks its patient file. The ID is not
    // used.
    int RewritePatientNames(std::string_view id, std::string_view givenName, std::string_view familyName,
                            std::string_view folder);

    // Whether a "Registered" value of the registration list mentions the folder.
    bool IsRegistered(std::string_view folder) const;

private:
    const TFileSystem& files_;
};

}  // namespace halcyra
