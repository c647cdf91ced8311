#include "savefile/MonitorReader.h"

#include "savefile/SaveFileIds.h"

#include <algorithm>
#include <cstring>

namespace halcyra {

void TMonitorFileContent::Clear()
{
    FileType = TTovFileType::ftUnknown;
    Item30 = 0;
    FileInfo203.clear();
    FileInfo204.clear();
    Objects.clear();
    ReservedAreaOffset = -1;
    LastItemOffset = -1;
}

namespace {

// Bounded little-endian reads over a record payload already taken from the stream.
class TPayload {
public:
    explicit TPayload(const std::string& bytes) : bytes_(bytes) {}
    bool Take(void* out, std::size_t count)
    {
        if (bytes_.size() - at_ < count) return false;
        std::memcpy(out, bytes_.data() + at_, count);
        at_ += count;
        return true;
    }
    bool TakeString(std::string& out)
    {
        std::int32_t sizeField = 0;
        std::int32_t charSize = 0;
        if (!Take(&sizeField, 4) || !Take(&charSize, 4) || sizeField < 4) return false;
        const auto length = static_cast<std::size_t>(sizeField - 4);
        if (bytes_.size() - at_ < length) return false;
        out.assign(bytes_.data() + at_, length);
        at_ += length;
        if (charSize != 1) out.clear();
        return true;
    }

private:
    const std::string& bytes_;
    std::size_t at_ = 0;
};

class TDispatch {
public:
    TDispatch(TMonitorFileContent& content, const TMonitorReadOptions& options) : content_(content), options_(options)
    {
    }

    void operator()(std::int32_t id, TMicroReader& reader)
    {
        content_.LastItemOffset = reader.Position() - 4;
        if (monitor_)
            Monitor(id, reader);
        else
            General(id, reader);
    }

private:
    template <class T>
    T* Append()
    {
        auto object = std::make_unique<T>();
        T* raw = object.get();
        content_.Objects.push_back(std::move(object));
        return raw;
    }

    void Problem(std::int64_t offset, const std::string& text)
    {
        if (options_.OnProblem) options_.OnProblem(offset, text);
    }

    void General(std::int32_t id, TMicroReader& reader)
    {
        if (id == item::kFileInformation) {
            reader.BeginFolding(id);
            reader.SetCurrentObject(&fileInformation_);
        } else if (id == item::kFileType) {
            ReadFileType(reader);
        } else {
            reader.SkipValue();
        }
    }

    void ReadFileType(TMicroReader& reader)
    {
        content_.FileType = static_cast<TTovFileType>(reader.ReadInteger());
        monitor_ = content_.FileType == TTovFileType::ftMonitorData ||
                   content_.FileType == TTovFileType::ftVideoFileController;
    }

    void Monitor(std::int32_t id, TMicroReader& reader)
    {
        TTovObject* current = reader.GetCurrentObject();
        if (auto* info = dynamic_cast<TMonitorInfo*>(current)) return MonitorInfoItem(*info, id, reader);
        if (auto* serie = dynamic_cast<TParameterSerie*>(current)) return SerieItem(*serie, id, reader);
        if (auto* video = dynamic_cast<TVideoInfo*>(current)) return VideoInfoItem(*video, id, reader);
        if (current == &fileInformation_ && (id == item::kFileInfoText203 || id == item::kFileInfoText204)) {
            (id == item::kFileInfoText203 ? content_.FileInfo203 : content_.FileInfo204) = reader.ReadString();
            return;
        }
        switch (id) {
            case item::kItem30:
                content_.Item30 = static_cast<std::uint8_t>(reader.ReadInteger());
                break;
            case item::kMonitorInfo:
                reader.BeginFolding(id);
                reader.SetCurrentObject(Append<TMonitorInfo>());
                break;
            case item::kReservedArea:
                content_.ReservedAreaOffset = reader.Position() - 4;
                if (options_.StopAtReservedArea)
                    reader.Stop();
                else
                    reader.SkipValue();
                break;
            case item::kParameterSerie: {
                TParameterSerie* serie = Append<TParameterSerie>();
                reader.PushGroup(reader.ReadSize());
                reader.SetCurrentObject(serie);
                break;
            }
            case item::kValuePoint:
            case item::kDelimiterPoint:
            case item::kAnalyserValue:
            case item::kAnalyserValueWithText:
                PointRecord(id, reader);
                break;
            case item::kVideoFrame:
                VideoFrame(reader);
                break;
            case item::kVideoInfo: {
                TVideoInfo* info = Append<TVideoInfo>();
                reader.BeginFolding(id);
                reader.SetCurrentObject(info);
                if (video_ == nullptr) {
                    video_ = Append<TVideoSerie>();
                    video_->Caption = "Video from ";
                }
                video_->Folder = options_.FileName.parent_path().string();
                break;
            }
            default:
                reader.SkipValue();
                break;
        }
    }

