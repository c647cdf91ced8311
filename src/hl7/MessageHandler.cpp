#include "hl7/MessageHandler.h"

#include "hl7/CensusPatient.h"
#include "hl7/DataStreamFile.h"
#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Observation.h"
#include "hl7/PatientFieldLimits.h"
#include "hl7/PatientIdentity.h"
#include "hl7/Segments.h"

#include <algorithm>
#include <cmath>

namespace halcyra {
namespace {

// Patients named in the line of a message whose observations were cut.
constexpr std::size_t kLeftOutPatientsNamed = 5;
// Folder states kept at most; more patients than that start the list afresh.
constexpr std::size_t kFolderStatesKept = 4096;

}  // namespace

TMessageHandler::TMessageHandler(const TParts& parts)
    : clock_(parts.clock),
      files_(parts.files),
      log_(parts.log),
      cycle_(parts.cycle),
      census_(parts.census),
      folders_(parts.folders),
      owners_(parts.owners),
      patientFile_(parts.patientFile),
      monitorFile_(parts.monitorFile),
      writer_(parts.writer),
      params_(parts.params),
      view_(parts.view),
      notices_(parts.notices)
{
}

void TMessageHandler::DecodeMessage(const TSegmentList& segments)
{
    // A nested call indexes its message apart, leaving the outer message's index intact.
    TMessageIndex nestedIndex;
    TMessageIndex& index = decodeBusy_ ? nestedIndex : index_;
    index.IndexSegments(segments);
    DecodeMessage(index);
}

void TMessageHandler::DecodeMessage(const TMessageIndex& index)
{
    // The census measures a patient's absence only in time the station was heard.
    census_.StationHeard();
    // A call made while handling can pump window messages and so come back here; that is heard, not
    // prevented.
    if (decodeBusy_) view_.Beep();
    // A message names its own patient: one without a patient segment is nobody's, not the previous one's.
    // A nested message leaves the outer one's patient to it.
    if (!decodeBusy_) ForgetPatient();
    decodeBusy_ = true;
    TMessageState m;
    // Every new default unit rewrites the hive file: one message stores a few.
    params_.DefaultUnits().AllowStores(kMaxUnitsStoredPerMessage);
    // The whole message goes on before any of it is handled: a failure while handling must not leave the
    // relay clients a message without its end, which would merge into the next one.
    if (forwarder_ != nullptr && forwarder_->HasClients() && index.size() > 0) Forward(index);
    try {
        m.selectedPatientID = census_.SelectedPatientID();
        for (std::size_t i = 0; i < index.size(); ++i) {
            switch (index.Kind(i)) {
                case skMSH:
                    HandleMSH(index, i, m);
                    break;
                case skPID:
                    HandlePID(index, i, m);
                    break;
                case skOBR:
                    HandleOBR(index, i, m);
                    break;
                case skOBX:
                    HandleOBX(index, i, m);
                    break;
                case skPV1:
                case skOther:
                    break;
            }
        }
        AfterLastSegment(index, m);
    } catch (...) {
        // The values taken before the failure are written, as they would have been one by one.
        try {
            WriteFileValues(m);
        } catch (...) {
        }
        Finish(m);
        throw;
    }
    Finish(m);
}

void TMessageHandler::ForgetPatient()
{
    sourceID_.clear();
    patientID_.clear();
    patientName_.clear();
    firstName_.clear();
    lastName_.clear();
}

void TMessageHandler::Finish(const TMessageState& m)
{
    ++messagesDecoded_;
    decodeBusy_ = false;
    // New default units go to the hive together, at most one rewrite in a while, not one per label.
    params_.DefaultUnits().FlushIfDue(clock_.Monotonic());
    if (m.censusChanged) census_.NoteChanged();
}

void TMessageHandler::Forward(const TMessageIndex& segments)
{
    // One send for the message, framed as the central station frames it, each segment ended by CR.
    segments.Frame(relayBytes_);
    forwarder_->ForwardToClients(relayBytes_);
}

void TMessageHandler::HandleMSH(const TMessageIndex& index, std::size_t i, TMessageState& m)
{
    // A change of status can close the series of every ticked patient, opening their files.
    WriteFileValues(m);
    const std::string_view version = index.Field(i, hl7item::kMshVersion);
    const TCollectStatus status = cycle_.Status();
    if (IsSupportedVersion(version)) {
        if (status == csNotConnected)
            cycle_.SetStatus(csConnected);
        else if (status == csConnectionLost)
            cycle_.SetStatus(csCollecting);
        view_.HideVersion();
        // A boundary that passed before the tick came, or during an outage, is crossed before the patient's
        // mark is looked at: this message belongs to the interval it arrived in.
        cycle_.CrossReachedBoundary();
    } else {
        view_.ShowBadVersion(std::string(kBadVersionText) + std::string(version));
        // One odd header does not end the collection: like a lost connection, the next good one resumes it.
        const bool collecting = status == csCollecting || status == csConnectionLost;
        cycle_.SetStatusInBackground(collecting ? csConnectionLost : csNotConnected);
    }
}

void TMessageHandler::HandlePID(const TMessageIndex& index, std::size_t i, TMessageState& m)
{
    WriteFileValues(m);
    m.patientSeen = true;
    // Only the cut texts are kept: nothing below holds more of a long field than its limit.
    const std::string_view nameField = index.Field(i, hl7item::kPidName);
    TPatientNameView name;
    std::string displayName;
    SplitPatientNameInto(nameField, name, displayName);
    firstName_.assign(LimitPatientName(name.firstName));
    lastName_.assign(LimitPatientName(name.lastName));
    patientName_.assign(LimitPatientName(displayName));
    const bool nameCut = firstName_.size() < name.firstName.size() || lastName_.size() < name.lastName.size() ||
                         patientName_.size() < displayName.size();
    std::string chosen;
    ChoosePatientIDInto(index.Field(i, hl7item::kPidIdentifier), firstName_, lastName_, chosen);
    const std::size_t idLength = chosen.size();
    const bool idCut = CutPatientID(chosen);
    sourceID_.assign(chosen);
    patientID_ = census_.ReducePatientID(sourceID_);
    if (idCut || nameCut) NoteCutIdentity(idCut ? idLength : 0, nameCut ? nameField.size() : 0);
    patientFolder_ = folders_.PatientFolderFor(patientID_);

    m.writeThisMessage = cycle_.IsNotYetSaved(patientID_, patientName_);
    m.folderChecked = false;
    m.createFailed = false;
    m.folderRegistered = false;
    const bool identified = patientID_ != kNoPatientID;
    const TCollectStatus status = cycle_.Status();
    // A patient the full census turns away gets no folder either: the census bounds what a storm of new IDs
    // leaves in the data folder. Asked before the census takes the patient in.
    m.mayCreate = identified && settings_.autoCreate && (status == csCollecting || status == csConnectionLost) &&
                  census_.HasRoomFor(patientID_);
    if (grid_ != nullptr && ShowsPatient(m)) grid_->ShowPatient(patientID_, firstName_, lastName_);

    if (previousReduction_ && identified) RetireOldRow();

    bool namesDiffer = false;
    const int found = census_.FindPatient(patientID_, firstName_, lastName_, namesDiffer);
    if (found < 0) {
        TPatient patient;
        patient.FirstName = firstName_;
        patient.LastName = lastName_;
        patient.PatientID = patientID_;
        patient.TimeStamp = FormatCompactStamp(clock_.Now());
        patient.Checked = settings_.autoCreate;
        const int row = census_.AddRow(CensusRowText(patientID_, patientName_), std::move(patient));
        census_.SetTicked(row, settings_.autoCreate);
        m.censusChanged = true;
    }
    const int row = census_.FindRow(patientID_);
    if (row > 0) census_.SetEnabled(row, true);
    m.patientTicked = census_.IsTicked(row);

    std::string refusal;
    if (identified) {
        // The folder is looked at when the message may write into it (values, a missing patient to make, new
        // names) and once per grid slot; otherwise what the last look found stands. A folder found without
        // its patient file, which may not be made either, takes no value until the next slot.
        const auto known = folderStates_.find(patientFolder_);
        const bool current = known != folderStates_.end() && known->second.slot == FolderSlot();
        const bool due =
            status == csCollecting && m.patientTicked && (m.writeThisMessage || cycle_.UseHalcyraSettings());
        if (!current || (known->second.exists ? due : m.mayCreate) || (found >= 0 && namesDiffer)) {
            CheckFolder(m, refusal);
        } else {
            m.folderRegistered = known->second.exists && MayUseFolder(refusal);
        }
    }
    if (!refusal.empty())
        notices_.ValuesNotWritten(patientID_, refusal);
    else if (identified && !m.folderRegistered)
        NoteNoFolder(m);
    if (m.folderRegistered) m.anyFolderRegistered = true;
    if (found >= 0 && namesDiffer && m.folderRegistered &&
        patientFile_.RewritePatientNames(patientID_, firstName_, lastName_, patientFolder_) != 0) {
        if (found > 0) {
            const TPatient& was = census_.Patient(found);
            log_.AddLogLine("Patient ID " + ShownText(patientID_) + " has a new name: \"" +
                            ShownText(was.FirstName + " " + was.LastName) + "\" is now \"" +
                            ShownText(firstName_ + " " + lastName_) + "\"; its series go on in the same file");
            census_.SetRowNames(found, firstName_, lastName_);
        }
        m.censusChanged = true;
    }
    if (!refusal.empty()) census_.SetRowHint(row, std::move(refusal));
}

void TMessageHandler::IdReductionChanged(const TPatientIdReduction& previous)
{
    previousReduction_ = previous;
    retiredIds_.clear();
}

void TMessageHandler::RetireOldRow()
{
    const std::string old = previousReduction_->ReducePatientID(sourceID_);
    if (old == patientID_ || retiredIds_.count(old) != 0) return;
    const int row = census_.FindRow(old);
    if (row <= 0) return;
    // The old row receives nothing any more: absent, so it is neither shown nor reported as collecting.
    census_.SetEnabled(row, false);
    retiredIds_.insert(old);
    log_.AddLogLine("Patient ID " + ShownText(old) + " is now " + ShownText(patientID_) +
                    " (the patient ID shortening changed); the row of " + ShownText(old) + " is absent from now on");
}

TDateTime TMessageHandler::FolderSlot() const
{
    return cycle_.AlignToInterval(clock_.Now());
}

void TMessageHandler::CheckFolder(TMessageState& m, std::string& refusal)
{
    m.folderChecked = true;
    bool exists = folders_.PatientExists(patientFolder_);
    const bool create = !exists && m.mayCreate;
    // Opening the monitor-data file can create it, so an open counts as writing into the folder.
    const bool granted = !(exists || create) || MayUseFolder(refusal);
    if (granted && create) {
        patientFile_.CreatePatient(patientID_, firstName_, lastName_, patientFolder_);
        exists = folders_.PatientExists(patientFolder_);
        m.createFailed = !exists;
        if (!exists && unusableLogged_.insert(patientID_).second)
            log_.AddLogLine("Patient ID " + ShownText(patientID_) + ": no patient could be created in " +
                            patientFolder_ + "; its values are not written");
    }
    m.folderRegistered = exists && granted;
    if (m.folderRegistered) monitorFile_.OpenPatientMonitorFile(writer_, patientFolder_, patientID_, patientName_);
    // A storm of new IDs does not grow this without bound.
    if (folderStates_.size() >= kFolderStatesKept && folderStates_.count(patientFolder_) == 0) folderStates_.clear();
    folderStates_[patientFolder_] = TFolderState{exists, FolderSlot()};
}

void TMessageHandler::NoteNoFolder(const TMessageState& m)
{
    if (!m.patientTicked || !m.writeThisMessage || cycle_.Status() != csCollecting) return;
    notices_.ValuesNotWritten(patientID_,
                              m.createFailed ? "No patient could be created in " + patientFolder_
                                             : "The patient has no folder in the data folder (" + patientFolder_ + ")");
}

bool TMessageHandler::MayUseFolder(std::string& refusal)
{
    const TFolderOwners::TClaim claim = owners_.Claim(patientFolder_, sourceID_, patientID_);
    if (claim.granted) return true;
    if (claim.firstRefusal)
        log_.AddLogLine("Patient ID " + sourceID_ + " is not written: its folder " + patientFolder_ +
                        " belongs to patient ID " + claim.owner);
    refusal = "Values of patient ID " + sourceID_ + " are not written: the folder " + patientFolder_ +
              " belongs to patient ID " + claim.owner;
    return false;
}

TDateTime TMessageHandler::MessageTime(TDateTime t) const
{
    return cycle_.UseHalcyraSettings() ? t : cycle_.AlignToInterval(t);
}

void TMessageHandler::HandleOBR(const TMessageIndex& index, std::size_t i, TMessageState& m)
{
    // An unreadable time stamp gives the time of arrival, which is then placed on the grid like any other.
    m.observationTime = MessageTime(StampOrArrival(index.Field(i, hl7item::kObrObservationTime), "OBR-7"));
    m.hasObservationTime = true;
}

TDateTime TMessageHandler::StampOrArrival(std::string_view stamp, const char* field)
{
    const TDateTime now = clock_.Now();
    TDateTime time = now;
    if (TryHL7ToDateTime(stamp, time) && std::abs(time - now) > kMaxStampDistance) {
        // A stamp that far from the clock is a station fault, not a time: a value there would be misdated.
        time = now;
        if (strayStampLogged_.emplace(patientID_, field).second)
            log_.AddLogLine("Patient " + ShownText(patientID_) + ": the " + field + " time " + ShownText(stamp) +
                            " is more than a day from the clock; the time of arrival is used");
    }
    return time;
}

bool TMessageHandler::ShowsPatient(const TMessageState& m) const
{
    return m.selectedPatientID.empty() || (m.patientSeen && patientID_ == m.selectedPatientID);
}

void TMessageHandler::HandleOBX(const TMessageIndex& index, std::size_t i, TMessageState& m)
{
    if (patientID_ == kNoPatientID) return;
    cycle_.SetObservationsSeen();
    const auto fields = [&](int k) { return index.Field(i, k); };
    if (fields(hl7item::kObxValueType) != kNumericValueType) return;
    if (m.observationsTaken == kMaxObservationsPerMessage) {
        NoteLeftOut(m);
        return;
    }
    ++m.observationsTaken;

    const std::string_view identifier = fields(hl7item::kObxIdentifier);
    const std::int32_t code = ObservationCode(GetComponent(identifier, 1));
    const std::string_view labelField = GetComponent(identifier, 2);
    const std::string_view unitField = ObservationUnit(fields(hl7item::kObxUnits));
    const std::string_view valueText = fields(hl7item::kObxValue);
    const std::string label(labelField.substr(0, kMaxObservationTextLength));
    const std::string unit = params_.DefaultUnits().ResolveUnit(label, unitField.substr(0, kMaxObservationTextLength),
                                                                settings_.enableDefaultUnits);
    if ((labelField.size() > label.size() || unitField.size() > kMaxObservationTextLength) && !observationCutLogged_) {
        observationCutLogged_ = true;
        log_.AddLogLine("Patient " + ShownText(patientID_) + ": an observation label or unit is cut to " +
                        std::to_string(kMaxObservationTextLength) + " characters (" + ShownText(label) +
                        "); later cuts are not logged");
    }
    const std::string text = label + " = " + std::string(valueText.substr(0, kMaxObservationTextLength)) + " " + unit;
    view_.SetParameterLabel(text);
    double value = 0;
    const bool isNumber = TryValueToFloat(valueText, settings_.decimalSeparator, value);

    const TDateTime now = clock_.Now();
    // An aperiodic observation carries its own time, for itself only: the observations after it keep the
    // message's time and the once-per-interval rule.
    const bool aperiodic = fields(hl7item::kObxAperiodic) == kAperiodicMark;
    TDateTime time = 0;
    if (aperiodic) {
        time = StampOrArrival(fields(hl7item::kObxTime), "OBX-14");
    } else {
        // A message without an observation time takes its time of arrival rather than day zero.
        if (!m.hasObservationTime) {
            m.observationTime = MessageTime(now);
            m.hasObservationTime = true;
        }
        time = m.observationTime;
    }

    // The parameter exists and its text is shown whatever the value: only the file takes numbers alone.
    if (params_.RegisterParameter(code, label, unit, now)) m.newParameterSeen = true;
    if (params_.RefusedParameters() == 1 && !parameterCapLogged_) {
        parameterCapLogged_ = true;
        log_.AddLogLine("The run has " + std::to_string(kMaxParametersPerRun) +
                        " parameters, the most it takes: new labels from now on (the first: " + ShownText(label) +
                        ", patient " + ShownText(patientID_) +
                        ") are not registered nor stored as default units; their values are still shown and written");
    }
    if (grid_ != nullptr && ShowsPatient(m)) {
        if (!m.patientSeen && !m.noPatientShown) {
            grid_->ShowPatient("", "", "");
            m.noPatientShown = true;
        }
        grid_->ShowValue(text);
    }

    if (cycle_.Status() == csCollecting && m.patientTicked && m.folderRegistered &&
        (m.writeThisMessage || aperiodic || cycle_.UseHalcyraSettings())) {
        // A value that is no number is not made one: nothing is written and the patient stays due.
        if (!isNumber) {
            NoteNotANumber(label, valueText);
            return;
        }
        if (m.writeThisMessage) NoteDueWrite(m);
        const TValueTiming timing = aperiodic || cycle_.UseHalcyraSettings() ? TValueTiming::Own : TValueTiming::Grid;
        m.fileValues.push_back({label, "", "", unit, time, value, timing});
    }
}

void TMessageHandler::WriteFileValues(TMessageState& m)
{
    if (m.fileValues.empty()) return;
    std::vector<TFileValue> values;
    values.swap(m.fileValues);
    // Values of a message that was not due (aperiodic ones) were taken on what the folder was known to be:
    // the folder is looked at, and the file opened, now.
    if (!m.folderChecked) {
        std::string refusal;
        CheckFolder(m, refusal);
        if (!refusal.empty()) census_.SetRowHint(census_.FindRow(patientID_), std::move(refusal));
        if (!m.folderRegistered) return;
    }
    valuesWritten_ += monitorFile_.AppendValues(values);
}

void TMessageHandler::NoteLeftOut(TMessageState& m)
{
    ++m.observationsLeftOut;
    // One more than are named tells that there were more.
    auto& named = m.leftOutPatients;
    if (named.size() <= kLeftOutPatientsNamed && std::find(named.begin(), named.end(), patientID_) == named.end())
        named.push_back(patientID_);
}

void TMessageHandler::NoteDueWrite(TMessageState& m)
{
    for (const auto& [id, name] : m.duePatientsWritten)
        if (id == patientID_ && name == patientName_) return;
    m.duePatientsWritten.emplace_back(patientID_, patientName_);
}

std::string TMessageHandler::ShownText(std::string_view text)
{
    // Cut short: a text in the log is there to be recognised, not to fill it.
    constexpr std::size_t kShownLength = 40;
    std::string shown(text.substr(0, kShownLength));
    if (text.size() > kShownLength) shown += "...";
    return shown;
}

void TMessageHandler::NoteNotANumber(const std::string& label, std::string_view valueText)
{
    notices_.ValuesNotWritten(
        patientID_, valueText.empty() ? "The value of " + label + " was empty"
                                      : "The value of " + label + " \"" + ShownText(valueText) + "\" is not a number");
    if (!notANumberLogged_.emplace(patientID_, label).second) return;
    log_.AddLogLine("Patient " + patientID_ + ", " + label + ": the value \"" + ShownText(valueText) +
                    "\" is not a number and is not written");
}

void TMessageHandler::NoteCutIdentity(std::size_t idLength, std::size_t nameLength)
{
    // Once per long ID, and once per patient for a long name: a station repeats its long field in every
    // message. A storm of long IDs does not grow this without bound; after one, a cut may be logged again.
    constexpr std::size_t kCutsKept = 4096;
    if (cutLogged_.size() >= kCutsKept) cutLogged_.clear();
    // Keyed by the kept ID, not the reduced one: two long IDs may reduce alike.
    if (idLength > 0 && cutLogged_.emplace(sourceID_, "ID").second) {
        // The kept ID by both ends: the beginning it shares with the ID, the digest that tells it apart.
        constexpr std::size_t kKeptEnd = 12 + kPatientIdDigestLength;
        const std::string_view kept = sourceID_;
        log_.AddLogLine("Patient ID of " + std::to_string(idLength) + " characters (" + ShownText(kept) +
                        ") is kept as " + std::string(kept.substr(0, 12)) + "..." +
                        std::string(kept.substr(kept.size() - std::min(kept.size(), kKeptEnd))) +
                        ": a folder name holds " + std::to_string(kMaxPatientIdHostBytes) + " bytes");
    }
    if (nameLength > 0 && cutLogged_.emplace(patientID_, "name").second)
        log_.AddLogLine("Patient " + ShownText(patientID_) + ": the name of " + std::to_string(nameLength) +
                        " characters is cut to " + std::to_string(kMaxPatientNameLength) + " for each part");
}

void TMessageHandler::AfterLastSegment(const TMessageIndex& segments, TMessageState& m)
{
    WriteFileValues(m);
    if (m.observationsLeftOut > 0) {
        std::string patients = m.leftOutPatients.size() > 1 ? "patients " : "patient ";
        for (std::size_t k = 0; k < m.leftOutPatients.size() && k < kLeftOutPatientsNamed; ++k)
            patients += (k == 0 ? "" : ", ") + m.leftOutPatients[k];
        if (m.leftOutPatients.size() > kLeftOutPatientsNamed) patients += ", ...";
        log_.AddLogLine("A message brought more than " + std::to_string(kMaxObservationsPerMessage) +
                        " numeric observations: the " + std::to_string(m.observationsLeftOut) +
                        " behind them were left out (" + patients + ")");
    }
    if (m.newParameterSeen) view_.EnableParametersButton();
    for (const auto& [id, name] : m.duePatientsWritten) cycle_.MarkSaved(id, name, true);
    if (m.anyFolderRegistered) cycle_.DataChanged();
    if (view_.SaveDataStream())
        SaveSegmentList(files_,
                        m.patientSeen ? PatientDataStreamFileName(settings_.debugFolder, patientID_, patientName_)
                                      : NoPatientDataStreamFileName(settings_.debugFolder),
                        segments);
}

TMessageSettings ReadMessageSettings(TSettingsStore& store)
{
    TMessageSettings settings;
    settings.autoCreate = store.ReadRegBool(setting::AutoCreate);
    settings.enableDefaultUnits = store.ReadRegBool(setting::EnableDefaultUnits);
    settings.debugFolder = store.ReadRegString(setting::DebugFolder);
    return settings;
}

}  // namespace halcyra
