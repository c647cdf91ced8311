#include "hl7/Census.h"

#include "hl7/Hl7Time.h"
#include "hl7/PatientIdentity.h"
#include "patients/FolderOwners.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <tuple>
#include <unordered_set>

namespace halcyra {
namespace {

// Census values in the order of their numbers, so that the rows come back in the order they were saved.
std::vector<std::string> CensusValueNames(TRegistryHive& hive)
{
    std::vector<std::string> names;
    for (std::string& name : hive.GetValueNames(kProgramKey))
        if (IsCensusValueName(name)) names.push_back(std::move(name));
    const auto number = [](const std::string& name) {
        const std::string digits = name.substr(std::string_view("Patient").size());
        const std::size_t first = digits.find_first_not_of('0');
        const std::string significant = first == std::string::npos ? std::string() : digits.substr(first);
        return std::make_pair(significant.size(), significant);
    };
    std::stable_sort(names.begin(), names.end(),
                     [&](const std::string& a, const std::string& b) { return number(a) < number(b); });
    return names;
}

// Rows of absent patients (disabled), the longest heard absence first; among equal ones (rows restored
// together) the one whose time stamp is oldest, then by ID, so that the order does not depend on where a row
// stands.
std::vector<int> AbsentRowsLongestFirst(const std::vector<TCensusRow>& rows, TDateTime now)
{
    std::vector<std::tuple<double, TDateTime, const std::string*, int>> absent;
    for (std::size_t r = 1; r < rows.size(); ++r)
        if (!rows[r].enabled)
            absent.emplace_back(rows[r].seenAt, HL7ToDateTime(rows[r].patient.TimeStamp, now),
                                &rows[r].patient.PatientID, static_cast<int>(r));
    std::sort(absent.begin(), absent.end(), [](const auto& a, const auto& b) {
        if (std::get<0>(a) != std::get<0>(b)) return std::get<0>(a) < std::get<0>(b);
        if (std::get<1>(a) != std::get<1>(b)) return std::get<1>(a) < std::get<1>(b);
        return *std::get<2>(a) < *std::get<2>(b);
    });
    std::vector<int> order;
    order.reserve(absent.size());
    for (const auto& entry : absent) order.push_back(std::get<3>(entry));
    return order;
}

}  // namespace

TCensus::TCensus(TSettingsStore& settings, const IClock& clock, const TPatientIdReduction& reduction,
                 TPatientFolders& folders, TPatientFile& patientFile)
    : settings_(settings), clock_(clock), reduction_(reduction), folders_(folders), patientFile_(patientFile)
{
    TCensusRow header;
    header.text = std::string(kCensusHeaderText);
    rows_.push_back(std::move(header));
}

int TCensus::FindPatient(std::string_view id, std::string_view firstName, std::string_view lastName,
                         bool& namesDiffer) const
{
    const int row = FindRow(id);
    if (row < 0) return -1;
    const TPatient& patient = Patient(row);
    namesDiffer = patient.FirstName != firstName || patient.LastName != lastName;
    return row;
}

int TCensus::FindRow(std::string_view id) const
{
    for (int row = 1; row < RowCount(); ++row)
        if (Patient(row).PatientID == id) return row;
    return -1;
}

int TCensus::AddRow(std::string text, TPatient patient)
{
    const int existing = FindRow(patient.PatientID);
    if (existing >= 0) return existing;
    if (RowCount() - 1 >= kMaxCensusPatients) {
        const std::vector<int> absent = AbsentRowsLongestFirst(rows_, clock_.Now());
        if (absent.empty()) {
            if (refused_++ == 0 && log_)
                log_("Census full: all " + std::to_string(kMaxCensusPatients) +
                     " patients listed are present; new patient " + patient.PatientID +
                     " not added, nor any other until a listed patient is absent");
            return -1;
        }
        // Its stored value goes with the next save, and does not bring it back.
        droppedForRoom_.insert(Patient(absent.front()).PatientID);
        RemoveRow(absent.front());
    }
    if (refused_ > 0) {
        if (log_)
            log_("Census has room again; " + std::to_string(refused_) +
                 " message(s) of new patients were refused while it was full");
        refused_ = 0;
    }
    TCensusRow row;
    row.text = std::move(text);
    row.patient = std::move(patient);
    row.seenAt = heard_;
    rows_.push_back(std::move(row));
    const int index = RowCount() - 1;
    if (view_ != nullptr) view_->RowInserted(index);
    return index;
}

bool TCensus::HasRoomFor(std::string_view id) const
{
    if (RowCount() - 1 < kMaxCensusPatients || FindRow(id) >= 0) return true;
    return std::any_of(rows_.begin() + 1, rows_.end(), [](const TCensusRow& row) { return !row.enabled; });
}

void TCensus::SetRowNames(int row, std::string firstName, std::string lastName)
{
    if (row <= 0 || row >= RowCount()) return;
    TCensusRow& r = rows_[static_cast<std::size_t>(row)];
    r.patient.FirstName = std::move(firstName);
    r.patient.LastName = std::move(lastName);
    r.text = CensusRowText(r.patient.PatientID, r.patient.FirstName + " " + r.patient.LastName);
    if (view_ != nullptr) view_->RowChanged(row);
}

void TCensus::SetRowHint(int row, std::string hint)
{
    if (row <= 0 || row >= RowCount()) return;
    TCensusRow& r = rows_[static_cast<std::size_t>(row)];
    if (r.hint == hint) return;
    r.hint = std::move(hint);
    if (view_ != nullptr) view_->RowChanged(row);
}

void TCensus::SetTicked(int row, bool ticked)
{
    if (row <= 0 || row >= RowCount()) return;
    TCensusRow& r = rows_[static_cast<std::size_t>(row)];
    if (r.ticked == ticked) return;
    r.ticked = ticked;
    if (view_ != nullptr) view_->RowChanged(row);
}

void TCensus::SetEnabled(int row, bool enabled)
{
    if (row <= 0 || row >= RowCount()) return;
    TCensusRow& r = rows_[static_cast<std::size_t>(row)];
    if (enabled) r.seenAt = heard_;
    if (r.enabled == enabled) return;
    r.enabled = enabled;
    if (view_ != nullptr) view_->RowChanged(row);
}

void TCensus::DisableAllPatientRows()
{
    for (int row = 1; row < RowCount(); ++row) SetEnabled(row, false);
}

std::string TCensus::SelectedPatientID() const
{
    if (!IsEnabled(selectedRow_)) return {};
    return Patient(selectedRow_).PatientID;
}

void TCensus::InsertRow(TCensusRow row)
{
    rows_.push_back(std::move(row));
    if (view_ != nullptr) view_->RowInserted(RowCount() - 1);
}

void TCensus::RemoveRow(int row)
{
    rows_.erase(rows_.begin() + row);
    if (selectedRow_ == row)
        selectedRow_ = -1;
    else if (selectedRow_ > row)
        --selectedRow_;
    if (view_ != nullptr) view_->RowRemoved(row);
}

bool TCensus::WriteRows(TRegistryHive& hive, const std::vector<TCensusRow>& rows,
                        const std::vector<std::string>& loadedNames)
{
    // One write of the hive for the whole census: the rows in place (an unchanged one changes nothing),
    // then the surplus values deleted.
    TRegValueChanges changes;
    std::unordered_set<std::string> written;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::string name = CensusValueName(static_cast<int>(r));
        changes.WriteString(name, CensusValueFor(rows[r].patient));
        written.insert(UpperAscii(name));
    }
    for (const std::string& name : loadedNames)
        if (written.count(UpperAscii(name)) == 0) changes.DeleteValue(name);
    return hive.WriteValues(kProgramKey, changes);
}

