#include "patients/PatientMonitorFile.h"

#include "platform/Text.h"
#include "savefile/SaveFileIds.h"

#include <exception>

namespace halcyra {
namespace {

// How much of a file's end is read for its series' last points: some hundred intervals of a patient with
// a few dozen series, and still a small, fixed cost whatever the length of the file.
constexpr std::int64_t kPointTailBytes = 2048 * item::kPointRecordSize;

std::unique_ptr<TParameterSerie> CopyOf(const TParameterSerie& serie)
{
    auto copy = std::make_unique<TParameterSerie>();
    serie.AssignTo(*copy);
    return copy;
}

TSeriesList CopyOf(const TSeriesList& list)
{
    TSeriesList copy;
    copy.reserve(list.size());
    for (const auto& serie : list) copy.push_back(CopyOf(*serie));
    return copy;
}

}  // namespace

TPatientMonitorFile::TPatientMonitorFile(const TFileSystem& files, std::shared_ptr<ISaveFileIo> io,
                                         const TParameterModel& params, TDataManagerLink& dataManager)
    : files_(files), io_(std::move(io)), params_(params), dataManager_(dataManager)
{
}

void TPatientMonitorFile::Log(const std::string& line) const
{
    if (logger_) logger_(line);
}

void TPatientMonitorFile::OpenPatientMonitorFile(TSaveItNew& writer, std::string_view folder,
                                                 std::string_view patientId, std::string_view patientName)
{
    Open(writer, folder, patientId, patientName, true);
}

void TPatientMonitorFile::OpenExistingPatientMonitorFile(TSaveItNew& writer, std::string_view folder,
                                                         std::string_view patientId, std::string_view patientName)
{
    Open(writer, folder, patientId, patientName, false);
}

void TPatientMonitorFile::Open(TSaveItNew& writer, std::string_view folder, std::string_view patientId,
                               std::string_view patientName, bool create)
{
    writer_ = nullptr;
    openFile_.clear();
    openHost_.clear();
    series_.clear();
    points_.clear();
    openFolder_ = folder;
    patientId_ = patientId;
    lossLogged_ = false;
    for (int number = 0; number <= kLastMonitorNumber; ++number) {
        monitorName_ = std::string(kMonitorName);
        if (number > 0) monitorName_ += std::to_string(number);
        const std::string path = std::string(folder) + monitorName_ + ".pil";
        const TAttempt attempt = TryOpen(writer, path, patientId, patientName, create);
        if (attempt == TAttempt::Opened) {
            writer_ = &writer;
            openFile_ = path;
            return;
        }
        // Values would go to a new file of this name: no later name holds the patient's open series.
        if (attempt == TAttempt::Missing) return;
    }
}

TPatientMonitorFile::TAttempt TPatientMonitorFile::TryOpen(TSaveItNew& writer, const std::string& windowsPath,
                                                           std::string_view patientId, std::string_view patientName,
                                                           bool create)
{
    try {
        const std::filesystem::path host = files_.HostPath(windowsPath);
        if (!create && !io_->Exists(host)) return TAttempt::Missing;
        const std::string key = host.string();
        TFileStamp stamp;
        const auto cached = headers_.find(key);
        if (cached != headers_.end() && io_->Stamp(host, stamp) && cached->second.stamp == stamp &&
            cached->second.patientId == patientId) {
            writer.SetFileName(host);
            series_ = CopyOf(cached->second.series);
            points_ = cached->second.points;
            openHost_ = key;
            return TAttempt::Opened;
        }
        headers_.erase(key);

        writer.SetFileName(host);
        writer.OpenOrCreate(std::string(kMonitorName), "", std::string(patientId), std::string(patientName), false);
        // Stamped before the read: a change while reading makes the next open read again.
        const bool stamped = io_->Stamp(host, stamp);
        writer.SetFileName(host);
        writer.DropFileCache();
        writer.ReadHeaderRegion();

        TSeriesList series;
        bool foreignMonitor = false;
        bool indexError = false;
        std::uint16_t expected = 0;
        for (const auto& object : writer.LoadedObjects()) {
            if (const auto* info = dynamic_cast<const TMonitorInfo*>(object.get())) {
                if (info->MonitorKind != kMonitorName) foreignMonitor = true;
            } else if (const auto* serie = dynamic_cast<const TParameterSerie*>(object.get())) {
                series.push_back(CopyOf(*serie));
                if (serie->Index == expected)
                    ++expected;
                else
                    indexError = true;
            }
        }
        if (foreignMonitor || indexError) return TAttempt::Failed;

        std::vector<TSeriesPoints> points = LearnPoints(writer, series.size());
        if (stamped) headers_[key] = TCachedHeader{stamp, std::string(patientId), CopyOf(series), points};
        series_ = std::move(series);
        points_ = std::move(points);
        openHost_ = key;
        return TAttempt::Opened;
    } catch (const std::exception&) {
        return TAttempt::Failed;
    }
}

std::vector<TSeriesPoints> TPatientMonitorFile::LearnPoints(TSaveItNew& writer, std::size_t seriesCount) const
{
    std::vector<TSeriesPoints> points(seriesCount);
    if (seriesCount == 0) return points;
    std::size_t unknown = seriesCount;
    TPointTailEnd end = TPointTailEnd::Unreadable;
    try {
        end = writer.VisitLastPoints(kPointTailBytes, [&](const TPointRecord& record) {
            // A record of no declared series is dropped by every reader as well.
            if (record.index >= seriesCount) return true;
            TSeriesPoints& series = points[record.index];
            if (!series.Known()) --unknown;
            series.ReadBefore(record.id == item::kDelimiterPoint, record.time);
            return unknown > 0;
        });
    } catch (const std::exception& e) {
        Log("Could not read the last points of " + HostPathText(writer.FileName()) + ": " + e.what());
    }
    // Records of other producers, or a file that cannot be read: nothing is known, so nothing is skipped.
    if (end == TPointTailEnd::Unreadable) return std::vector<TSeriesPoints>(seriesCount);
    if (end == TPointTailEnd::Start)
        for (TSeriesPoints& series : points)
            if (!series.Known()) series = TSeriesPoints::None();
    return points;
}

int TPatientMonitorFile::FindSeries(std::string_view label, std::string_view place, std::string_view extra,
                                    std::string_view unit) const
{
    // The series keep their names as declarations store them: without surrounding blanks.
    const std::string name = Trim(label);
    const std::string measurementPlace = Trim(place);
    const std::string extraName = Trim(extra);
    for (std::size_t i = 0; i < series_.size(); ++i) {
        const TParameterSerie& serie = *series_[i];
        if (serie.Info.ParameterName() == name && serie.Info.MeasurementPlace() == measurementPlace &&
            serie.Info.ParamExtraName() == extraName && (unit.empty() || serie.UnitName == unit))
            return static_cast<int>(i);
    }
    return -1;
}

int TPatientMonitorFile::AddSeries(std::string_view label, std::string_view place, std::string_view extra,
                                   std::string_view unit)
{
    auto serie = std::make_unique<TParameterSerie>();
    serie->Index = static_cast<std::uint16_t>(series_.size());
    serie->Info.SetParameterName(label);
    serie->Info.SetMeasurementPlace(place);
    serie->Info.SetParamExtraName(extra);
    serie->UnitName = unit;
    // The declaration replaces the file: what was kept of its header is no longer current.
    headers_.erase(openHost_);
    writer_->AddParameterSerie(serie->Index, std::string(label), std::string(place), std::string(extra), "",
                               std::string(unit));
    series_.push_back(std::move(serie));
    points_.push_back(TSeriesPoints::None());
    return static_cast<int>(series_.size()) - 1;
}

int TPatientMonitorFile::SeriesIndexFor(std::string_view label, std::string_view place, std::string_view extra,
                                        std::string_view unit)
{
    if (writer_ == nullptr) return -1;
    int found = FindSeries(label, place, extra, unit);
    if (found < 0) found = AddSeries(label, place, extra, unit);
    return series_[static_cast<std::size_t>(found)]->Index;
}

std::optional<TDateTime> TPatientMonitorFile::AppendDelimiter(std::string_view label, std::string_view place,
                                                              std::string_view extra, std::string_view unit,
                                                              std::int32_t code, TDateTime after)
{
    if (writer_ == nullptr) return std::nullopt;
    const int found = FindSeries(label, place, extra, unit);
    if (found < 0) return std::nullopt;
    const auto k = static_cast<std::size_t>(found);
    if (!points_[k].NeedsDelimiter()) return std::nullopt;
    const TDateTime time = points_[k].DelimiterTime(after);
    if (!writer_->AddDelimiterPoint(series_[k]->Index, code, time)) return std::nullopt;
    NoteOwnAppend(k, true, time);
    return time;
}

void TPatientMonitorFile::NoteOwnAppend(std::size_t series, bool delimiter, TDateTime time)
{
    points_[series].Appended(delimiter, time);
    // Our own point leaves the header as it was: the kept header stays current when the file grew by
    // exactly that point and nothing else replaced it.
    const auto cached = headers_.find(openHost_);
    if (cached == headers_.end()) return;
    TFileStamp now;
    if (io_->Stamp(openHost_, now) && now.inode == cached->second.stamp.inode &&
        now.size == cached->second.stamp.size + item::kPointRecordSize &&
        cached->second.points.size() == points_.size()) {
        cached->second.stamp = now;
        cached->second.points[series] = points_[series];
    } else {
        headers_.erase(cached);
    }
}

bool TPatientMonitorFile::AppendValue(std::string_view label, std::string_view place, std::string_view extra,
                                      std::string_view unit, TDateTime time, double value, TValueTiming timing)
{
    if (writer_ == nullptr) {
        if (!lossLogged_)
            Log("No monitor-data file could be opened for patient " + patientId_ + " in " + openFolder_ +
                ": values are not written");
        lossLogged_ = true;
        return false;
    }
    int found = FindSeries(label, place, extra, unit);
    if (found < 0) {
        // A value is never raised to the message handling: the rest of the message still gets written.
        try {
            found = AddSeries(label, place, extra, unit);
        } catch (const std::exception& e) {
            Log("Could not declare " + std::string(label) + " in " + openFile_ + ": " + e.what());
            return false;
        }
    }
    if (params_.IsExcluded(label) && !params_.Automatic()) return false;
    const auto k = static_cast<std::size_t>(found);
    if (timing == TValueTiming::Grid && points_[k].HoldsValueAt(time)) return false;
    lastWrittenTime_ = time;
    if (!writer_->AddValuePoint(series_[k]->Index, time, value)) return false;
    ++valuesWritten_;
    NoteOwnAppend(k, false, time);
    if (dataManager_.LinkEnabled()) dataManager_.AddValue(patientId_, label, unit, time, value);
    return true;
}

}  // namespace halcyra
