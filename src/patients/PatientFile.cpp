#include "patients/PatientFile.h"

#include "patients/DefaultPatientTemplate.h"

#include <algorithm>

namespace halcyra {
namespace {

constexpr std::size_t kNameLength = 20;
constexpr std::size_t kNameFieldSize = 21;
constexpr std::size_t kIdLength = 11;
constexpr std::size_t kIdFieldSize = 12;
constexpr std::size_t kFamilyOffset = 2;
constexpr std::size_t kIdOffset = 44;
constexpr std::size_t kTemplateTailOffset = 56;
static_assert(kIdOffset == kFamilyOffset + 2 * kNameFieldSize && kTemplateTailOffset == kIdOffset + kIdFieldSize);

std::string Field(std::string_view text, std::size_t length, std::size_t size)
{
    std::string field(text.substr(0, length));
    field.resize(size, '\0');
    return field;
}

bool NotBlank(char c)
{
    return static_cast<unsigned char>(c) >= 33;
}

const char* const kRegisteredKeys[] = {"1", "2", "3"};

}  // namespace

std::string PatientNameField(std::string_view name)
{
    return Field(name, kNameLength, kNameFieldSize);
}

std::string PatientIdField(std::string_view id)
{
    const auto first = std::find_if(id.begin(), id.end(), NotBlank);
    const auto last = std::find_if(id.rbegin(), id.rend(), NotBlank).base();
    const std::string_view trimmed = first < last ? std::string_view(first, last) : std::string_view();
    return Field(trimmed, kIdLength, kIdFieldSize);
}

int TPatientFile::CreatePatient(std::string_view idText, std::string_view givenName, std::string_view familyName,
                                std::string_view folder)
{
    if (OnCreateNotice)
        OnCreateNotice(
            TCreateNotice{std::string(idText), std::string(givenName), std::string(familyName), std::string(folder)});

    bool made = false;
    try {
        made = files_.ForceDirectories(folder);
    } catch (const EPathError&) {
        // The folder's drive does not exist: there is no level to start from.
        throw EPatientFileError("Exception: Could not create directory");
    }
    if (!made) return 0;

    const std::string_view tpl = DefaultPatientTemplate();
    std::string bytes(tpl.substr(0, kFamilyOffset));
    bytes += PatientNameField(familyName);
    bytes += PatientNameField(givenName);
    bytes += PatientIdField(idText);
    bytes += tpl.substr(kTemplateTailOffset);
    std::string path(folder);
    path += kPatientFileName;
    files_.WriteFileAtomic(path, bytes);
    return -1;
}

bool TPatientFile::IsRegistered(std::string_view folder) const
{
    if (folder.empty()) return false;
    for (const char* key : kRegisteredKeys)
        if (files_.ReadIniString(kRegistrationList, "Registered", key, "").find(folder) != std::string::npos)
            return true;
    return false;
}

int TPatientFile::RewritePatientNames(std::string_view, std::string_view givenName, std::string_view familyName,
                                      std::string_view folder)
{
    if (IsRegistered(folder)) return 0;

    const std::string patient = std::string(folder) + std::string(kPatientFileName);
    const std::string backup = std::string(folder) + std::string(kPatientBackupName);
    try {
        files_.SetReadOnly(patient, false);
    } catch (const std::exception&) {
        // Attributes are cleared where possible; the read below tells whether the file is there.
    }
    const std::string old = files_.ReadFile(patient);

    // The backup is complete before the patient file changes, and each file is replaced atomically: at
    // every moment the folder holds a whole patient file.
    try {
        if (files_.FileExists(backup) && files_.IsReadOnly(backup)) files_.SetReadOnly(backup, false);
        files_.WriteFileAtomic(backup, old);
    } catch (const std::exception& e) {
        if (OnShowMessage) OnShowMessage("Unable to copy " + patient + " => " + backup + ": " + e.what());
        return 0;
    }

    std::string rewritten = old;
    const std::string names = PatientNameField(familyName) + PatientNameField(givenName);
    for (std::size_t i = 0; i < names.size() && kFamilyOffset + i < rewritten.size(); ++i)
        rewritten[kFamilyOffset + i] = names[i];
    files_.WriteFileAtomic(patient, rewritten);
    return -1;
}

}  // namespace halcyra