void TCensus::SaveFailed(const std::string& cause)
{
    if (cause == saveFailure_) return;
    saveFailure_ = cause;
    if (log_) log_("Census not saved: " + cause);
}

void TCensus::Saved()
{
    if (saveFailure_.empty()) return;
    saveFailure_.clear();
    if (log_) log_("Census saved again");
}

void TCensus::LogExpiry(const TCensusRow& row)
{
    if (!log_) return;
    const TPatient& p = row.patient;
    std::string name = p.FirstName;
    if (!name.empty() && !p.LastName.empty()) name += ' ';
    name += p.LastName;
    log_("Patient " + p.PatientID + " (" + (name.empty() ? "" : name + ", ") + (row.ticked ? "ticked" : "unticked") +
         ") left the census: absent for a day while the station sent");
}

void TCensus::SaveCensus(bool restoreTicks)
{
    const TDateTime now = clock_.Now();
    const std::string stamp = FormatCompactStamp(now);
    struct TChange {
        bool insert;
        int row;  // the row removed, or unused for an insert at the end
        TCensusRow added;
    };
    std::vector<TChange> changes;
    std::vector<TCensusRow> rows = rows_;
    std::vector<TCensusRow> expired;
    bool written = false;
    try {
        TRegistryHive& hive = settings_.RootHive();
        if (!hive.KeyExists(kProgramKey)) hive.CreateKey(kProgramKey);
        const std::vector<std::string> names = CensusValueNames(hive);
        std::vector<TPatient> stored;
        stored.reserve(names.size());
        for (const std::string& name : names) {
            TPatient patient = PatientFromCensusValue(hive.ReadString(kProgramKey, name));
            // A stored ID names a folder as a received one does: it is cleaned the same way, and one left
            // without a usable name is forgotten.
            patient.PatientID = CleanPatientID(patient.PatientID);
            if (IsUsablePatientID(patient.PatientID)) stored.push_back(std::move(patient));
        }

        // Expire: an absent patient not seen for a day of heard time. Its stored value goes with its row and
        // does not bring it back below.
        std::unordered_set<std::string> expiredIDs;
        for (std::size_t r = rows.size() - 1; r >= 1; --r) {
            if (rows[r].enabled || heard_ - rows[r].seenAt <= kAbsenceExpirySeconds) continue;
            expiredIDs.insert(rows[r].patient.PatientID);
            expired.push_back(std::move(rows[r]));
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(r));
            changes.push_back({false, static_cast<int>(r), {}});
        }
        std::reverse(expired.begin(), expired.end());

        // Refresh: a present patient, ticked or not, is seen now.
        for (std::size_t r = 1; r < rows.size(); ++r)
            if (rows[r].enabled) rows[r].patient.TimeStamp = stamp;

        // Merge: stored patients without a row come back as absent patients, their absence counted from now:
        // the time the program did not run is no time the station was heard.
        std::unordered_set<std::string> rowIDs;
        for (std::size_t r = 1; r < rows.size(); ++r) rowIDs.insert(rows[r].patient.PatientID);
        for (const TPatient& s : stored) {
            if (rowIDs.count(s.PatientID) > 0 || expiredIDs.count(s.PatientID) > 0 ||
                droppedForRoom_.count(s.PatientID) > 0)
                continue;
            TCensusRow added;
            added.patient = s;
            added.text = CensusRowText(s.PatientID, s.FirstName + " " + s.LastName);
            added.enabled = false;
            added.ticked = restoreTicks && s.Checked;
            added.seenAt = heard_;
            rows.push_back(added);
            changes.push_back({true, 0, std::move(added)});
            rowIDs.insert(s.PatientID);
        }

        // Beyond the limit only through stored patients coming back: the longest absent stay out.
        const int surplus = static_cast<int>(rows.size()) - 1 - kMaxCensusPatients;
        if (surplus > 0) {
            std::vector<int> dropped = AbsentRowsLongestFirst(rows, now);
            dropped.resize(std::min(dropped.size(), static_cast<std::size_t>(surplus)));
            std::sort(dropped.rbegin(), dropped.rend());
            for (const int row : dropped) {
                rows.erase(rows.begin() + row);
                changes.push_back({false, row, {}});
            }
        }

        written = WriteRows(hive, rows, names);
    } catch (const std::exception& e) {
        SaveFailed(e.what());
        return;  // the census in memory stays as it was
    }
    if (written) Saved();

    // The registry holds the new census: the rows follow, change by change, so the view can follow too.
    for (TChange& change : changes) {
        if (change.insert)
            InsertRow(std::move(change.added));
        else
            RemoveRow(change.row);
    }
    rows_ = std::move(rows);
    lastCensusSave_ = clock_.Monotonic();
    changed_ = false;
    droppedForRoom_.clear();
    for (const TCensusRow& row : expired) LogExpiry(row);
    expired_ += static_cast<std::int64_t>(expired.size());
}