    static void MonitorInfoItem(TMonitorInfo& info, std::int32_t id, TMicroReader& reader)
    {
        switch (id) {
            case item::kMonitorKind:
                info.MonitorKind = reader.ReadString();
                break;
            case item::kMonitorQualifier:
                info.MonitorQualifier = reader.ReadString();
                break;
            case item::kPatientId:
                info.PatientId = reader.ReadString();
                break;
            case item::kPatientName:
                info.PatientName = reader.ReadString();
                break;
            default:
                reader.SkipValue();
                break;
        }
    }

    static void SerieItem(TParameterSerie& serie, std::int32_t id, TMicroReader& reader)
    {
        switch (id) {
            case item::kSerieIndex:
                serie.Index = static_cast<std::uint16_t>(reader.ReadInteger());
                break;
            case item::kSerieParameterName:
                serie.Info.SetParameterName(reader.ReadString());
                break;
            case item::kSerieMeasurementPlace:
                serie.Info.SetMeasurementPlace(reader.ReadString());
                break;
            case item::kSerieParamExtraName:
                serie.Info.SetParamExtraName(reader.ReadString());
                break;
            case item::kSerieUnitName:
                serie.UnitName = reader.ReadString();
                break;
            case item::kSerieParameterId:
                serie.Info.SetParameterID(reader.ReadString());
                break;
            default:
                reader.SkipValue();
                break;
        }
    }

    void VideoInfoItem(TVideoInfo& info, std::int32_t id, TMicroReader& reader)
    {
        switch (id) {
            case item::kVideoFileName:
                info.VideoFileName = reader.ReadString();
                if (video_ != nullptr) {
                    video_->Files.push_back(info.VideoFileName);
                    video_->CurrentFile = static_cast<std::int32_t>(video_->Files.size() - 1);
                }
                break;
            case item::kVideoCaption203:
            case item::kVideoCaption204:
                (id == item::kVideoCaption203 ? info.Caption203 : info.Caption204) = reader.ReadString();
                if (video_ != nullptr) video_->Caption = "Video from " + info.Caption204 + " " + info.Caption203;
                break;
            default:
                reader.SkipValue();
                break;
        }
    }

    // The parameter series a record's index names, or nullptr when the record is to be dropped.
    TParameterSerie* SerieFor(std::uint16_t index, std::int64_t offset)
    {
        const std::size_t position = static_cast<std::size_t>(index) + 1;
        if (position >= content_.Objects.size()) {
            if (!options_.OnProblem) throw EListError(static_cast<long long>(position));
            Problem(offset, "record for series " + std::to_string(index) + ", which is not declared");
            return nullptr;
        }
        auto* serie = dynamic_cast<TParameterSerie*>(content_.Objects[position].get());
        if (serie == nullptr || serie->Index != index) {
            Problem(offset, "record for series " + std::to_string(index) + ", which is not declared");
            return nullptr;
        }
        if (!serie->Serie) serie->Serie = std::make_unique<TSerie>();
        return serie;
    }

