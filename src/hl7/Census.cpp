#include "hl7/Census.h"

#include "hl7/Hl7Time.h"
#include "hl7/PatientIdentity.h"
#include "patients/FolderOwners.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

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
    TCensusRow row;
    row.text = std::move(text);
    row.patient = std::move(patient);
    rows_.push_back(std::move(row));
    const int index = RowCount() - 1;
    if (view_ != nullptr) view_->RowInserted(index);
    return index;
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

void TCensus::WriteRows(TRegistryHive& hive, const std::vector<TCensusRow>& rows,
                        const std::vector<std::string>& loadedNames)
{
    // Values are replaced in place (an unchanged one is not written at all) and the surplus deleted
    // afterwards, so a failure half-way never leaves the key without the census.
    for (std::size_t r = 1; r < rows.size(); ++r)
        hive.WriteString(kProgramKey, CensusValueName(static_cast<int>(r)), CensusValueFor(rows[r].patient));
    for (const std::string& name : loadedNames) {
        bool written = false;
        for (std::size_t r = 1; r < rows.size() && !written; ++r)
            written = SameTextAscii(name, CensusValueName(static_cast<int>(r)));
        if (!written) hive.DeleteValue(kProgramKey, name);
    }
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
    try {
        TRegistryHive& hive = settings_.RootHive();
        hive.CreateKey(kProgramKey);
        const std::vector<std::string> names = CensusValueNames(hive);
        std::vector<TPatient> stored;
        stored.reserve(names.size());
        for (const std::string& name : names)
            stored.push_back(PatientFromCensusValue(hive.ReadString(kProgramKey, name)));

        // Refresh: a ticked present patient is seen now; a present one stored as ticked is not expired.
        for (std::size_t r = 1; r < rows.size(); ++r) {
            for (TPatient& s : stored) {
                if (s.PatientID != rows[r].patient.PatientID) continue;
                if (!rows[r].enabled) continue;
                if (rows[r].ticked) {
                    rows[r].patient.TimeStamp = stamp;
                    break;
                }
                if (s.Checked) s.TimeStamp = stamp;
            }
        }

        // Merge: expired entries go with their rows; the others come back as absent patients.
        const auto findRow = [&rows](const std::string& id) {
            for (std::size_t r = 1; r < rows.size(); ++r)
                if (rows[r].patient.PatientID == id) return static_cast<int>(r);
            return -1;
        };
        for (std::size_t i = 0; i < stored.size();) {
            const TPatient& s = stored[i];
            const int row = findRow(s.PatientID);
            if (now - HL7ToDateTime(s.TimeStamp, now) > 1.0) {
                if (row > 0) {
                    rows.erase(rows.begin() + row);
                    changes.push_back({false, row, {}});
                }
                stored.erase(stored.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            if (row < 0) {
                TCensusRow added;
                added.patient = s;
                added.text = CensusRowText(s.PatientID, s.FirstName + " " + s.LastName);
                added.enabled = false;
                added.ticked = restoreTicks && s.Checked;
                rows.push_back(added);
                changes.push_back({true, 0, std::move(added)});
            }
            ++i;
        }

        WriteRows(hive, rows, names);
    } catch (const std::exception&) {
        return;  // the census in memory stays as it was
    }

    // The registry holds the new census: the rows follow, change by change, so the view can follow too.
    for (TChange& change : changes) {
        if (change.insert)
            InsertRow(std::move(change.added));
        else
            RemoveRow(change.row);
    }
    rows_ = std::move(rows);
    lastCensusSave_ = now;
}

void TCensus::RewriteCensus()
{
    try {
        TRegistryHive& hive = settings_.RootHive();
        hive.CreateKey(kProgramKey);
        WriteRows(hive, rows_, CensusValueNames(hive));
    } catch (const std::exception&) {
        return;
    }
    lastCensusSave_ = clock_.Now();
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
                    patientFile_.CreatePatient(folders_.DisplayIdFor(patient.PatientID), patient.FirstName,
                                               patient.LastName, folder);
            }
            if (row < RowCount()) rows_[static_cast<std::size_t>(row)].patient.Checked = ticked;
        }
    } catch (const std::exception&) {
        // The rows after the failing one keep their previous state until the next tick change.
    }
    SaveCensus(false);
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