void TCensus::RewriteCensus()
{
    try {
        TRegistryHive& hive = settings_.RootHive();
        if (!hive.KeyExists(kProgramKey)) hive.CreateKey(kProgramKey);
        if (WriteRows(hive, rows_, CensusValueNames(hive))) Saved();
    } catch (const std::exception& e) {
        SaveFailed(e.what());
        return;
    }
    lastCensusSave_ = clock_.Monotonic();
    changed_ = false;
    droppedForRoom_.clear();
}

void TCensus::CBListPatientsClickCheck()
{
    try {
        for (int row = 1; row < RowCount(); ++row) {
            const bool ticked = Row(row).ticked;
            if (!ticked && Row(row).patient.Checked && writeStopDelimiters_) writeStopDelimiters_(Row(row).patient);
            if (ticked && Row(row).patient.PatientID != kNoPatientID) {
                const TPatient patient = Row(row).patient;
                const std::string folder = folders_.PatientFolderFor(patient.PatientID);
                if (!folders_.PatientExists(folder) &&
                    (owners_ == nullptr || owners_->MayWrite(folder, patient.PatientID)))
                    CreateTickedPatient(row, patient, folder);
            }
            if (row < RowCount()) rows_[static_cast<std::size_t>(row)].patient.Checked = ticked;
        }
    } catch (const std::exception&) {
        // The rows after the failing one keep their previous state until the next tick change.
    }
    SaveCensus(false);
}