    void PointRecord(std::int32_t id, TMicroReader& reader)
    {
        const std::int64_t offset = reader.Position() - 4;
        const std::int64_t size = reader.ReadSize();
        reader.MarkItem(size);
        if (id == item::kValuePoint || id == item::kDelimiterPoint) {
            if (size < item::kPointPayloadSize) {
                Problem(offset, "record shorter than its fields");
                reader.Skip(size);
                return;
            }
            const std::uint16_t index = reader.ReadRawU16();
            const double x = reader.ReadRawF64();
            const double y = reader.ReadRawF64();
            if (TParameterSerie* serie = SerieFor(index, offset)) {
                if (id == item::kValuePoint)
                    serie->Serie->AddPoint(CreatePoint<TXYPoint>(x, y), false);
                else
                    serie->Serie->AddControlPoint(std::make_unique<TRecordDelimiterPoint>(x, y));
            }
            reader.SkipRestOfItem();
            return;
        }
        // Analyser values carry strings: take the payload (never more than the stream holds) and
        // parse it within its bounds.
        const bool truncated = size > reader.Remaining();
        std::string bytes(static_cast<std::size_t>(std::min(size, reader.Remaining())), '\0');
        reader.ReadRaw(bytes.data(), bytes.size());
        TPayload payload(bytes);
        std::uint16_t index = 0;
        double x = 0;
        double y = 0;
        std::uint8_t result = 0;
        std::string resultText;
        std::string vial;
        std::int32_t attempt = 0;
        const bool complete = payload.Take(&index, 2) && payload.Take(&x, 8) && payload.Take(&y, 8) &&
                              payload.Take(&result, 1) &&
                              (id == item::kAnalyserValue || payload.TakeString(resultText)) &&
                              payload.TakeString(vial) && payload.Take(&attempt, 4);
        if (!complete) {
            if (truncated) throw EReadError();
            Problem(offset, "record shorter than its fields");
            return;
        }
        if (TParameterSerie* serie = SerieFor(index, offset)) {
            auto point = std::make_unique<TOmbraDataPoint>(x, y);
            point->AnalyseResult = static_cast<TAnalyseResult>(result);
            point->AnalyseResultString = resultText;
            point->VialID = vial;
            point->AttemptNo = attempt;
            serie->Serie->AddPoint(std::move(point), false);
        }
        reader.SkipRestOfItem();
    }

    void VideoFrame(TMicroReader& reader)
    {
        const std::int64_t offset = reader.Position() - 4;
        const std::int64_t size = reader.ReadSize();
        reader.MarkItem(size);
        if (size < 12) {
            Problem(offset, "record shorter than its fields");
            reader.Skip(size);
            return;
        }
        const double x = reader.ReadRawF64();
        const std::int32_t frame = reader.ReadRawI32();
        if (video_ == nullptr) {
            // Without an announced video file there is no series to hold the frame.
            Problem(offset, "video frame before any video file");
        } else {
            auto point = std::make_unique<TVideoFrame>(x, static_cast<double>(frame));
            point->AVIFileNumber = video_->CurrentFile;
            video_->AddPoint(std::move(point), false);
        }
        reader.SkipRestOfItem();
    }

    TMonitorFileContent& content_;
    const TMonitorReadOptions& options_;
    bool monitor_ = false;
    TTovObject fileInformation_;
    TVideoSerie* video_ = nullptr;
};

}  // namespace

bool ReadMonitorFile(TMicroReader& reader, TStream& stream, TMonitorFileContent& content,
                     const TMonitorReadOptions& options)
{
    TDispatch dispatch(content, options);
    return reader.Read(stream, [&dispatch](std::int32_t id, TMicroReader& r) { dispatch(id, r); });
}

bool TakesOurRecords(const TMicroReader& reader)
{
    return !reader.Checksummed() && !(reader.MajorVersion() <= 1 && reader.MinorVersion() <= 1);
}

std::int64_t PointRecordsStart(TMicroReader& reader, TStream& file)
{
    TMonitorFileContent content;
    TMonitorReadOptions options;
    options.StopAtReservedArea = true;
    file.Seek(0);
    ReadMonitorFile(reader, file, content, options);
    if (content.FileType != TTovFileType::ftMonitorData) throw ETovError(savefile_text::kIncorrectFiletype);
    if (!TakesOurRecords(reader)) throw ETovError(savefile_text::kCannotAppendInFormat);
    // A folding around the reserved area that claims to run past the file: records behind it would be
    // inside it for a reader that skips it, and lost.
    if (reader.StopFoldingsEnd() > file.Size()) throw ETovError(tov_text::kErrorInFile);
    if (content.ReservedAreaOffset < 0) return -1;
    const std::int64_t sizeAt = content.ReservedAreaOffset + 4;
    if (sizeAt + 4 > file.Size()) throw ETovError(tov_text::kErrorInFile);
    file.Seek(sizeAt);
    std::int32_t reserved = 0;
    file.ReadBuffer(&reserved, 4);
    const std::int64_t start = sizeAt + 4 + reserved;
    if (reserved < 0 || start > file.Size()) throw ETovError(tov_text::kErrorInFile);
    return start;
}

std::int64_t WholeItemsEnd(TStream& file, std::int64_t from)
{
    const std::int64_t size = file.Size();
    std::int64_t at = from;
    while (size - at >= 8) {
        std::int32_t head[2];
        file.Seek(at);
        file.ReadBuffer(head, sizeof head);
        if (head[1] < 0 || head[1] > size - at - 8) break;
        at += 8 + head[1];
    }
    return at;
}

}  // namespace halcyra
