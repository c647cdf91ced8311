#include "savefile/SaveITNew.h"

#include "platform/Text.h"
#include "savefile/SaveFileIds.h"
#include "savefile/Streams.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace halcyra {

TSaveItNew::TSaveItNew(std::shared_ptr<ISaveFileIo> io) : io_(std::move(io))
{
    if (!io_) throw std::invalid_argument("TSaveItNew needs its file access");
    writer_.SetChecksumEnabled(true);
}

TSaveItNew::~TSaveItNew() = default;

void TSaveItNew::Log(const std::string& line) const
{
    if (OnLog) OnLog(line);
}

void TSaveItNew::ForgetCache()
{
    cachedName_.clear();
    cachedStamp_ = {};
}

void TSaveItNew::ClearLoaded()
{
    content_.Clear();
}

TMonitorReadOptions TSaveItNew::Options(bool stopAtReservedArea) const
{
    TMonitorReadOptions options;
    options.StopAtReservedArea = stopAtReservedArea;
    options.FileName = fileName_;
    return options;
}

std::vector<const TParameterSerie*> TSaveItNew::ParameterSeries() const
{
    std::vector<const TParameterSerie*> series;
    for (const auto& object : content_.Objects)
        if (const auto* serie = dynamic_cast<const TParameterSerie*>(object.get())) series.push_back(serie);
    return series;
}

const TMonitorInfo* TSaveItNew::MonitorInfo() const
{
    for (const auto& object : content_.Objects)
        if (const auto* info = dynamic_cast<const TMonitorInfo*>(object.get())) return info;
    return nullptr;
}

std::string TSaveItNew::BuildNewFile(const std::string& monitorKind, const std::string& monitorQualifier,
                                     const std::string& patientId, const std::string& patientName)
{
    TMemoryStream memory;
    writer_.SetStream(&memory);
    writer_.SetChecksumEnabled(false);
    try {
        writer_.WriteHeader();
        // The optional texts 203 and 204 of a file read before belong to that file: never carried over.
        writer_.BeginFolding(item::kFileInformation);
        writer_.WriteInteger(item::kFileType, static_cast<std::int32_t>(TTovFileType::ftMonitorData));
        writer_.WriteInteger(item::kItem30, content_.Item30);
        writer_.EndFolding();
        TMonitorInfo info;
        info.MonitorKind = monitorKind;
        info.MonitorQualifier = monitorQualifier;
        info.PatientId = patientId;
        info.PatientName = patientName;
        info.WriteTo(writer_);
        writer_.BeginFolding(item::kReservedArea);
        const std::string reserved(static_cast<std::size_t>(minimumReserved_), '\0');
        writer_.WriteRaw(reserved.data(), reserved.size());
        writer_.EndFolding();
        writer_.EndFolding();
    } catch (...) {
        writer_.SetStream(nullptr);
        throw;
    }
    writer_.SetStream(nullptr);
    return memory.TakeBytes();
}

void TSaveItNew::OpenOrCreate(const std::string& monitorKind, const std::string& monitorQualifier,
                              const std::string& patientId, const std::string& patientName, bool compareAll)
{
    content_.FileType = TTovFileType::ftMonitorData;
    content_.Item30 = 0;
    if (!io_->Exists(fileName_)) {
        io_->WriteWhole(fileName_, BuildNewFile(monitorKind, monitorQualifier, patientId, patientName));
        if (OnFileStructureChanged) OnFileStructureChanged(fileName_);
        return;
    }
    CheckExisting(monitorKind, monitorQualifier, patientId, patientName, compareAll);
}

