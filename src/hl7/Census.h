// The census: the patients the central station has reported, one row each, as shown by the check-list
// CBListPatients. Row 0 is the header "Patients" and never a patient; every loop runs from row 1. The
// census owns the rows (text, tick, enabled state and the TPatient behind each), reacts to ticks,
// selection and deletes that the widget reports, and keeps the rows in the registry.
//
// An absent patient is forgotten after a day of absence, counted only in time the station was heard: a
// station-wide outage, or the program being stopped, is nobody's absence. "Heard time" is the monotonic time
// between consecutive complete messages, each gap up to kHeardGapSeconds; a longer gap counts as not heard.
#pragma once

#include "hl7/CensusPatient.h"
#include "hl7/CensusView.h"
#include "patients/PatientIdReduction.h"
#include "platform/Clock.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace halcyra {

class TFolderOwners;
class TPatientFile;
class TPatientFolders;

inline constexpr std::string_view kCensusHeaderText = "Patients";
// The most patient rows the census holds. A new patient beyond it takes the place of the absent patient
// (disabled row) of the longest heard absence, or is refused while every listed patient is present.
inline constexpr int kMaxCensusPatients = 2000;
// The longest silence between two messages that still counts as time the station was heard. A station sends
// every few seconds; a longer silence is an outage, which must not age the absent patients.
inline constexpr double kHeardGapSeconds = 120;
// Heard time after which an absent patient leaves the census.
inline constexpr double kAbsenceExpirySeconds = 86400;

struct TCensusRow {
    std::string text;
    TPatient patient;  // unused for the header row
    bool ticked = false;
    bool enabled = true;
    // The census's heard time when the patient was last seen (a message of it, or its row restored).
    double seenAt = 0;
    // Why the row's values are not written, shown as the row's hint; kept in memory only.
    std::string hint;
};

class TCensus {
public:
    // Closes the collected series of the patient of a ticked row that was just unticked, before the census
    // is saved; filled by the collection cycle. The other patients' series are not touched.
    using TStopDelimiterWriter = std::function<void(const TPatient& patient)>;
    using TLogger = std::function<void(const std::string& line)>;

    TCensus(TSettingsStore& settings, const IClock& clock, const TPatientIdReduction& reduction,
            TPatientFolders& folders, TPatientFile& patientFile);

    void SetView(ICensusView* view) { view_ = view; }
    void SetStopDelimiterWriter(TStopDelimiterWriter writer) { writeStopDelimiters_ = std::move(writer); }
    // Who may write into which patient folder; without it every ticked patient may have its folder created.
    void SetFolderOwners(TFolderOwners* owners) { owners_ = owners; }
    // Receives a refused new patient and a census that cannot be saved, each once per cause, and each
    // patient that leaves the census.
    void SetLogger(TLogger log) { log_ = std::move(log); }

    std::string ReducePatientID(std::string_view id) const { return reduction_.ReducePatientID(id); }

    // --- Rows. Indices count the header row, so patients are rows 1 to RowCount() - 1.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    const TCensusRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
    const TPatient& Patient(int row) const { return Row(row).patient; }

    // The first row whose PatientID equals id (with case), or -1. namesDiffer tells whether that row's
    // stored names differ from first and last; it is left alone when no row matches.
    int FindPatient(std::string_view id, std::string_view firstName, std::string_view lastName,
                    bool& namesDiffer) const;
    // The first patient row with this PatientID, or -1.
    int FindRow(std::string_view id) const;

    // Adds a row with this text and record (enabled, unticked, seen now) at the end and gives its index. An
    // ID that already has a row is not added twice: that row's index is given instead. A full census first
    // drops the absent patient of the longest heard absence; with nobody absent the patient is refused (-1)
    // and logged.
    int AddRow(std::string text, TPatient patient);
    // Whether a patient of this ID has a row or AddRow would give it one (nothing is logged).
    bool HasRoomFor(std::string_view id) const;
    // A patient who got new names: the row text becomes ID, ", ", first, " ", last.
    void SetRowNames(int row, std::string firstName, std::string lastName);
    void SetRowHint(int row, std::string hint);

    bool IsTicked(int row) const { return row > 0 && row < RowCount() && Row(row).ticked; }
    bool IsEnabled(int row) const { return row > 0 && row < RowCount() && Row(row).enabled; }
    // Whether the row of this ID is ticked (false when there is none).
    bool IsPatientTicked(std::string_view id) const { return IsTicked(FindRow(id)); }
    // Sets the tick without the tick handler (the decoder's AutoCreate and the census restore).
    void SetTicked(int row, bool ticked);
    // A row is enabled while its patient is present on the central station; enabling it (a message of the
    // patient) marks the patient seen now.
    void SetEnabled(int row, bool enabled);
    // The connection is lost: nobody is present any more.
    void DisableAllPatientRows();

