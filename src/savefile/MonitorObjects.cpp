#include "savefile/MonitorObjects.h"

#include "savefile/SaveFileIds.h"

namespace halcyra {

void TMonitorInfo::AssignTo(TPersistIt& dest) const
{
    if (auto* info = dynamic_cast<TMonitorInfo*>(&dest)) {
        info->MonitorKind = MonitorKind;
        info->MonitorQualifier = MonitorQualifier;
        info->PatientId = PatientId;
        info->PatientName = PatientName;
    }
}

void TMonitorInfo::WriteTo(TMicroWriter& writer) const
{
    writer.BeginFolding(item::kMonitorInfo);
    writer.WriteString(item::kMonitorKind, MonitorKind);
    writer.WriteString(item::kMonitorQualifier, MonitorQualifier);
    writer.WriteString(item::kPatientId, PatientId);
    writer.WriteString(item::kPatientName, PatientName);
    writer.EndFolding();
}

void TParameterSerie::AssignTo(TPersistIt& dest) const
{
    if (auto* serie = dynamic_cast<TParameterSerie*>(&dest)) {
        serie->Index = Index;
        serie->UnitName = UnitName;
        serie->Info = Info;
        serie->Serie.reset();
    }
}

void TParameterSerie::WriteTo(TMicroWriter& writer) const
{
    WriteParameterSerie(writer, Index, Info.ParameterName(), Info.MeasurementPlace(), Info.ParamExtraName(), UnitName,
                        Info.ParameterID());
}

void WriteParameterSerie(TMicroWriter& writer, std::uint16_t index, std::string_view parameterName,
                         std::string_view measurementPlace, std::string_view paramExtraName, std::string_view unitName,
                         std::string_view parameterId)
{
    writer.BeginFolding(item::kParameterSerie);
    writer.WriteInteger(item::kSerieIndex, index);
    writer.WriteString(item::kSerieParameterName, parameterName);
    writer.WriteString(item::kSerieMeasurementPlace, measurementPlace);
    writer.WriteString(item::kSerieParamExtraName, paramExtraName);
    writer.WriteString(item::kSerieUnitName, unitName);
    writer.WriteString(item::kSerieParameterId, parameterId);
    writer.EndFolding();
}

}  // namespace halcyra
