#include "savefile/MonitorObjects.h"

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
    writer.BeginFolding(200);
    writer.WriteString(201, MonitorKind);
    writer.WriteString(202, MonitorQualifier);
    writer.WriteString(203, PatientId);
    writer.WriteString(204, PatientName);
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
    writer.BeginFolding(210);
    writer.WriteInteger(211, Index);
    writer.WriteString(212, Info.ParameterName());
    writer.WriteString(213, Info.MeasurementPlace());
    writer.WriteString(214, Info.ParamExtraName());
    writer.WriteString(215, UnitName);
    writer.WriteString(216, Info.ParameterID());
    writer.EndFolding();
}

}  // namespace halcyra