void TSaveItNew::CheckExisting(const std::string& monitorKind, const std::string& monitorQualifier,
                               const std::string& patientId, const std::string& patientName, bool compareAll)
{
    ClearLoaded();
    // Reading stops at the reserved area, so only the header region is fetched from the file.
    std::unique_ptr<TStream> stream = io_->OpenRead(fileName_);
    ReadMonitorFile(reader_, *stream, content_, Options(true));

    if (content_.FileType != TTovFileType::ftMonitorData) throw ETovError(savefile_text::kIncorrectFiletype);
    bool found = false;
    for (const auto& object : content_.Objects) {
        const auto* info = dynamic_cast<const TMonitorInfo*>(object.get());
        if (info == nullptr) continue;
        found = true;
        const bool matches = info->MonitorKind == monitorKind && info->MonitorQualifier == monitorQualifier &&
                             info->PatientId == patientId && (!compareAll || info->PatientName == patientName);
        if (!matches)
            throw ETovError(std::string(savefile_text::kDoesNotMatch) + "\r\n" + info->MonitorKind + " - " +
                            monitorKind + "\r\n" + info->MonitorQualifier + " - " + monitorQualifier + "\r\n" +
                            info->PatientId + " - " + patientId + "\r\n" + info->PatientName + " - " + patientName);
    }
    if (!found) throw ETovError(savefile_text::kNoMonitorInfo);
}

void TSaveItNew::DropFileCache()
{
    ForgetCache();
}

void TSaveItNew::ReloadStructure()
{
    if (!io_->Exists(fileName_)) {
        ForgetCache();
        ClearLoaded();
        return;
    }
    TFileStamp stamp;
    if (!io_->Stamp(fileName_, stamp)) {
        stamp = {};
        ForgetCache();
    }
    std::erase_if(content_.Objects, [](const auto& object) { return object == nullptr; });
    if (!cachedName_.empty() && cachedName_ == fileName_ && stamp == cachedStamp_ && !content_.Objects.empty()) return;

    ForgetCache();
    ClearLoaded();
    TMemoryStream stream(io_->ReadAll(fileName_));
    const bool ok = ReadMonitorFile(reader_, stream, content_, Options(false));
    cachedName_ = fileName_;
    cachedStamp_ = stamp;
    if (!ok) {
        const std::string message = HostPathText(fileName_) + savefile_text::kChecksumSuffix;
        if (OnShowMessage)
            OnShowMessage(message);
        else
            Log(message);
    }
}

void TSaveItNew::ReadHeaderRegion()
{
    ForgetCache();
    ClearLoaded();
    std::unique_ptr<TStream> stream = io_->OpenRead(fileName_);
    ReadMonitorFile(reader_, *stream, content_, Options(true));
}

TPointTailEnd TSaveItNew::VisitLastPoints(std::int64_t maxBytes,
                                          const std::function<bool(const TPointRecord& record)>& visit)
{
    std::unique_ptr<TStream> stream = io_->OpenRead(fileName_);
    const std::int64_t start = PointRecordsStart(reader_, *stream);
    if (start < 0) return TPointTailEnd::Unreadable;
    return VisitPointsBackwards(*stream, start, maxBytes, visit);
}

void TSaveItNew::AddParameterSerie(std::uint16_t index, const std::string& parameterName,
                                   const std::string& measurementPlace, const std::string& paramExtraName,
                                   const std::string& parameterId, const std::string& unitName)
{
    AddParameterSeries(
        {TSeriesDeclaration{index, parameterName, measurementPlace, paramExtraName, parameterId, unitName}});
}

namespace {

// The head of the reserved area (folding 205) at `at`: its id and size.
void PutReservedHead(std::string& bytes, std::size_t at, std::int64_t size)
{
    auto* p = reinterpret_cast<unsigned char*>(bytes.data()) + at;
    StoreU32(p, static_cast<std::uint32_t>(item::kReservedArea));
    StoreU32(p + 4, static_cast<std::uint32_t>(size));
}

}  // namespace

void TSaveItNew::AddParameterSeries(const std::vector<TSeriesDeclaration>& declarations)
{
    if (declarations.empty()) return;
    Declare(declarations, {});
}

