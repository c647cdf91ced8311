#include "patients/PatientMonitorFile.h"

#include "platform/Text.h"
#include "savefile/MonitorReader.h"
#include "savefile/SaveFileIds.h"

#include <algorithm>
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

// Why a file that does not match was refused: its monitor line ("kind - ours") differs for a file of another
// monitor, else it is another patient's.
std::string MismatchReason(const std::string& what)
{
    const std::size_t line = what.find("\r\n");
    const std::size_t end = line == std::string::npos ? line : what.find("\r\n", line + 2);
    if (line != std::string::npos) {
        const std::string kinds = what.substr(line + 2, end == std::string::npos ? end : end - line - 2);
        const std::size_t dash = kinds.find(" - ");
        if (dash != std::string::npos && kinds.substr(0, dash) != kinds.substr(dash + 3))
            return "it was written by another monitor";
    }
    return "it belongs to another patient";
}

std::string ReasonOf(const ETovError& e)
{
    const std::string what = e.what();
    if (what.rfind(savefile_text::kDoesNotMatch, 0) == 0) return MismatchReason(what);
    return "it is damaged (" + what + ")";
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

void TPatientMonitorFile::WriterLine(const std::string& line)
{
    if (writing_ && line.rfind("Could not append", 0) == 0)
        WriteFailed(FailureCause(line), line);
    else
        Log(line);
}

void TPatientMonitorFile::WriteFailed(const std::string& cause, const std::string& line)
{
    if (clock_ == nullptr) {
        Log(line);
        return;
    }
    if (const auto report = failures_.Failed(cause, patientId_, line, clock_->Monotonic())) Log(report->text);
}

void TPatientMonitorFile::OpenPatientMonitorFile(TSaveItNew& writer, std::string_view folder,
                                                 std::string_view patientId, std::string_view patientName)
{
    Open(writer, folder, patientId, patientName, true);
}

void TPatientMonitorFile::NoteSetAside(const std::vector<std::pair<std::string, std::string>>& setAside)
{
    // Told once per patient and file: the data manager's user must know the values moved on.
    for (const auto& [path, why] : setAside) {
        if (!asideLogged_.insert(patientId_ + "|" + path).second) continue;
        const std::string line =
            path + " of patient " + patientId_ + " is set aside because " + why + "; the values go to " + openFile_;
        Log(line);
        notices_.FileSetAside(patientId_, line);
    }
}

void TPatientMonitorFile::OpenExistingPatientMonitorFile(TSaveItNew& writer, std::string_view folder,
                                                         std::string_view patientId, std::string_view patientName)
{
    Open(writer, folder, patientId, patientName, false);
}

const TSeriesList& TPatientMonitorFile::SeriesList() const
{
    static const TSeriesList kNone;
    return open_ != nullptr ? open_->series : kNone;
}

std::vector<std::pair<std::string, std::string>> TPatientMonitorFile::UnclosedSeries() const
{
    std::vector<std::pair<std::string, std::string>> names;
    if (open_ == nullptr) return names;
    for (std::size_t k = 0; k < open_->series.size(); ++k) {
        const TParameterSerie& s = *open_->series[k];
        if (!s.Info.MeasurementPlace().empty() || !s.Info.ParamExtraName().empty()) continue;
        if (open_->points[k].NeedsDelimiter()) names.emplace_back(s.Info.ParameterName(), s.UnitName);
    }
    return names;
}

void TPatientMonitorFile::Open(TSaveItNew& writer, std::string_view folder, std::string_view patientId,
                               std::string_view patientName, bool create)
{
    writer_ = nullptr;
    open_ = nullptr;
    openFile_.clear();
    openHost_.clear();
    openFolder_ = folder;
    patientId_ = patientId;
    lossLogged_ = false;
    openError_.clear();
    std::vector<std::pair<std::string, std::string>> setAside;  // path, why
    for (int number = 0; number <= kLastMonitorNumber; ++number) {
        monitorName_ = std::string(kMonitorName);
        if (number > 0) monitorName_ += std::to_string(number);
        const std::string path = std::string(folder) + monitorName_ + ".pil";
        refusal_.clear();
        const TAttempt attempt = TryOpen(writer, path, patientId, patientName, create);
        if (attempt == TAttempt::Opened) {
            writer_ = &writer;
            openFile_ = path;
            if (create) {
                notices_.FileInUse(patientId, openFile_);
                NoteSetAside(setAside);
            }
            return;
        }
        if (attempt == TAttempt::Failed) setAside.emplace_back(path, refusal_.empty() ? "it cannot be read" : refusal_);
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
        // A file found under the name as written is the one the full lookup would find: one stat settles the
        // usual case. Anything else (a missing file, another spelling of a name) takes the full lookup.
        std::filesystem::path host = files_.ExactHostPath(windowsPath);
        TFileStamp stamp;
        bool found = io_->Stamp(host, stamp);
        if (!found) {
            host = files_.HostPath(windowsPath);
            found = io_->Stamp(host, stamp);
        }
        if (!create && !found) return TAttempt::Missing;
        const std::string key = host.string();
        const auto known = known_.find(key);
        if (found && known != known_.end() && known->second.stamp == stamp && known->second.patientId == patientId) {
            if (known->second.refused) {
                refusal_ = known->second.why;
                return TAttempt::Failed;
            }
            writer.SetFileName(host);
            open_ = &known->second;
            openHost_ = key;
            return TAttempt::Opened;
        }
        known_.erase(key);
        return ReadHeader(writer, host, patientId, patientName);
    } catch (const std::exception& e) {
        openError_ = e.what();
        refusal_ = std::string("it cannot be opened (") + e.what() + ")";
        return TAttempt::Failed;
    }
}

TPatientMonitorFile::TAttempt TPatientMonitorFile::ReadHeader(TSaveItNew& writer, const std::filesystem::path& host,
                                                              std::string_view patientId, std::string_view patientName)
{
    const std::string key = host.string();
    TFileStamp stamp;
    bool stamped = false;
    // A refusal for what the file holds stands while the file is unchanged; a failure to read it does not.
    const auto refuse = [&](std::string why) {
        refusal_ = why;
        if (stamped) known_[key] = TKnownFile{stamp, std::string(patientId), true, std::move(why), {}, {}};
        return TAttempt::Failed;
    };
    try {
        writer.SetFileName(host);
        writer.OpenOrCreate(std::string(kMonitorName), "", std::string(patientId), std::string(patientName), false);
        // Stamped before the read: a change while reading makes the next open read again.
        stamped = io_->Stamp(host, stamp);
        writer.SetFileName(host);
        writer.DropFileCache();
        writer.ReadHeaderRegion();
    } catch (const ETovError& e) {
        if (!stamped) stamped = io_->Stamp(host, stamp);
        return refuse(ReasonOf(e));
    } catch (const EReadError& e) {
        if (!stamped) stamped = io_->Stamp(host, stamp);
        return refuse(std::string("it is damaged (") + e.what() + ")");
    }

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
    if (foreignMonitor) return refuse("it was written by another monitor");
    if (indexError) return refuse("it is damaged (its series are not numbered in order)");

    std::vector<TSeriesPoints> points = LearnPoints(writer, series.size());
    TKnownFile& file = known_[key];
    file = TKnownFile{
        stamped ? stamp : TFileStamp{}, std::string(patientId), false, {}, std::move(series), std::move(points)};
    open_ = &file;
    openHost_ = key;
    return TAttempt::Opened;
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
    const TSeriesList& series = open_->series;
    for (std::size_t i = 0; i < series.size(); ++i)
        if (Takes(*series[i], name, measurementPlace, extraName, unit)) return static_cast<int>(i);
    return -1;
}

std::vector<int> TPatientMonitorFile::PlanSeries(const std::vector<TFileValue>& values, TAddedSeries& added)
{
    // The first series that takes a value, among the file's and then the new ones in the order they are
    // added: the same series one-by-one declarations would give.
    std::vector<int> seriesOf(values.size(), -1);
    const std::size_t declared = open_->series.size();
    std::string refused;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TFileValue& v = values[i];
        int found = FindSeries(v.label, v.place, v.extra, v.unit);
        if (found < 0) {
            const std::string name = Trim(v.label);
            const std::string place = Trim(v.place);
            const std::string extra = Trim(v.extra);
            for (std::size_t j = 0; j < added.series.size() && found < 0; ++j)
                if (Takes(*added.series[j], name, place, extra, v.unit)) found = static_cast<int>(declared + j);
        }
        if (found < 0) {
            if (declared + added.series.size() >= kMaxSeriesPerFile) {
                if (refused.empty()) refused = v.label;
                continue;
            }
            auto serie = std::make_unique<TParameterSerie>();
            serie->Index = static_cast<std::uint16_t>(declared + added.series.size());
            serie->Info.SetParameterName(v.label);
            serie->Info.SetMeasurementPlace(v.place);
            serie->Info.SetParamExtraName(v.extra);
            serie->UnitName = v.unit;
            added.declarations.push_back({serie->Index, v.label, v.place, v.extra, "", v.unit});
            added.series.push_back(std::move(serie));
            found = static_cast<int>(declared + added.series.size()) - 1;
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

void TPatientMonitorFile::Declare(TAddedSeries added, const std::vector<TValueRecord>& records)
{
    if (added.series.empty()) return;
    TUpdateStamps stamps;
    writer_->AddValuePoints(added.declarations, records, nullptr, &stamps);
    // The replacement holds what is kept of the file plus the declarations and records, unless someone else
    // changed the file since it was learnt: then the next open reads it again.
    const bool ours = open_->stamp.exists && stamps.before == open_->stamp && stamps.after.exists;
    open_->stamp = ours ? stamps.after : TFileStamp{};
    for (auto& serie : added.series) {
        open_->series.push_back(std::move(serie));
        open_->points.push_back(TSeriesPoints::None());
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
    return open_->series[static_cast<std::size_t>(found)]->Index;
}

std::optional<TDateTime> TPatientMonitorFile::AppendDelimiter(std::string_view label, std::string_view place,
                                                              std::string_view extra, std::string_view unit,
                                                              std::int32_t code, TDateTime after)
{
    if (writer_ == nullptr) return std::nullopt;
    const int found = FindSeries(label, place, extra, unit);
    if (found < 0) return std::nullopt;
    const auto k = static_cast<std::size_t>(found);
    if (!open_->points[k].NeedsDelimiter()) return std::nullopt;
    const TDateTime time = open_->points[k].DelimiterTime(after);
    if (!writer_->AddDelimiterPoint(open_->series[k]->Index, code, time)) return std::nullopt;
    unsynced_.insert(openHost_);
    open_->points[k].Appended(true, time);
    TFileStamp now;
    if (!io_->Stamp(openHost_, now)) now = {};
    NoteOwnAppend(1, now);
    return time;
}

void TPatientMonitorFile::NoteOwnAppend(std::size_t count, const TFileStamp& after)
{
    // Our own points leave the header as it was: the kept state stays current when the file grew by exactly
    // those points and nothing else replaced it.
    const TFileStamp& before = open_->stamp;
    const bool ours = before.exists && after.exists && after.device == before.device && after.inode == before.inode &&
                      after.size == before.size + count * item::kPointRecordSize;
    open_->stamp = ours ? after : TFileStamp{};
}

bool TPatientMonitorFile::SyncOpenFile()
{
    if (writer_ == nullptr) return false;
    try {
        io_->Sync(openHost_);
    } catch (const std::exception& e) {
        Log(std::string("Could not make the values durable: ") + e.what());
        unsynced_.insert(openHost_);
        return false;
    }
    unsynced_.erase(openHost_);
    return true;
}

void TPatientMonitorFile::SyncWrittenFiles()
{
    for (const std::string& host : unsynced_) {
        try {
            io_->Sync(host);
        } catch (const std::exception& e) {
            Log(std::string("Could not make the values durable: ") + e.what());
        }
    }
    unsynced_.clear();
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
            WriteFailed(openError_.empty() ? "no file could be opened" : FailureCause(openError_),
                        "No monitor-data file could be opened for patient " + patientId_ + " in " + openFolder_ +
                            ": values are not written" + (openError_.empty() ? "" : " (" + openError_ + ")"));
        lossLogged_ = true;
        notices_.ValuesNotWritten(patientId_, "No monitor-data file could be opened in " + openFolder_);
        return 0;
    }
    TAddedSeries added;
    const std::vector<int> seriesOf = PlanSeries(values, added);
    const std::size_t declared = open_->series.size();

    // The points to write, in message order: one per series and grid time, counting those of this message.
    std::vector<TSeriesPoints> points = open_->points;
    points.resize(declared + added.series.size(), TSeriesPoints::None());
    std::vector<std::size_t> taken;  // indices into values
    std::vector<TValueRecord> records;
    TDateTime heldUntil = 0;  // the latest point of a series that a value came too early for
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (seriesOf[i] < 0) continue;
        const auto k = static_cast<std::size_t>(seriesOf[i]);
        const TFileValue& v = values[i];
        if (params_.IsExcluded(v.label) && !params_.Automatic()) continue;
        // A series never runs back in time; a grid time is written once, while values at their own time may
        // share a second.
        if (v.timing == TValueTiming::Grid ? points[k].AtOrBefore(v.time) : points[k].Before(v.time)) {
            // A time the series holds already is no news; one before its last point waits for the clock.
            if (!points[k].HoldsValueAt(v.time)) heldUntil = std::max(heldUntil, points[k].Latest());
            continue;
        }
        lastWrittenTime_ = v.time;
        const std::uint16_t index = k < declared ? open_->series[k]->Index : added.series[k - declared]->Index;
        records.push_back({index, v.time, v.value});
        points[k].Appended(false, v.time);
        taken.push_back(i);
    }

    if (heldUntil > 0) notices_.ValuesHeldBack(patientId_, heldUntil);
    if (added.series.empty() && records.empty()) return 0;
    bool written = false;
    writing_ = true;
    struct TWritingEnd {
        bool& flag;
        ~TWritingEnd() { flag = false; }
    } writingEnd{writing_};
    if (!added.series.empty()) {
        const std::string first = added.declarations.front().parameterName;
        const std::size_t count = added.series.size();
        // A value is never raised to the message handling: the values of the file's series are still written.
        try {
            Declare(std::move(added), records);
            written = true;
        } catch (const std::exception& e) {
            const std::string what = "Could not declare " + first +
                                     (count > 1 ? " and " + std::to_string(count - 1) + " other series" : "") + " in " +
                                     openFile_ + ": " + e.what();
            WriteFailed(FailureCause(e.what()), what);
            notices_.ValuesNotWritten(patientId_, what);
            std::vector<TValueRecord> kept;
            std::vector<std::size_t> keptTaken;
            for (std::size_t r = 0; r < records.size(); ++r) {
                if (static_cast<std::size_t>(seriesOf[taken[r]]) >= declared) continue;
                kept.push_back(records[r]);
                keptTaken.push_back(taken[r]);
            }
            records.swap(kept);
            taken.swap(keptTaken);
            points.resize(declared);
        }
    }
    if (!written && !records.empty()) {
        TFileStamp after;
        written = writer_->AddValuePoints({}, records, &after);
        if (written) {
            NoteOwnAppend(records.size(), after);
            // Whoever hears of the points may rely on them after a power loss: they reach the disk first.
            if (notices_.PointsMustBeDurable())
                SyncOpenFile();
            else
                unsynced_.insert(openHost_);
        }
    }
    if (!written) {
        // Nothing of the message reached the file; its state is learnt again at the next open.
        open_->stamp = {};
        if (!records.empty()) notices_.ValuesNotWritten(patientId_, "The values could not be appended to " + openFile_);
        return 0;
    }
    open_->points = std::move(points);
    if (clock_ != nullptr)
        for (const TThrottledLine& line : failures_.Written(patientId_, clock_->Monotonic())) Log(line.text);
    for (const std::size_t i : taken) {
        ++valuesWritten_;
        notices_.ValuePointWritten(patientId_, values[i].label, values[i].unit, values[i].time, values[i].value);
    }
    return static_cast<int>(taken.size());
}

}  // namespace halcyra
