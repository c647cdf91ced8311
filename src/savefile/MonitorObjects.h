// The objects a monitor-data file holds: its type, the monitor information, the declared parameter
// series and the video information.
#pragma once

#include "savefile/PointsU.h"
#include "savefile/TovClass.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace halcyra {

// Stored as a 32-bit integer (item 2). Values outside the list are kept as read.
enum class TTovFileType : std::int32_t {
    ftUnknown = 0,
    ftData = 1,
    ftTemplate = 2,
    ftAllData = 3,
    ftAllTemplate = 4,
    ftSaveSinglePlot = 5,
    ftScreenAndMemory = 6,
    ftSingleSerie = 7,
    ftMonitorData = 8,
    ftSingleEventSerie = 9,
    ftVideoFileController = 10,
    ftSingleTSerie = 11,
    ftSingleTYYSerie = 12,
    ftSingleTHistogramSerie = 13,
    ftDrugDoseSerie = 14,
};

// Folding 200: who the file belongs to.
class TMonitorInfo : public TPersistIt {
public:
    std::string MonitorKind;       // 201
    std::string MonitorQualifier;  // 202
    std::string PatientId;         // 203
    std::string PatientName;       // 204

    void AssignTo(TPersistIt& dest) const override;
    void WriteTo(TMicroWriter& writer) const override;
};

// Folding 210: one declared parameter; point records carry its Index.
class TParameterSerie : public TPersistIt {
public:
    std::uint16_t Index = 0;
    std::string UnitName;
    TUniqueParameterInformation Info;
    // The points read for this series; none until the first one.
    std::unique_ptr<TSerie> Serie;

    // Copies Index, UnitName and Info. The series stays with its one owner, so the copy has none.
    void AssignTo(TPersistIt& dest) const override;
    void WriteTo(TMicroWriter& writer) const override;
};

// Folding 210 as declared: the strings are written as given, untrimmed.
void WriteParameterSerie(TMicroWriter& writer, std::uint16_t index, std::string_view parameterName,
                         std::string_view measurementPlace, std::string_view paramExtraName, std::string_view unitName,
                         std::string_view parameterId);

// Folding 232: announces a video file (read, never written by this system).
class TVideoInfo : public TPersistIt {
public:
    std::string VideoFileName;  // 231
    std::string Caption203;     // 203
    std::string Caption204;     // 204
};

}  // namespace halcyra
