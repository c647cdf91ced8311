#include "patients/FolderIds.h"

#include "patients/PatientFile.h"
#include "patients/PatientMonitorFile.h"
#include "savefile/MicroReader.h"
#include "savefile/MonitorReader.h"

#include <exception>

namespace halcyra {
namespace {

constexpr std::size_t kIdOffset = 44;
constexpr std::size_t kIdFieldSize = 12;

std::string UpToZero(std::string_view field)
{
    return std::string(field.substr(0, field.find('\0')));
}

// The patient ID of a monitor-data file of our monitor name; false when it is not one or cannot be read.
bool MonitorFilePatientId(ISaveFileIo& io, const std::filesystem::path& host, std::string& id)
{
    try {
        TMicroReader reader;
        TMonitorFileContent content;
        TMonitorReadOptions options;
        options.StopAtReservedArea = true;
        options.FileName = host;
        const std::unique_ptr<TStream> stream = io.OpenRead(host);
        ReadMonitorFile(reader, *stream, content, options);
        if (content.FileType != TTovFileType::ftMonitorData) return false;
        for (const auto& object : content.Objects) {
            const auto* info = dynamic_cast<const TMonitorInfo*>(object.get());
            if (info == nullptr) continue;
            if (info->MonitorKind != kMonitorName) return false;
            id = info->PatientId;
            return true;
        }
    } catch (const std::exception&) {
    }
    return false;
}

}  // namespace

std::string PatientIdFieldText(std::string_view id)
{
    return UpToZero(PatientIdField(id));
}

TFolderIds ReadFolderIds(const TFileSystem& files, ISaveFileIo& io, std::string_view folder)
{
    TFolderIds ids;
    try {
        const std::string patient = std::string(folder) + std::string(kPatientFileName);
        if (files.FileExists(patient)) {
            const std::string bytes = files.ReadFile(patient);
            if (bytes.size() >= kIdOffset + kIdFieldSize) {
                ids.hasPatientFileId = true;
                ids.patientFileId = UpToZero(std::string_view(bytes).substr(kIdOffset, kIdFieldSize));
            }
        }
    } catch (const std::exception&) {
        // An unreadable patient file names nobody.
    }
    for (int number = 0; number <= kLastMonitorNumber; ++number) {
        std::string name = std::string(folder) + std::string(kMonitorName);
        if (number > 0) name += std::to_string(number);
        name += ".pil";
        try {
            if (!files.FileExists(name)) break;
            std::string id;
            if (MonitorFilePatientId(io, files.HostPath(name), id)) ids.monitorFileIds.push_back(std::move(id));
        } catch (const std::exception&) {
            break;
        }
    }
    return ids;
}

}  // namespace halcyra
