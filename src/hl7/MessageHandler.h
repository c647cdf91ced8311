// The handling of one complete HL7 message: the header's version moves the collection status, the patient
// segment enters the patient into the census (and the data area), and every numeric observation
// registers its parameter and, when the collection rules let it through, becomes a value point in the
// patient's monitor-data file. All grammar access of the handling lives here.
//
// A value's path: the reader cuts the message and hands its segments to DecodeMessage; the handler asks
// the cycle through IMessageCycle (status, grid time, the patient's mark), appends the patient's values
// through TPatientMonitorFile, which reports every point written through IPointNotices; the run's floor
// turns those notices, and DataChanged, into the data manager's calls.
#pragma once

#include "hl7/Census.h"
#include "hl7/MessageCycle.h"
#include "hl7/MessageIndex.h"
#include "hl7/MessageSplitter.h"
#include "hl7/MessageView.h"
#include "params/ParameterModel.h"
#include "patients/FolderOwners.h"
#include "patients/PatientFile.h"
#include "patients/PatientFolders.h"
#include "patients/PatientMonitorFile.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "savefile/SaveITNew.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace halcyra {

inline constexpr std::string_view kBadVersionText = "Bad HL7 Version ID = ";

// The most numeric observations taken from one message; those behind them are left out (not registered,
// shown or written), and the message is logged. A monitor sends a few dozen per patient; the cap keeps the
// cost of one message bounded.
inline constexpr int kMaxObservationsPerMessage = 1000;
// Characters kept of an observation's label, unit and value text: the label and unit name a series in the
// patient's file and a default unit in the registry.
inline constexpr std::size_t kMaxObservationTextLength = 255;

// The start-up settings the handling acts on; "UseHalcyraSettings" is the collection cycle's.
struct TMessageSettings {
    bool autoCreate = false;
    bool enableDefaultUnits = false;
    std::string debugFolder = "C:\\TEMP\\";
    char decimalSeparator = '.';
};

// "AutoCreate", "EnableDefaultUnits" and "DebugFolder" as the settings give them.
TMessageSettings ReadMessageSettings(TSettingsStore& store);

class TMessageHandler {
public:
    struct TParts {
        const IClock& clock;
        const TFileSystem& files;
        TLog& log;
        IMessageCycle& cycle;
        TCensus& census;
        TPatientFolders& folders;
        TFolderOwners& owners;
        TPatientFile& patientFile;
        TPatientMonitorFile& monitorFile;
        TSaveItNew& writer;
        TParameterModel& params;
        IMessageView& view;
        // Hears of the patients whose due values were kept from their files.
        IPointNotices& notices;
    };

    explicit TMessageHandler(const TParts& parts);

    TMessageSettings& Settings() { return settings_; }
    void SetRelayForwarder(IRelayForwarder* forwarder) { forwarder_ = forwarder; }
    // The ID shortening changed from `previous`: a patient whose ID it changes leaves its old row absent at
    // its next message, told once with both IDs.
    void IdReductionChanged(const TPatientIdReduction& previous);
    void SetParameterGrid(IParameterGrid* grid) { grid_ = grid; }

    // Handles one complete message, its segments as the reader cut them: views of the reader's buffer.
    void DecodeMessage(const TMessageIndex& segments);
    // The same for segments already cut into strings.
    void DecodeMessage(const TSegmentList& segments);

    // The patient of the last PID segment: its ID as the central station sent it (cleaned, with the
    // fallbacks applied) and after the reduction.
    const std::string& SourceID() const { return sourceID_; }
    const std::string& PatientID() const { return patientID_; }
    const std::string& PatientName() const { return patientName_; }
    const std::string& FirstName() const { return firstName_; }
    const std::string& LastName() const { return lastName_; }
    const std::string& PatientFolder() const { return patientFolder_; }
    bool DecodeBusy() const { return decodeBusy_; }

    // Counts since start-up: messages handled, and values handed to the monitor-data file that it kept
    // (not excluded, with a file open).
    std::int64_t MessagesDecoded() const { return messagesDecoded_; }
    std::int64_t ValuesWritten() const { return valuesWritten_; }

private:
    // Everything that is reset at the start of every message.
    struct TMessageState {
        // The current patient's folder holds the patient file and is the patient's to write into: as looked
        // at in this message when folderChecked, otherwise as the last look in this grid slot found it.
        bool folderRegistered = false;
        bool folderChecked = false;
        // The current patient's folder may be made when missing.
        bool mayCreate = false;
        // The folder was missing and making the patient in it failed.
        bool createFailed = false;
        bool patientTicked = false;
        // A patient segment came: until then the message's values belong to no patient.
        bool patientSeen = false;
        // The grid was emptied of the previous patient for values of no patient.
        bool noPatientShown = false;
        bool writeThisMessage = false;
        bool hasObservationTime = false;
        TDateTime observationTime = 0;
        bool newParameterSeen = false;
        bool censusChanged = false;
        // Some patient of the message has its folder registered: the data manager hears of the message.
        bool anyFolderRegistered = false;
        // Each patient (ID, name) whose values were handed over while due; all are marked saved after the
        // last segment, so a message of several patients writes each of them once per interval.
        std::vector<std::pair<std::string, std::string>> duePatientsWritten;
        std::string selectedPatientID;
        // The values of the current patient for its file, written together when the patient's part of the
        // message ends, so that the series they bring are declared with one rewrite of the file.
        std::vector<TFileValue> fileValues;
        int observationsTaken = 0;
        int observationsLeftOut = 0;
        // The patients whose observations were left out, the first few.
        std::vector<std::string> leftOutPatients;
    };