    // A complete message of the data source arrived: the heard time advances by the time since the
    // previous one when the two are close enough. On every message: one monotonic reading.
    void StationHeard()
    {
        const TMonotonic now = clock_.Monotonic();
        const double gap = now - lastMessageAt_;
        if (heardBefore_ && gap > 0 && gap <= kHeardGapSeconds) heard_ += gap;
        lastMessageAt_ = now;
        heardBefore_ = true;
    }
    // Seconds of heard time since start-up.
    double HeardSeconds() const { return heard_; }
    // Patients that left the census this run after a day of heard absence.
    std::int64_t ExpiredCount() const { return expired_; }

    // The row the user selected (-1 for none) and the ID of its patient when it is a present one.
    int SelectedRow() const { return selectedRow_; }
    void SetSelectedRow(int row) { selectedRow_ = row; }
    std::string SelectedPatientID() const;
    bool PopupMenuAttached() const { return popupMenuAttached_; }

    // --- Persistence under the program key.
    // Drops the absent patients of more than a day of heard absence (each logged), refreshes the time
    // stamps of the present patients, adds a disabled row for every stored patient without one (with its
    // stored tick when restoreTicks), its heard absence starting now, while the census has room, and writes
    // the rows back as Patient1 to Patient n in one registry write. A registry error leaves the rows in
    // memory as they were, and is logged.
    void SaveCensus(bool restoreTicks);
    // A message changed the census. Rewriting the hive is the costly part of a change, so the tick saves
    // what its messages changed at once: a crash loses at most a tick of changes, and the next messages
    // bring them back.
    void NoteChanged() { changed_ = true; }
    // Changed since the last save that wrote (a save that failed leaves it set, for the next tick).
    bool ChangedSinceSave() const { return changed_; }
    // Writes the rows as they are, replacing every stored census value in one registry write.
    void RewriteCensus();
    // When the census was last written (0 before the first save).
    // A monotonic reading.
    TMonotonic LastCensusSave() const { return lastCensusSave_; }

    // --- Handlers of the check-list, called after the widget reported the change.
    // After any tick change: an unticked row that was ticked writes the stop delimiters; a ticked patient
    // without a patient file is created in the data area, unless it has no identity ("TOVNULL") or its
    // folder belongs to another patient; then the census is saved.
    void CBListPatientsClickCheck();
    // The selection changed: the context menu is offered only on a disabled patient row.
    void CBListPatientsClick();
    // "Delete" of the context menu: removes the selected row when it is disabled, then rewrites the census.
    void DeleteActionClick();

private:
    // Makes the folder and patient file of a ticked row; a failure is logged with its cause and becomes the
    // row's hint.
    void CreateTickedPatient(int row, const TPatient& patient, const std::string& folder);
    void InsertRow(TCensusRow row);
    void RemoveRow(int row);
    // True when the hive changed.
    static bool WriteRows(TRegistryHive& hive, const std::vector<TCensusRow>& rows,
                          const std::vector<std::string>& loadedNames);
    void SaveFailed(const std::string& cause);
    void LogExpiry(const TCensusRow& row);
    // A save wrote the census: a failure logged before is over.
    void Saved();

    TSettingsStore& settings_;
    const IClock& clock_;
    const TPatientIdReduction& reduction_;
    TPatientFolders& folders_;
    TPatientFile& patientFile_;
    ICensusView* view_ = nullptr;
    TStopDelimiterWriter writeStopDelimiters_;
    TFolderOwners* owners_ = nullptr;
    TLogger log_;
    // The cause of the last failed save, logged once; empty after a save that worked.
    std::string saveFailure_;
    // New patients refused since the census was last found full.
    int refused_ = 0;
    std::vector<TCensusRow> rows_;
    // Patients whose rows made room for new ones since the last save: their stored values are not restored.
    std::unordered_set<std::string> droppedForRoom_;
    int selectedRow_ = -1;
    bool popupMenuAttached_ = false;
    TMonotonic lastCensusSave_ = 0;
    bool changed_ = false;
    double heard_ = 0;
    TMonotonic lastMessageAt_ = 0;
    bool heardBefore_ = false;
    std::int64_t expired_ = 0;
};

}  // namespace halcyra