void TSaveItNew::Declare(const std::vector<TSeriesDeclaration>& declarations, std::string_view points,
                         TUpdateStamps* stamps)
{
    std::vector<std::string> foldings;
    foldings.reserve(declarations.size());
    writer_.SetChecksumEnabled(false);
    for (const TSeriesDeclaration& d : declarations) {
        TMemoryStream declaration;
        writer_.SetStream(&declaration);
        try {
            WriteParameterSerie(writer_, d.index, d.parameterName, d.measurementPlace, d.paramExtraName, d.unitName,
                                d.parameterId);
        } catch (...) {
            writer_.SetStream(nullptr);
            throw;
        }
        writer_.SetStream(nullptr);
        foldings.push_back(declaration.TakeBytes());
    }

    io_->Update(
        fileName_,
        [&](std::string current) {
            TMemoryStream scan(std::move(current));
            reader_.Read(scan, [](std::int32_t id, TMicroReader& reader) {
                if (id == item::kMonitorInfo)
                    reader.BeginFolding(id);
                else if (id == item::kReservedArea)
                    reader.Stop();
                else
                    reader.SkipValue();
            });
            if (!reader_.Stopped()) throw ETovError(savefile_text::kNoReservedArea);
            if (!TakesOurRecords(reader_)) throw ETovError(savefile_text::kCannotDeclareInFormat);
            if (reader_.StopFoldingsEnd() > scan.Size()) throw ETovError(tov_text::kErrorInFile);

            std::string bytes = scan.TakeBytes();
            const std::int64_t sizeAt = reader_.StopPosition();
            const auto fileSize = static_cast<std::int64_t>(bytes.size());
            if (sizeAt + 4 > fileSize) throw ETovError(tov_text::kErrorInFile);
            const auto reserved =
                static_cast<std::int32_t>(LoadU32(reinterpret_cast<const unsigned char*>(bytes.data()) + sizeAt));
            if (reserved < 0 || sizeAt + 4 + reserved > fileSize) throw ETovError(tov_text::kErrorInFile);
            const std::int64_t headerEnd = sizeAt + 4 + reserved;

            // A record cut short at the end stays behind: the rewrite would otherwise keep it in front of
            // every later record.
            TMemoryStream records(std::move(bytes));
            records.SetSize(WholeItemsEnd(records, headerEnd));
            bytes = records.TakeBytes();
            std::string tail = bytes.substr(static_cast<std::size_t>(headerEnd));
            bytes.resize(static_cast<std::size_t>(headerEnd));

            // The header region alone takes the declarations, each as a single declaration would.
            std::int64_t at = sizeAt - 4;  // where folding 205 begins
            std::int64_t free = reserved;
            for (const std::string& m : foldings) {
                const auto mSize = static_cast<std::int64_t>(m.size());
                if (free > mSize) {
                    // In place: the declaration takes the front of the reserved area; the rest of the area's
                    // bytes stay as they are.
                    std::memcpy(bytes.data() + at, m.data(), m.size());
                    at += mSize;
                    free -= mSize;
                    PutReservedHead(bytes, static_cast<std::size_t>(at), free);
                    continue;
                }
                // Grow: the new reserved area is at least as large as everything in front of the declaration.
                const std::int64_t grown = std::max<std::int64_t>(minimumReserved_, at);
                if (at + mSize + 8 + grown > std::numeric_limits<std::int32_t>::max())
                    throw ETovError(tov_text::kErrorInFile);
                bytes.resize(static_cast<std::size_t>(at));
                bytes += m;
                at += mSize;
                bytes.append(8, '\0');
                PutReservedHead(bytes, static_cast<std::size_t>(at), grown);
                bytes.append(static_cast<std::size_t>(grown), '\0');
                free = grown;
            }
            bytes += tail;
            bytes += points;
            return bytes;
        },
        stamps);
}