void TCensus::CreateTickedPatient(int row, const TPatient& patient, const std::string& folder)
{
    const auto failed = [&](const std::string& why) {
        // The row says why it takes no values; the log tells it once per tick.
        const std::string line =
            "Patient ID " + patient.PatientID + ": no patient could be created in " + folder + " (" + why + ")";
        if (log_) log_(line + "; its values are not written");
        SetRowHint(row, line);
    };
    try {
        if (patientFile_.CreatePatient(folders_.DisplayIdFor(patient.PatientID), patient.FirstName, patient.LastName,
                                       folder) != 0 &&
            folders_.PatientExists(folder))
            return;
    } catch (const std::exception& e) {
        // What failed here fails for the rows after it as well: the loop ends.
        failed(e.what());
        throw;
    }
    failed("the folder could not be made");
}

void TCensus::CBListPatientsClick()
{
    popupMenuAttached_ = selectedRow_ > 0 && selectedRow_ < RowCount() && !Row(selectedRow_).enabled;
    if (view_ != nullptr) view_->SetPopupMenuAttached(popupMenuAttached_);
}

void TCensus::DeleteActionClick()
{
    if (selectedRow_ <= 0 || selectedRow_ >= RowCount()) return;
    if (!Row(selectedRow_).enabled) RemoveRow(selectedRow_);
    RewriteCensus();
}

}  // namespace halcyra
