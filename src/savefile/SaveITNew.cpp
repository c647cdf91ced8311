#include "savefile/SaveITNew.h"

#include <algorithm>
#include <cstring>

namespace halcyra {

TSaveItNew::TSaveItNew(std::shared_ptr<ISaveFileIo> io) : io_(io ? std::move(io) : TPosixSaveFileIo::Default())
{
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
        writer_.BeginFolding(3);
        writer_.WriteInteger(2, static_cast<std::int32_t>(TTovFileType::ftMonitorData));
        writer_.WriteInteger(30, content_.Item30);
        if (!content_.FileInfo203.empty()) writer_.WriteString(203, content_.FileInfo203);
        if (!content_.FileInfo204.empty()) writer_.WriteString(204, content_.FileInfo204);
        writer_.EndFolding();
        TMonitorInfo info;
        info.MonitorKind = monitorKind;
        info.MonitorQualifier = monitorQualifier;
        info.PatientId = patientId;
        info.PatientName = patientName;
        info.WriteTo(writer_);
        writer_.BeginFolding(205);
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
        const std::string message = fileName_.string() + savefile_text::kChecksumSuffix;
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

void TSaveItNew::AddParameterSerie(std::uint16_t index, const std::string& parameterName,
                                   const std::string& measurementPlace, const std::string& paramExtraName,
                                   const std::string& parameterId, const std::string& unitName)
{
    TMemoryStream declaration;
    writer_.SetStream(&declaration);
    writer_.SetChecksumEnabled(false);
    writer_.BeginFolding(210);
    writer_.WriteInteger(211, index);
    writer_.WriteString(212, parameterName);
    writer_.WriteString(213, measurementPlace);
    writer_.WriteString(214, paramExtraName);
    writer_.WriteString(215, unitName);
    writer_.WriteString(216, parameterId);
    writer_.EndFolding();
    writer_.SetStream(nullptr);
    const std::string m = declaration.TakeBytes();
    const auto mSize = static_cast<std::int64_t>(m.size());

    io_->Update(fileName_, [&](std::string current) {
        TMemoryStream scan(std::move(current));
        reader_.Read(scan, [](std::int32_t id, TMicroReader& reader) {
            if (id == 200)
                reader.BeginFolding(id);
            else if (id == 205)
                reader.Stop();
            else
                reader.SkipValue();
        });
        if (!reader_.Stopped()) throw ETovError(savefile_text::kNoReservedArea);
        // Our folding form is that of a plain version 2 file; in any other it would be misread.
        if (reader_.Checksummed() || (reader_.MajorVersion() <= 1 && reader_.MinorVersion() <= 1))
            throw ETovError(savefile_text::kCannotDeclareInFormat);

        std::string bytes = scan.TakeBytes();
        const std::int64_t sizeAt = reader_.StopPosition();
        const std::int64_t p = sizeAt - 4;
        const auto fileSize = static_cast<std::int64_t>(bytes.size());
        if (sizeAt + 4 > fileSize) throw ETovError(tov_text::kErrorInFile);
        const auto reserved =
            static_cast<std::int32_t>(LoadU32(reinterpret_cast<const unsigned char*>(bytes.data()) + sizeAt));
        if (reserved < 0 || sizeAt + 4 + reserved > fileSize) throw ETovError(tov_text::kErrorInFile);

        TMemoryStream out(std::move(bytes));
        if (reserved > mSize) {
            // In place: the declaration takes the front of the reserved area; the length stays.
            out.Seek(p);
            out.WriteBuffer(m.data(), m.size());
            WriteI32(out, 205);
            WriteI32(out, static_cast<std::int32_t>(reserved - mSize));
            return out.TakeBytes();
        }
        // Grow: the new reserved area is at least as large as everything in front of it.
        const std::string tail = out.Bytes().substr(static_cast<std::size_t>(sizeAt + 4 + reserved));
        const std::int64_t grown = std::max<std::int64_t>(minimumReserved_, p);
        out.SetSize(p);
        out.Seek(p);
        out.WriteBuffer(m.data(), m.size());
        WriteI32(out, 205);
        WriteI32(out, static_cast<std::int32_t>(grown));
        out.SetSize(out.Position() + grown);
        out.Seek(out.Size());
        out.WriteBuffer(tail.data(), tail.size());
        return out.TakeBytes();
    });
}

bool TSaveItNew::AppendRecord(std::int32_t id, std::uint16_t index, double time, double third, const char* what)
{
    // The plain folding the writer would produce, laid out directly: head, index, time, value.
    constexpr std::int32_t kPayload = 18;
    char record[8 + kPayload];
    std::memcpy(record, &id, 4);
    std::memcpy(record + 4, &kPayload, 4);
    std::memcpy(record + 8, &index, 2);
    std::memcpy(record + 10, &time, 8);
    std::memcpy(record + 18, &third, 8);
    try {
        io_->Append(fileName_, std::string_view(record, sizeof record));
        return true;
    } catch (const std::exception& e) {
        Log(std::string("Could not append a ") + what + " to " + fileName_.string() + ": " + e.what());
        return false;
    }
}

bool TSaveItNew::AddValuePoint(std::uint16_t index, TDateTime time, double value)
{
    return AppendRecord(220, index, time, value, "value");
}

bool TSaveItNew::AddDelimiterPoint(std::uint16_t index, std::int32_t code, TDateTime time)
{
    return AppendRecord(85, index, time, static_cast<double>(code), "delimiter");
}

}  // namespace halcyra
