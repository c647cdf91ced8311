#include "patients/PatientFolders.h"

#include "patients/PatientFile.h"

namespace halcyra {

void TPatientFolders::SetDataFolder(std::string dataFolder, bool compatibilityMode)
{
    dataFolder_ = std::move(dataFolder);
    compatibilityMode_ = compatibilityMode;
}

std::string TPatientFolders::PatientFolderFor(std::string_view id) const
{
    const std::string reduced = reduction_.ReducePatientID(id);
    if (!compatibilityMode_) return dataFolder_ + reduced + "\\";
    const std::string_view text = reduced;
    const std::string_view name = text.substr(0, 8);
    const std::string_view extension = text.size() > 8 ? text.substr(8, 2) : std::string_view();
    return dataFolder_ + std::string(name) + ".$" + std::string(extension) + "\\";
}

std::string TPatientFolders::DisplayIdFor(std::string_view id) const
{
    if (compatibilityMode_ && id.find('-') == std::string_view::npos && id.size() > 6)
        return std::string(id.substr(0, 6)) + "-" + std::string(id.substr(6, 4));
    return std::string(id);
}

bool TPatientFolders::PatientExists(std::string_view folder) const
{
    if (folder.empty()) return false;
    // "PATIENT." is the file "Patient": the empty extension adds nothing to the name.
    const std::string path = std::string(folder.substr(0, folder.size() - 1)) + "\\" + std::string(kPatientFileName);
    try {
        return files_.FileExists(path);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace halcyra