std::int64_t TSaveItNew::WholeRecordsEnd(TAppendPosition& known, TStream& file, const TFileStamp& stamp)
{
    if (known.device != stamp.device || known.inode != stamp.inode || known.recordsStart < 0) {
        known = {};
        known.recordsStart = PointRecordsStart(reader_, file);
        if (known.recordsStart < 0) return -1;  // where the records begin is unknown: nothing is cut
        known.device = stamp.device;
        known.inode = stamp.inode;
    }
    const auto size = static_cast<std::int64_t>(stamp.size);
    // Appends change a file only at its end: up to the end seen last, its records are whole.
    if (known.wholeEnd == size) return size;
    const std::int64_t from =
        known.wholeEnd >= known.recordsStart && known.wholeEnd < size ? known.wholeEnd : known.recordsStart;
    return WholeItemsEnd(file, from);
}

namespace {

// The plain folding the writer would produce, laid out directly: head, index, time, value.
void PutRecord(std::string& records, std::int32_t id, std::uint16_t index, double time, double third)
{
    unsigned char record[item::kPointRecordSize];
    StoreU32(record, static_cast<std::uint32_t>(id));
    StoreU32(record + 4, item::kPointPayloadSize);
    StoreU16(record + item::kPointIndexOffset, index);
    StoreF64(record + item::kPointTimeOffset, time);
    StoreF64(record + item::kPointValueOffset, third);
    records.append(reinterpret_cast<const char*>(record), sizeof record);
}

}  // namespace

bool TSaveItNew::AppendRecords(std::string_view records, const std::string& what, TFileStamp* after)
{
    std::int64_t cutAt = -1;
    std::int64_t cutBytes = 0;
    // A handful of bytes per file; a long run through many patients' files starts afresh now and then.
    if (appended_.size() > 4096 && appended_.count(fileName_) == 0) appended_.clear();
    TAppendPosition& known = appended_[fileName_];
    try {
        io_->Append(
            fileName_, records,
            [&](TStream& file, const TFileStamp& stamp) {
                const std::int64_t wholeEnd = WholeRecordsEnd(known, file, stamp);
                if (wholeEnd >= 0 && wholeEnd < static_cast<std::int64_t>(stamp.size)) {
                    cutAt = wholeEnd;
                    cutBytes = static_cast<std::int64_t>(stamp.size) - wholeEnd;
                }
                // Set before the write: should the write fail, the next append finds the file shorter than
                // this and looks again.
                known.wholeEnd = wholeEnd < 0 ? -1 : wholeEnd + static_cast<std::int64_t>(records.size());
                return wholeEnd;
            },
            after);
    } catch (const std::exception& e) {
        appended_.erase(fileName_);
        Log("Could not append " + what + " to " + HostPathText(fileName_) + ": " + e.what());
        return false;
    }
    if (cutAt >= 0)
        Log("Cut away " + std::to_string(cutBytes) + " bytes of a record cut short at offset " + std::to_string(cutAt) +
            " of " + HostPathText(fileName_));
    return true;
}

bool TSaveItNew::AddValuePoint(std::uint16_t index, TDateTime time, double value)
{
    std::string record;
    PutRecord(record, item::kValuePoint, index, time, value);
    return AppendRecords(record, "a value", nullptr);
}

bool TSaveItNew::AddDelimiterPoint(std::uint16_t index, std::int32_t code, TDateTime time)
{
    std::string record;
    PutRecord(record, item::kDelimiterPoint, index, time, static_cast<double>(code));
    return AppendRecords(record, "a delimiter", nullptr);
}

bool TSaveItNew::AddValuePoints(const std::vector<TSeriesDeclaration>& declarations,
                                const std::vector<TValueRecord>& values, TFileStamp* after, TUpdateStamps* replaced)
{
    if (after != nullptr) *after = {};
    std::string records;
    records.reserve(values.size() * item::kPointRecordSize);
    for (const TValueRecord& v : values) PutRecord(records, item::kValuePoint, v.index, v.time, v.value);
    if (!declarations.empty()) {
        Declare(declarations, records, replaced);
        return true;
    }
    if (values.empty()) return true;
    return AppendRecords(records, values.size() == 1 ? "a value" : std::to_string(values.size()) + " values", after);
}

}  // namespace halcyra
