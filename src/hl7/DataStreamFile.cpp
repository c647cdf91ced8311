#include "hl7/DataStreamFile.h"

#include "hl7/PatientIdentity.h"
#include "platform/Text.h"

namespace halcyra {

std::string PatientDataStreamFileName(std::string_view debugFolder, std::string_view patientID,
                                      std::string_view patientName)
{
    constexpr std::string_view kExtension = ".txt";
    std::string name = CleanPatientID(patientID) + " " + CleanPatientID(patientName);
    name.resize(HostTextFittingLength(name, kMaxAtomicFileNameBytes - kExtension.size()));
    return std::string(debugFolder) + name + std::string(kExtension);
}

std::string NoPatientDataStreamFileName(std::string_view debugFolder)
{
    return std::string(debugFolder) + "no patient segment.txt";
}

bool SaveSegmentList(const TFileSystem& files, std::string_view path, const TMessageIndex& segments)
{
    std::string text;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        text += segments.Segment(i);
        text += "\r\n";
    }
    try {
        files.WriteFileAtomic(path, text);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace halcyra
