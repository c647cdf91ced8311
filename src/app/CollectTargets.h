// The census rows and the patient files as the collection cycle uses them.
#pragma once

#include "platform/Clock.h"

#include <optional>
#include <string>
#include <vector>

namespace halcyra {

struct TCensusRowState {
    std::string patientID;
    std::string firstName;
    std::string lastName;
    bool ticked = false;
    bool enabled = false;
};

struct TSeriesName {
    std::string label;
    std::string unit;
};

class ICollectTargets {
public:
    virtual ~ICollectTargets() = default;
    // Every patient row after the header line, in list order.
    virtual std::vector<TCensusRowState> PatientRows() const = 0;
    // The connection is lost: no patient counts as present on the station.
    virtual void DisablePatientRows() = 0;
    virtual TMonotonic LastCensusSave() const = 0;
    virtual void SaveCensus() = 0;
    // Messages changed the census since it was last saved.
    virtual bool CensusChanged() const = 0;
    // Makes the patient's existing monitor-data file the open one, to close its series; no file is
    // created. False when there is none that could be opened.
    virtual bool OpenPatientMonitorFile(const std::string& patientID, const std::string& patientName) = 0;
    // Closes the open file's series of this label and unit with a delimiter point one second after the
    // later of `after` and the series' own latest point. A missing series is not declared; a series
    // without points, or ending in a delimiter already, gets none. The delimiter's time when one was
    // written.
    virtual std::optional<TDateTime> AppendDelimiter(const std::string& label, const std::string& unit,
                                                     TDateTime after) = 0;
    // The label and unit of each of the open file's series this system writes that has points and does not
    // end in a delimiter yet.
    virtual std::vector<TSeriesName> UnclosedSeries() const = 0;
    // Makes what was appended to the open file durable; false when the disk refused (logged).
    virtual bool MakeDurable() = 0;
    // The time stamp of the last value point written for any patient; 0 before the first.
    virtual TDateTime LastWrittenTime() const = 0;
};

}  // namespace halcyra