    void Forward(const TMessageIndex& segments);
    void HandleMSH(const TMessageIndex& index, std::size_t i, TMessageState& m);
    void HandlePID(const TMessageIndex& index, std::size_t i, TMessageState& m);
    void HandleOBR(const TMessageIndex& index, std::size_t i, TMessageState& m);
    void HandleOBX(const TMessageIndex& index, std::size_t i, TMessageState& m);
    void AfterLastSegment(const TMessageIndex& segments, TMessageState& m);
    // Hands the values collected for the open file over to it; before anything else may open another file
    // or close series (a patient segment, a header, the end of the message).
    void WriteFileValues(TMessageState& m);
    // Looks at the current patient's folder: whether it holds the patient file, making the patient when it
    // may; whether the patient may write there; if so, opens its monitor-data file. Remembers what it found
    // for the grid slot.
    void CheckFolder(TMessageState& m, std::string& refusal);
    // The grid time of the clock: what was found of a folder stands until it changes.
    TDateTime FolderSlot() const;
    // An observation beyond the message's cap.
    void NoteLeftOut(TMessageState& m);
    // Before a message: the identity of the previous message does not carry over.
    void ForgetPatient();
    // Also after a failure: the census keeps a new patient, and the next message is not taken for a re-entry.
    void Finish(const TMessageState& m);
    // The time of a message time stamp on the grid (or as it is, at the central station's own pace).
    TDateTime MessageTime(TDateTime t) const;
    bool ShowsPatient(const TMessageState& m) const;
    // Whether the patient's folder is its own, not owned by another source ID. A refusal is logged once per
    // pair of source IDs; refusal is then the hint for the patient's census row.
    bool MayUseFolder(std::string& refusal);
    void NoteDueWrite(TMessageState& m);
    // A ticked patient due for writing whose values have no folder to go to.
    void NoteNoFolder(const TMessageState& m);
    // A value text that is not a number, logged once per patient and parameter.
    void NoteNotANumber(const std::string& label, std::string_view valueText);
    // The patient's ID or name was longer than it may be (lengths of the texts received, 0 for one that
    // fitted); the ID kept is logged once per ID, a cut name once per patient.
    void NoteCutIdentity(std::size_t idLength, std::size_t nameLength);
    // The time of a stamp of the field (OBR-7, OBX-14), or the time of arrival (the clock) when it cannot
    // be read or lies more than a day from the clock; the latter is logged once per patient and field.
    TDateTime StampOrArrival(std::string_view stamp, const char* field);
    void RetireOldRow();
    static std::string ShownText(std::string_view text);

    const IClock& clock_;
    const TFileSystem& files_;
    TLog& log_;
    IMessageCycle& cycle_;
    TCensus& census_;
    TPatientFolders& folders_;
    TFolderOwners& owners_;
    TPatientFile& patientFile_;
    TPatientMonitorFile& monitorFile_;
    TSaveItNew& writer_;
    TParameterModel& params_;
    IMessageView& view_;
    IPointNotices& notices_;
    IRelayForwarder* forwarder_ = nullptr;
    IParameterGrid* grid_ = nullptr;

    TMessageSettings settings_;
    // For segments handed over as strings; reused from message to message, so that finding the fields
    // allocates nothing once it has grown.
    TMessageIndex index_;
    std::string relayBytes_;  // reused: the message framed for the relay clients
    std::string sourceID_;
    std::string patientID_;
    std::string patientName_;
    std::string firstName_;
    std::string lastName_;
    std::string patientFolder_;
    bool decodeBusy_ = false;
    std::int64_t messagesDecoded_ = 0;
    std::int64_t valuesWritten_ = 0;
    std::set<std::pair<std::string, std::string>> notANumberLogged_;  // (patient ID, label)
    std::set<std::pair<std::string, std::string>> cutLogged_;         // (patient ID, "ID" or "name")
    bool observationCutLogged_ = false;
    bool parameterCapLogged_ = false;
    std::set<std::pair<std::string, std::string>> strayStampLogged_;  // (patient ID, field)
    std::set<std::string> unusableLogged_;                            // patient IDs without a folder
    std::optional<TPatientIdReduction> previousReduction_;            // the shortening before the last change
    std::set<std::string> retiredIds_;                                // rows it retired since
    // What the last look at each patient folder found: whether it held the patient file, and in which slot.
    struct TFolderState {
        bool exists = false;
        TDateTime slot = 0;
    };
    std::unordered_map<std::string, TFolderState> folderStates_;
};

}  // namespace halcyra
