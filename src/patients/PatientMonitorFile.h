// The patient's monitor-data file as collection uses it: which file of the patient folder is ours
// ("Halcyra.pil", or Halcyra1.pil to Halcyra99.pil when an earlier name holds another monitor's or
// patient's data), the series declared in it, and the one operation through which every value reaches it.
#pragma once

#include "params/ParameterModel.h"
#include "patients/PointNotices.h"
#include "patients/SeriesPoints.h"
#include "patients/WriteFailureThrottle.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "savefile/MonitorObjects.h"
#include "savefile/SaveFileIo.h"
#include "savefile/SaveITNew.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace halcyra {

inline constexpr std::string_view kMonitorName = "Halcyra";
inline constexpr int kLastMonitorNumber = 99;
inline constexpr std::string_view kForeignMonitorError = "The save file contains data from another monitor";
inline constexpr std::string_view kIndexError = "There is something rutten in the state of Index";

using TSeriesList = std::vector<std::unique_ptr<TParameterSerie>>;

// The most series one monitor-data file takes. Every series is a declaration in the header region, which
// is read on every open and rewritten whole with every new series; a monitor has a few dozen parameters.
inline constexpr std::size_t kMaxSeriesPerFile = 1000;

// A value on the collect-interval grid is written once per series and grid time. A value at its own time
// (an aperiodic observation, or every message at the central station's own pace) is written as it comes.
enum class TValueTiming { Grid, Own };

// One value for the open file: its series (label, measurement place, extra name, unit), time and value.
struct TFileValue {
    std::string label;
    std::string place;
    std::string extra;
    std::string unit;
    TDateTime time = 0;
    double value = 0;
    TValueTiming timing = TValueTiming::Grid;
};

class TPatientMonitorFile {
public:
    // io is the file access the writers use; it tells whether a file changed since it was last read.
    // `notices` hears of every value point once it is in the file.
    TPatientMonitorFile(const TFileSystem& files, std::shared_ptr<ISaveFileIo> io, const TParameterModel& params,
                        IPointNotices& notices);

    // Receives one line for each message whose values have no file to go to.
    void SetLogger(std::function<void(const std::string& line)> logger) { logger_ = std::move(logger); }
    // With a clock, a failure to write values is logged once per cause and then counted once a minute,
    // instead of once per patient and open.
    void SetClock(const IClock* clock) { clock_ = clock; }
    // A line of the writer: a failed append while values are written counts as a write failure.
    void WriterLine(const std::string& line);

    // Makes the patient's monitor-data file the open one: tries Halcyra.pil, then Halcyra1.pil to
    // Halcyra99.pil, creating a missing file and refusing one that is not a monitor-data file, that names
    // another monitor or patient ID, or whose series indices are not 0, 1, 2 ... in order. Nothing is
    // raised. When every name fails, no file is open: values and delimiters for this patient are not
    // written until the next successful open. Only the header region of a file is read, and not again
    // while the file is unchanged (size, modification time and inode): an open of an unchanged file costs
    // one stat per name tried. A file refused for its content is not read again while unchanged either.
    //
    // Reading a header also reads the file's last point records backwards from its end (a bounded amount),
    // to learn each series' last points: which times already hold a value, whether the series ends in a
    // delimiter. The header kept for an unchanged file keeps that knowledge, updated with every own append.
    void OpenPatientMonitorFile(TSaveItNew& writer, std::string_view folder, std::string_view patientId,
                                std::string_view patientName);
    // The same search among the existing files only, for closing series: a name that does not exist ends
    // it, and no file is created.
    void OpenExistingPatientMonitorFile(TSaveItNew& writer, std::string_view folder, std::string_view patientId,
                                        std::string_view patientName);

    // Appends one value to the series of (label, place, extra, unit) in the open file, declaring the
    // series when it is new; an empty unit matches any unit. A label on the exclusion list (with Automatic
    // off) has its series declared but no point written. A value earlier than the series' last point is not
    // written either, nor a value on the grid at that point's time: a series never runs back in time and
    // holds a grid time once, also across a restart and when the clock was set back (the notices hear how
    // long such values wait). Records the time stamp as the last written time and tells the notices once the point is
    // in the file. Nothing is raised: without an open file, or when the series cannot be declared,
    // nothing is written and the loss is logged (once per open when no file is open). A new series is not
    // declared in a file that holds kMaxSeriesPerFile series already: its value is not written, which is
    // logged once per file. True when the point was written.
    bool AppendValue(std::string_view label, std::string_view place, std::string_view extra, std::string_view unit,
                     TDateTime time, double value, TValueTiming timing);
    // The same for several values, in order (a message's values for one patient): every series they need
    // that the file lacks is declared first, all with one rewrite of the file, and only then are the points
    // appended, so no point ever lies in the file before its series' declaration. A failed declaration
    // loses the values of the new series only, with one log line. The points go into the file with one
    // locked append (or, with new series, with the declaration's replacement of the file): all of them or,
    // when that fails, none. Gives the number of points written.
    int AppendValues(const std::vector<TFileValue>& values);

