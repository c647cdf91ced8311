// TSaveItNew: the monitor-data file of one patient and one monitor. Declarations live in a header
// region in front of a reserved area; values are appended as fixed-size records.
#pragma once

#include "platform/DateTime.h"
#include "savefile/MonitorObjects.h"
#include "savefile/MonitorReader.h"
#include "savefile/PointTail.h"
#include "savefile/SaveFileIo.h"
#include "savefile/TovClass.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// One parameter series to declare (folding 210).
struct TSeriesDeclaration {
    std::uint16_t index = 0;
    std::string parameterName;
    std::string measurementPlace;
    std::string paramExtraName;
    std::string parameterId;
    std::string unitName;
};

// One value point to append: its series index, time and value.
struct TValueRecord {
    std::uint16_t index = 0;
    TDateTime time = 0;
    double value = 0;
};

class TSaveItNew {
public:
    // Every file access goes through `io` (TPosixSaveFileIo for the real file system); it must not be null.
    explicit TSaveItNew(std::shared_ptr<ISaveFileIo> io);
    ~TSaveItNew();
    TSaveItNew(const TSaveItNew&) = delete;
    TSaveItNew& operator=(const TSaveItNew&) = delete;

    // The file every operation works on; set by the caller before each operation.
    const std::filesystem::path& FileName() const { return fileName_; }
    void SetFileName(const std::filesystem::path& fileName) { fileName_ = fileName; }
    TTovFileType FileType() const { return content_.FileType; }
    void SetFileType(TTovFileType type) { content_.FileType = type; }
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
    // Visits the file's point records from its end backwards (VisitPointsBackwards), reading the header
    // region to find where they begin and at most maxBytes of records: never the whole file. Raises
    // when the file cannot be read or takes no records of ours.
    TPointTailEnd VisitLastPoints(std::int64_t maxBytes, const std::function<bool(const TPointRecord& record)>& visit);

    // After a read: the monitor information first, then the parameter series in file order.
    const std::vector<std::unique_ptr<TTovObject>>& LoadedObjects() const { return content_.Objects; }
    std::vector<const TParameterSerie*> ParameterSeries() const;
    const TMonitorInfo* MonitorInfo() const;

    // Declares a series in the reserved area, growing the area when it is too small. The file is
    // replaced atomically; a file without a reserved area is refused and left untouched.
    void AddParameterSerie(std::uint16_t index, const std::string& parameterName, const std::string& measurementPlace,
                           const std::string& paramExtraName, const std::string& parameterId,
                           const std::string& unitName);
    // Declares several series, in order, with one atomic replacement of the file: the result is the file
    // that declaring them one by one would give, byte for byte, so the file is read and rewritten once
    // however many series a message brings. Either all are declared or, when it raises, none.
    void AddParameterSeries(const std::vector<TSeriesDeclaration>& declarations);
    // Append one 26-byte record. Never raise: a failure is reported to OnLog and gives false. A record
    // cut short at the end of the file (a crash, another writer) is cut away first, and reported, so the
    // new record is not read as its rest. A file whose form would hide or misread the record (checksummed,
    // version 1) is refused.
    bool AddValuePoint(std::uint16_t index, TDateTime time, double value);
    bool AddDelimiterPoint(std::uint16_t index, std::int32_t code, TDateTime time);
    // Appends the value records in order with one locked open and one write of the file, as AddValuePoint
    // does each: all of them, or none (false, reported to OnLog). New series in `declarations` are declared
    // by the same atomic replacement that appends the records, so the file holds both or neither; that
    // replacement raises when it fails, leaving the file as it was. `after` receives the file's stamp with
    // the records in it when the append knows it (otherwise `exists` is false); `replaced`, the stamps of
    // the declarations' replacement.
    bool AddValuePoints(const std::vector<TSeriesDeclaration>& declarations, const std::vector<TValueRecord>& values,
                        TFileStamp* after = nullptr, TUpdateStamps* replaced = nullptr);

    // The bytes of a new file as OpenOrCreate writes it.
    std::string BuildNewFile(const std::string& monitorKind, const std::string& monitorQualifier,
                             const std::string& patientId, const std::string& patientName);

private:
    void ForgetCache();
    void ClearLoaded();
    void CheckExisting(const std::string& monitorKind, const std::string& monitorQualifier,
                       const std::string& patientId, const std::string& patientName, bool compareAll);
    bool AppendRecords(std::string_view records, const std::string& what, TFileStamp* after);
    // The declarations' rewrite of the file, with `points` (whole records) appended behind its whole records.
    void Declare(const std::vector<TSeriesDeclaration>& declarations, std::string_view points,
                 TUpdateStamps* stamps = nullptr);
    void Log(const std::string& line) const;
    TMonitorReadOptions Options(bool stopAtReservedArea) const;

    std::shared_ptr<ISaveFileIo> io_;
    std::filesystem::path fileName_;
    std::int32_t minimumReserved_ = 500;
    TMicroWriter writer_;
    TMicroReader reader_;
    TMonitorFileContent content_;
    std::filesystem::path cachedName_;
    TFileStamp cachedStamp_;

    // What the last append to each file learnt about it, so the next one need not read it again (the
    // caller switches files between patients): the file's identity, where its records begin and where
    // its last whole record ended.
    struct TAppendPosition {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t recordsStart = -1;
        std::int64_t wholeEnd = -1;
    };
    std::map<std::filesystem::path, TAppendPosition> appended_;
    std::int64_t WholeRecordsEnd(TAppendPosition& known, TStream& file, const TFileStamp& stamp);
};

}  // namespace halcyra
