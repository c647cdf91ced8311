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
                                         const TParameterModel& params, IPointNotices& notices)
    : files_(files), io_(std::move(io)), params_(params), notices_(notices)
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
            if (create) notices_.FileInUse(patientId, openFile_);
            return;
        }
        // Values would go to a new file of this name: no later name holds the patient's open series.
        if (attempt == TAttempt::Missing) return;
    }
    if (create) notices_.FileInUse(patientId, "");
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

namespace {

// Whether a series takes values of (name, place, extra, unit), the texts trimmed as declarations store them.
bool Takes(const TParameterSerie& serie, const std::string& name, const std::string& place, const std::string& extra,
           std::string_view unit)
{
    return serie.Info.ParameterName() == name && serie.Info.MeasurementPlace() == place &&
           serie.Info.ParamExtraName() == extra && (unit.empty() || serie.UnitName == unit);
}

}  // namespace

int TPatientMonitorFile::FindSeries(std::string_view label, std::string_view place, std::string_view extra,
                                    std::string_view unit) const
{
    // The series keep their names as declarations store them: without surrounding blanks.
    const std::string name = Trim(label);
    const std::string measurementPlace = Trim(place);
    const std::string extraName = Trim(extra);
    for (std::size_t i = 0; i < series_.size(); ++i)
        if (Takes(*series_[i], name, measurementPlace, extraName, unit)) return static_cast<int>(i);
    return -1;
}

std::vector<int> TPatientMonitorFile::PlanSeries(const std::vector<TFileValue>& values, TAddedSeries& added)
{
    // The first series that takes a value, among the file's and then the new ones in the order they are
    // added: the same series one-by-one declarations would give.
    std::vector<int> seriesOf(values.size(), -1);
    std::string refused;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TFileValue& v = values[i];
        int found = FindSeries(v.label, v.place, v.extra, v.unit);
        if (found < 0) {
            const std::string name = Trim(v.label);
            const std::string place = Trim(v.place);
            const std::string extra = Trim(v.extra);
            for (std::size_t j = 0; j < added.series.size() && found < 0; ++j)
                if (Takes(*added.series[j], name, place, extra, v.unit)) found = static_cast<int>(series_.size() + j);
        }
        if (found < 0) {
            if (series_.size() + added.series.size() >= kMaxSeriesPerFile) {
                if (refused.empty()) refused = v.label;
                continue;
            }
            auto serie = std::make_unique<TParameterSerie>();
            serie->Index = static_cast<std::uint16_t>(series_.size() + added.series.size());
            serie->Info.SetParameterName(v.label);
            serie->Info.SetMeasurementPlace(v.place);
            serie->Info.SetParamExtraName(v.extra);
            serie->UnitName = v.unit;
            added.declarations.push_back({serie->Index, v.label, v.place, v.extra, "", v.unit});
            added.series.push_back(std::move(serie));
            found = static_cast<int>(series_.size() + added.series.size()) - 1;
        }
        seriesOf[i] = found;
    }
    if (!refused.empty())
        notices_.ValuesNotWritten(patientId_, openFile_ + " holds " + std::to_string(kMaxSeriesPerFile) +
                                                  " series, the most a file takes: the values of " + refused +
                                                  " are not written");
    if (!refused.empty() && fullLogged_.insert(openHost_).second)
        Log(openFile_ + " of patient " + patientId_ + " holds " + std::to_string(kMaxSeriesPerFile) +
            " series, the most a file takes: new series (the first is " + refused +
            ") are not declared and their values are not written");
    return seriesOf;
}

void TPatientMonitorFile::Declare(TAddedSeries added)
{
    if (added.series.empty()) return;
    // The declaration replaces the file: what was kept of its header is no longer current.
    headers_.erase(openHost_);
    writer_->AddParameterSeries(added.declarations);
    for (auto& serie : added.series) {
        series_.push_back(std::move(serie));
        points_.push_back(TSeriesPoints::None());
    }
}

int TPatientMonitorFile::SeriesIndexFor(std::string_view label, std::string_view place, std::string_view extra,
                                        std::string_view unit)
{
    if (writer_ == nullptr) return -1;
    TAddedSeries added;
    const int found = PlanSeries(
        {TFileValue{std::string(label), std::string(place), std::string(extra), std::string(unit)}}, added)[0];
    if (found < 0) return -1;
    Declare(std::move(added));
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
    return AppendValues({TFileValue{std::string(label), std::string(place), std::string(extra), std::string(unit), time,
                                    value, timing}}) == 1;
}

int TPatientMonitorFile::AppendValues(const std::vector<TFileValue>& values)
{
    if (values.empty()) return 0;
    if (writer_ == nullptr) {
        if (!lossLogged_)
            Log("No monitor-data file could be opened for patient " + patientId_ + " in " + openFolder_ +
                ": values are not written");
        lossLogged_ = true;
        notices_.ValuesNotWritten(patientId_, "No monitor-data file could be opened in " + openFolder_);
        return 0;
    }
    TAddedSeries added;
    std::vector<int> seriesOf = PlanSeries(values, added);
    const std::size_t declared = series_.size();
    if (!added.series.empty()) {
        const std::string first = added.declarations.front().parameterName;
        const std::size_t count = added.series.size();
        // A value is never raised to the message handling: the values of the file's series are still written.
        try {
            Declare(std::move(added));
        } catch (const std::exception& e) {
            const std::string what = "Could not declare " + first +
                                     (count > 1 ? " and " + std::to_string(count - 1) + " other series" : "") + " in " +
                                     openFile_ + ": " + e.what();
            Log(what);
            notices_.ValuesNotWritten(patientId_, what);
            for (int& k : seriesOf)
                if (k >= static_cast<int>(declared)) k = -1;
        }
    }
    int written = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (seriesOf[i] >= 0 && AppendPoint(static_cast<std::size_t>(seriesOf[i]), values[i])) ++written;
    return written;
}

bool TPatientMonitorFile::AppendPoint(std::size_t k, const TFileValue& v)
{
    if (params_.IsExcluded(v.label) && !params_.Automatic()) return false;
    if (v.timing == TValueTiming::Grid && points_[k].HoldsValueAt(v.time)) return false;
    lastWrittenTime_ = v.time;
    if (!writer_->AddValuePoint(series_[k]->Index, v.time, v.value)) {
        notices_.ValuesNotWritten(patientId_, "A value of " + v.label + " could not be appended to " + openFile_);
        return false;
    }
    ++valuesWritten_;
    NoteOwnAppend(k, false, v.time);
    notices_.ValuePointWritten(patientId_, v.label, v.unit, v.time, v.value);
    return true;
}

}  // namespace halcyra