    // The open file's series index for (label, place, extra, unit), declaring the series when it is new;
    // -1 when no file is open or the file holds kMaxSeriesPerFile series already. A declaration that fails
    // raises.
    int SeriesIndexFor(std::string_view label, std::string_view place, std::string_view extra, std::string_view unit);
    // Closes the series of (label, place, extra, unit) in the open file with a delimiter point (code as the
    // point records define it), one second after the later of `after` and the series' latest point. Only
    // a series with points that does not end in a delimiter already is closed: a missing series is not
    // declared. Gives the delimiter's time; nothing when no point was written (no file open, nothing to
    // close, a failed append, which is logged). Tells no notices.
    std::optional<TDateTime> AppendDelimiter(std::string_view label, std::string_view place, std::string_view extra,
                                             std::string_view unit, std::int32_t code, TDateTime after);

    // Makes what was appended to the open file durable (fdatasync); false, logged, when that failed.
    bool SyncOpenFile();
    // Makes every file appended to since its last sync durable, once each.
    void SyncWrittenFiles();

    // Whether the last open found a file; the writer it left pointing at that file (null when none).
    bool IsOpen() const { return writer_ != nullptr; }
    TSaveItNew* Writer() const { return writer_; }
    // The monitor name of the open file ("Halcyra", "Halcyra1" ...) and its Windows path.
    const std::string& MonitorName() const { return monitorName_; }
    const std::string& OpenFileName() const { return openFile_; }

    // The label and unit of each series of the open file that this system writes (no measurement place, no
    // extra name) and that has points but no closing delimiter yet.
    std::vector<std::pair<std::string, std::string>> UnclosedSeries() const;

    // Mirrors the open file's series declarations; entry k has Index k. The entries carry no points.
    const TSeriesList& SeriesList() const;

    // The time stamp of the last value appended for any patient (0 before the first).
    TDateTime LastWrittenTime() const { return lastWrittenTime_; }
    // Value points appended since start-up, for any patient.
    std::int64_t ValuesWritten() const { return valuesWritten_; }

private:
    // What is known of one file while it stays as `stamp` says (an unknown stamp matches no file): a file
    // of the patient with its series and their last points, or one refused for that patient.
    struct TKnownFile {
        TFileStamp stamp;
        std::string patientId;
        bool refused = false;
        std::string why;  // of a refusal: why the file takes none of the patient's values
        TSeriesList series;
        std::vector<TSeriesPoints> points;  // entry k belongs to series k
    };
    enum class TAttempt { Opened, Failed, Missing };

    void Open(TSaveItNew& writer, std::string_view folder, std::string_view patientId, std::string_view patientName,
              bool create);
    TAttempt TryOpen(TSaveItNew& writer, const std::string& windowsPath, std::string_view patientId,
                     std::string_view patientName, bool create);
    TAttempt ReadHeader(TSaveItNew& writer, const std::filesystem::path& host, std::string_view patientId,
                        std::string_view patientName);
    std::vector<TSeriesPoints> LearnPoints(TSaveItNew& writer, std::size_t seriesCount) const;
    int FindSeries(std::string_view label, std::string_view place, std::string_view extra, std::string_view unit) const;
    // New series, in the order their first values come, and their declarations with the texts as given.
    struct TAddedSeries {
        TSeriesList series;
        std::vector<TSeriesDeclaration> declarations;
    };
    // The series of each value (an index into the series list once `added` is declared; -1 when the file
    // takes no more series), and in `added` the new series.
    std::vector<int> PlanSeries(const std::vector<TFileValue>& values, TAddedSeries& added);
    // Declares the new series with one rewrite of the file, which also appends `records`, and appends the
    // series to the series list; raises when the declaration fails, leaving the list as it was.
    void Declare(TAddedSeries added, const std::vector<TValueRecord>& records = {});
    // After an append of `count` records of ours: the kept state stays current when the file grew by exactly
    // them (`after` is its stamp then, unknown when not known) and nothing else replaced it.
    void NoteOwnAppend(std::size_t count, const TFileStamp& after);
    void Log(const std::string& line) const;
    // A write failure of the current patient: logged at once, or counted, as its cause has it.
    void WriteFailed(const std::string& cause, const std::string& line);
    // Logs and reports each file passed over for the one now open, once per patient and file.
    void NoteSetAside(const std::vector<std::pair<std::string, std::string>>& setAside);

    const TFileSystem& files_;
    std::shared_ptr<ISaveFileIo> io_;
    const TParameterModel& params_;
    IPointNotices& notices_;
    std::function<void(const std::string& line)> logger_;
    std::unordered_map<std::string, TKnownFile> known_;  // by host path
    TKnownFile* open_ = nullptr;                         // the open file's entry of known_
    TSaveItNew* writer_ = nullptr;
    std::string monitorName_ = std::string(kMonitorName);
    std::string openFile_;
    std::string openHost_;
    std::string openFolder_;
    std::string patientId_;
    bool lossLogged_ = false;
    std::string refusal_;    // why the last attempt failed
    std::string openError_;  // the error of the last attempt that raised one
    const IClock* clock_ = nullptr;
    TWriteFailureThrottle failures_;
    bool writing_ = false;                         // values are being appended
    std::unordered_set<std::string> fullLogged_;   // host paths of files whose series cap was logged
    std::unordered_set<std::string> asideLogged_;  // "patient|path" of files set aside and logged
    std::unordered_set<std::string> unsynced_;     // host paths appended to since their last sync
    TDateTime lastWrittenTime_ = 0;
    std::int64_t valuesWritten_ = 0;
};

}  // namespace halcyra
