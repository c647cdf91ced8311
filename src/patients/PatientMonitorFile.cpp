#include "patients/PatientMonitorFile.h"

#include "platform/Text.h"

#include <exception>

namespace halcyra {
namespace {

// One appended point: an 8-byte folding head and its 18 bytes of index, time and value.
constexpr std::uint64_t kPointRecordSize = 26;

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
    writer_ = nullptr;
    openFile_.clear();
    openHost_.clear();
    series_.clear();
    openFolder_ = folder;
    patientId_ = patientId;
    lossLogged_ = false;
    for (int number = 0; number <= kLastMonitorNumber; ++number) {
        monitorName_ = std::string(kMonitorName);
        if (number > 0) monitorName_ += std::to_string(number);
        const std::string path = std::string(folder) + monitorName_ + ".pil";
        if (TryOpen(writer, path, patientId, patientName)) {
            writer_ = &writer;
            openFile_ = path;
            return;
        }
    }
}

bool TPatientMonitorFile::TryOpen(TSaveItNew& writer, const std::string& windowsPath, std::string_view patientId,
                                  std::string_view patientName)
{
    try {
        const std::filesystem::path host = files_.HostPath(windowsPath);
        const std::string key = host.string();
        TFileStamp stamp;
        const auto cached = headers_.find(key);
        if (cached != headers_.end() && io_->Stamp(host, stamp) && cached->second.stamp == stamp &&
            cached->second.patientId == patientId) {
            writer.SetFileName(host);
            series_ = CopyOf(cached->second.series);
            openHost_ = key;
            return true;
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
        if (foreignMonitor || indexError) return false;

        if (stamped) headers_[key] = TCachedHeader{stamp, std::string(patientId), CopyOf(series)};
        series_ = std::move(series);
        openHost_ = key;
        return true;
    } catch (const std::exception&) {
        return false;
    }
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

bool TPatientMonitorFile::AppendDelimiter(std::string_view label, std::string_view place, std::string_view extra,
                                          std::string_view unit, std::int32_t code, TDateTime time)
{
    int index = -1;
    try {
        index = SeriesIndexFor(label, place, extra, unit);
    } catch (const std::exception& e) {
        Log("Could not declare " + std::string(label) + " in " + openFile_ + ": " + e.what());
        return false;
    }
    if (index < 0) return false;
    if (!writer_->AddDelimiterPoint(static_cast<std::uint16_t>(index), code, time)) return false;
    NoteOwnAppend();
    return true;
}

void TPatientMonitorFile::NoteOwnAppend()
{
    // Our own point leaves the header as it was: the kept header stays current when the file grew by
    // exactly that point and nothing else replaced it.
    const auto cached = headers_.find(openHost_);
    if (cached == headers_.end()) return;
    TFileStamp now;
    if (io_->Stamp(openHost_, now) && now.inode == cached->second.stamp.inode &&
        now.size == cached->second.stamp.size + kPointRecordSize)
        cached->second.stamp = now;
    else
        headers_.erase(cached);
}

void TPatientMonitorFile::AppendValue(std::string_view label, std::string_view place, std::string_view extra,
                                      std::string_view unit, TDateTime time, double value)
{
    if (writer_ == nullptr) {
        if (!lossLogged_)
            Log("No monitor-data file could be opened for patient " + patientId_ + " in " + openFolder_ +
                ": values are not written");
        lossLogged_ = true;
        return;
    }
    int found = FindSeries(label, place, extra, unit);
    if (found < 0) {
        // A value is never raised to the message handling: the rest of the message still gets written.
        try {
            found = AddSeries(label, place, extra, unit);
        } catch (const std::exception& e) {
            Log("Could not declare " + std::string(label) + " in " + openFile_ + ": " + e.what());
            return;
        }
    }
    if (params_.IsExcluded(label) && !params_.Automatic()) return;
    lastWrittenTime_ = time;
    if (!writer_->AddValuePoint(series_[static_cast<std::size_t>(found)]->Index, time, value)) return;
    NoteOwnAppend();
    if (dataManager_.LinkEnabled()) dataManager_.AddValue(patientId_, label, unit, time, value);
}

}  // namespace halcyra
