#include "patients/FolderOwners.h"

#include "patients/FolderIds.h"
#include "platform/Text.h"

namespace halcyra {

TFolderOwners::TFolderOwners(const TFileSystem& files, std::shared_ptr<ISaveFileIo> io, const TPatientFolders& folders)
    : files_(files), io_(std::move(io)), folders_(folders)
{
}

std::string TFolderOwners::Key(std::string_view folder)
{
    std::string key = UpperAscii(folder);
    for (char& c : key)
        if (c == '/') c = '\\';
    return key;
}

bool TFolderOwners::NamesFolder(std::string_view id, const std::string& key) const
{
    return !id.empty() && Key(folders_.PatientFolderFor(id)) == key;
}

std::string TFolderOwners::OwnerShownByFiles(std::string_view folder, const std::string& key,
                                             std::string_view patientId) const
{
    const TFolderIds ids = ReadFolderIds(files_, *io_, folder);
    // A monitor-data file names its patient ID whole; the first one was written by the first owner.
    for (const std::string& id : ids.monitorFileIds) {
        if (id == patientId) return std::string(patientId);
        if (NamesFolder(id, key)) return id;
    }
    if (ids.hasPatientFileId) {
        const std::string& id = ids.patientFileId;
        // The field holds the ID cut to 11 characters, created either way.
        if (id == PatientIdFieldText(patientId) || id == PatientIdFieldText(folders_.DisplayIdFor(patientId)))
            return std::string(patientId);
        if (NamesFolder(id, key)) return id;
    }
    return {};
}

TFolderOwners::TClaim TFolderOwners::Claim(std::string_view folder, std::string_view sourceId,
                                           std::string_view patientId)
{
    const std::string key = Key(folder);
    auto it = owners_.find(key);
    if (it == owners_.end()) {
        std::string shown = OwnerShownByFiles(folder, key, patientId);
        if (shown.empty() || shown == patientId) {
            owners_.emplace(key, TOwner{std::string(sourceId), std::string(patientId)});
            return {true, {}, false};
        }
        it = owners_.emplace(key, TOwner{{}, std::move(shown)}).first;
    }
    TOwner& owner = it->second;
    if (owner.sourceId.empty() && owner.patientId == patientId) owner.sourceId = sourceId;
    if (!owner.sourceId.empty() && owner.sourceId == sourceId) return {true, {}, false};
    const bool first = refused_.emplace(key, std::string(sourceId)).second;
    return {false, owner.sourceId.empty() ? owner.patientId : owner.sourceId, first};
}

bool TFolderOwners::MayWrite(std::string_view folder, std::string_view patientId)
{
    const std::string key = Key(folder);
    const auto it = owners_.find(key);
    if (it != owners_.end()) return it->second.patientId == patientId;
    std::string shown = OwnerShownByFiles(folder, key, patientId);
    if (shown.empty()) return true;
    const bool ours = shown == patientId;
    owners_.emplace(key, TOwner{{}, std::move(shown)});
    return ours;
}

}  // namespace halcyra
