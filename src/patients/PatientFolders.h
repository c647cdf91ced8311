// Where the data manager keeps a patient: one folder per patient in its data folder, named from the
// reduced patient ID; the folder is a patient of the data manager when it holds the file "Patient".
#pragma once

#include "patients/PatientIdReduction.h"
#include "platform/FileSystem.h"

#include <string>
#include <string_view>

namespace halcyra {

class TPatientFolders {
public:
    TPatientFolders(const TFileSystem& files, const TPatientIdReduction& reduction)
        : files_(files), reduction_(reduction)
    {
    }

    // The data folder (a Windows path ending in '\') and compatibility mode, fixed at start-up.
    void SetDataFolder(std::string dataFolder, bool compatibilityMode);
    const std::string& DataFolder() const { return dataFolder_; }
    bool CompatibilityMode() const { return compatibilityMode_; }

    // Data folder + reduced ID + "\"; in compatibility mode the short name of characters 1 to 8, ".$"
    // and characters 9 to 10.
    std::string PatientFolderFor(std::string_view id) const;
    // In compatibility mode an ID longer than 6 characters without "-" shows as characters 1 to 6, "-",
    // characters 7 to 10; otherwise as it is.
    std::string DisplayIdFor(std::string_view id) const;
    // Whether the folder (ending in '\') holds the patient file "Patient" (any letter case); a folder of
    // that name does not count. A folder that cannot be mapped holds nothing.
    bool PatientExists(std::string_view folder) const;

private:
    const TFileSystem& files_;
    const TPatientIdReduction& reduction_;
    std::string dataFolder_ = "C:\\KVD\\DATA\\";
    bool compatibilityMode_ = false;
};

}  // namespace halcyra
