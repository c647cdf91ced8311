// TSaveItNew: the monitor-data file of one patient and one monitor. Declarations live in a header
// region in front of a reserved area; values are appended as fixed-size records.
#pragma once

#include "platform/DateTime.h"
#include "savefile/MonitorObjects.h"
#include "savefile/MonitorReader.h"
#include "savefile/SaveFileIo.h"
#include "savefile/TovClass.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {

namespace savefile_text {
inline constexpr const char* kIncorrectFiletype = "Exception:Incorrect filetype";
inline constexpr const char* kNoMonitorInfo = "Exception:No MonitorInfo!";
inline constexpr const char* kDoesNotMatch = "Exception:The existing file does not match!";
inline constexpr const char* kNoReservedArea = "Exception:The file has no reserved area for parameter declarations";
inline constexpr const char* kCannotDeclareInFormat =
    "Exception:Parameters can only be declared in a plain save file of version 2 or later";
inline constexpr const char* kChecksumSuffix = " has a checksum error.";
}  // namespace savefile_text

class TSaveItNew {
public:
    // Without an io the real file system is used.
    explicit TSaveItNew(std::shared_ptr<ISaveFileIo> io = nullptr);
    ~TSaveItNew();
    TSaveItNew(const TSaveItNew&) = delete;
    TSaveItNew& operator=(const TSaveItNew&) = delete;

    // The file every operation works on; set by the caller before each operation.
    const std::filesystem::path& FileName() const { return fileName_; }
    void SetFileName(const std::filesystem::path& fileName) { fileName_ = fileName; }
    TTovFileType FileType() const { return content_.FileType; }
    void SetFileType(TTovFileType type) { content_.FileType = type; }
    // Kept as set; no operation consults it.
    bool IsReadOnly() const { return isReadOnly_; }
    void SetIsReadOnly(bool value) { isReadOnly_ = value; }
    // Reserved bytes of a new file, and the least reserved size after growth. Negative counts as 0.
    std::int32_t MinimumReservedSpaceForMonitorParameters() const { return minimumReserved_; }
    void SetMinimumReservedSpaceForMonitorParameters(std::int32_t value) { minimumReserved_ = value < 0 ? 0 : value; }

    // Fired after a new file has been created.
    std::function<void(const std::filesystem::path& fileName)> OnFileStructureChanged;
    // Failures that are not raised (a failed append) are reported here.
    std::function<void(const std::string& line)> OnLog;
    // Messages meant for the user (a checksum error); without a handler they go to OnLog.
    std::function<void(const std::string& message)> OnShowMessage;

    // Creates the file when missing; otherwise checks its type and monitor information. Reading an
    // existing file stops at the reserved area.
    void OpenOrCreate(const std::string& monitorKind, const std::string& monitorQualifier, const std::string& patientId,
                      const std::string& patientName, bool compareAll);
    void DropFileCache();
    // Reads the whole file into the loaded objects unless they are known to be current.
    void ReloadStructure();
    // Reads only the header region (monitor information and series declarations, up to the reserved
    // area) into the loaded objects: the point records are never read, so the cost does not grow
    // with the length of the file. The series carry no points afterwards.
    void ReadHeaderRegion();

    // After a read: the monitor information first, then the parameter series in file order.
    const std::vector<std::unique_ptr<TTovObject>>& LoadedObjects() const { return content_.Objects; }
    std::vector<const TParameterSerie*> ParameterSeries() const;
    const TMonitorInfo* MonitorInfo() const;

    // Declares a series in the reserved area, growing the area when it is too small. The file is
    // replaced atomically; a file without a reserved area is refused and left untouched.
    void AddParameterSerie(std::uint16_t index, const std::string& parameterName, const std::string& measurementPlace,
                           const std::string& paramExtraName, const std::string& parameterId,
                           const std::string& unitName);
    // Append one 26-byte record. Never raise: a failure is reported to OnLog and gives false.
    bool AddValuePoint(std::uint16_t index, TDateTime time, double value);
    bool AddDelimiterPoint(std::uint16_t index, std::int32_t code, TDateTime time);

    // The bytes of a new file as OpenOrCreate writes it.
    std::string BuildNewFile(const std::string& monitorKind, const std::string& monitorQualifier,
                             const std::string& patientId, const std::string& patientName);

private:
    void ForgetCache();
    void ClearLoaded();
    void CheckExisting(const std::string& monitorKind, const std::string& monitorQualifier,
                       const std::string& patientId, const std::string& patientName, bool compareAll);
    bool AppendRecord(std::int32_t id, std::uint16_t index, double time, double third, const char* what);
    void Log(const std::string& line) const;
    TMonitorReadOptions Options(bool stopAtReservedArea) const;

    std::shared_ptr<ISaveFileIo> io_;
    std::filesystem::path fileName_;
    bool isReadOnly_ = false;
    std::int32_t minimumReserved_ = 500;
    TMicroWriter writer_;
    TMicroReader reader_;
    TMonitorFileContent content_;
    std::filesystem::path cachedName_;
    TFileStamp cachedStamp_;
};

}  // namespace halcyra
