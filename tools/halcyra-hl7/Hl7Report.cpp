#include "Hl7Report.h"

#include "hl7/PatientIdentity.h"
#include "platform/Text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <sstream>

namespace halcyra {
namespace {

QJsonValue Text(const std::string& singleByte)
{
    return QString::fromStdString(Win1252ToUtf8(singleByte));
}

QJsonValue Time(const std::optional<TDateTime>& time)
{
    return time ? QJsonValue(QString::fromStdString(FormatIsoSeconds(*time))) : QJsonValue(QJsonValue::Null);
}

std::string Number(double value)
{
    std::ostringstream out;
    out.precision(15);
    out << value;
    return out.str();
}

std::string Quoted(const std::string& singleByte)
{
    return "\"" + Win1252ToUtf8(singleByte) + "\"";
}

}  // namespace

std::string SummaryToJson(const TMessageSummary& summary)
{
    QJsonObject object;
    object["version"] = summary.version ? Text(*summary.version) : QJsonValue(QJsonValue::Null);
    object["supported"] = summary.supported;
    const QJsonValue none(QJsonValue::Null);
    object["patientId"] = summary.hasPatient ? Text(summary.patientId) : none;
    object["firstName"] = summary.hasPatient ? Text(summary.firstName) : none;
    object["lastName"] = summary.hasPatient ? Text(summary.lastName) : none;
    object["displayName"] = summary.hasPatient ? Text(summary.displayName) : none;
    object["observationTime"] = Time(summary.observationTime);
    QJsonArray observations;
    for (const TObservationSummary& obx : summary.observations) {
        QJsonObject item;
        item["type"] = Text(obx.valueType);
        item["code"] = obx.code;
        item["label"] = Text(obx.label);
        item["valueText"] = Text(obx.valueText);
        item["value"] = obx.value;
        item["unit"] = Text(obx.unit);
        item["aperiodic"] = obx.aperiodic;
        item["time"] = Time(obx.time);
        observations.append(item);
    }
    object["observations"] = observations;
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string SummaryToText(int number, const TMessageSummary& summary)
{
    std::ostringstream out;
    out << "Message " << number << "\n";
    if (summary.version)
        out << "  Version: " << Quoted(*summary.version) << (summary.supported ? " (supported)" : " (not supported)")
            << "\n";
    else
        out << "  Version: none (no MSH segment)\n";
    if (summary.hasPatient) {
        out << "  Patient ID: " << Win1252ToUtf8(summary.patientId);
        if (summary.patientId == kNoPatientID) out << " (no identity: observations are not used)";
        out << "\n  First name: " << Quoted(summary.firstName) << "\n  Last name: " << Quoted(summary.lastName)
            << "\n  Display name: " << Quoted(summary.displayName) << "\n";
    } else {
        out << "  Patient: none (no PID segment)\n";
    }
    if (summary.observationTime)
        out << "  Observation time: " << FormatIsoSeconds(*summary.observationTime) << "\n";
    else if (summary.hasObservationTime)
        out << "  Observation time: unreadable " << Quoted(summary.observationTimeText)
            << " (the time of receipt is taken)\n";
    else
        out << "  Observation time: none (no OBR segment)\n";
    out << "  Observations: " << summary.observations.size() << "\n";
    for (const TObservationSummary& obx : summary.observations) {
        out << "    " << Win1252ToUtf8(obx.valueType) << " " << obx.code << " " << Quoted(obx.label) << " = "
            << Quoted(obx.valueText) << " -> " << Number(obx.value) << " unit " << Quoted(obx.unit);
        if (obx.aperiodic) {
            out << " aperiodic at ";
            if (obx.time)
                out << FormatIsoSeconds(*obx.time);
            else
                out << "unreadable " << Quoted(obx.timeText) << " (the time of receipt is taken)";
        }
        if (obx.valueType != "NM") out << " (not used: value type is not NM)";
        out << "\n";
    }
    return out.str();
}

}  // namespace halcyra
