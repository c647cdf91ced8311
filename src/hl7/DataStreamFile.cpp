#include "hl7/DataStreamFile.h"

#include "hl7/PatientIdentity.h"

namespace halcyra {

std::string PatientDataStreamFileName(std::string_view debugFolder, std::string_view patientID,
                                      std::string_view patientName)
{
    return std::string(debugFolder) + CleanPatientID(patientID) + " " + CleanPatientID(patientName) + ".txt";
}

bool SaveSegmentList(const TFileSystem& files, std::string_view path, const TSegmentList& segments)
{
    std::string text;
    for (const std::string& line : segments) {
        text += line;
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
