#include "Hl7Report.h"

#include "hl7/Hl7Time.h"
#include "hl7/PatientIdentity.h"
#include "platform/Text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace halcyra {
namespace {

QJsonValue Text(std::string_view singleByte)
{
    return QString::fromStdString(Win1252ToUtf8(singleByte));
}

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

// QJsonDocument escapes the C0 controls only; DEL and the C1 controls (UTF-8 C2 80 to C2 9F) get the
// same \u escape, which gives the same JSON value.
std::string EscapeRemainingControls(const std::string& json)
{
    std::string out;
    out.reserve(json.size());
    char escape[8];
    for (std::size_t i = 0; i < json.size(); ++i) {
        const auto c = static_cast<unsigned char>(json[i]);
        if (c == 0x7F) {
            out += "\\u007f";
        } else if (c == 0xC2 && i + 1 < json.size() && static_cast<unsigned char>(json[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(json[i + 1]) >= 0x80) {
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(json[++i]));
            out += escape;
        } else {
            out += json[i];
        }
    }
    return out;
}

QJsonValue Time(const std::optional<TDateTime>& time)
{
    return time ? QJsonValue(QString::fromStdString(FormatIsoSeconds(*time))) : QJsonValue(QJsonValue::Null);
}

// A readable stamp that carried a zone: the local time shown was converted from it.
std::optional<THL7Stamp> ZonedStamp(std::string_view text)
{
    THL7Stamp stamp;
    if (!TryReadHL7Stamp(text, stamp) || !stamp.zoned) return std::nullopt;
    return stamp;
}

// The time as the station wrote it, with its zone ("2026-12-11T03:01:00+00:00"); null without a zone.
QJsonValue SentTime(std::string_view text)
{
    const std::optional<THL7Stamp> stamp = ZonedStamp(text);
    if (!stamp) return QJsonValue(QJsonValue::Null);
    const int offset = std::abs(stamp->offsetMinutes);
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", stamp->offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return QString::fromStdString(FormatIsoSeconds(stamp->written) + zone);
}

// " (sent as ...)" after a local time converted from a zoned stamp, empty otherwise.
std::string SentNote(std::string_view text)
{
    return ZonedStamp(text) ? " (sent as " + Printable(text) + ")" : std::string();
}

std::string Number(double value)
{
    std::ostringstream out;
    out.precision(15);
    out << value;
    return out.str();
}

std::string Quoted(std::string_view singleByte)
{
    return "\"" + Printable(singleByte) + "\"";
}

}  // namespace

std::string Printable(std::string_view singleByte)
{
    std::string escaped;
    escaped.reserve(singleByte.size());
    char hex[8];
    for (const char c : singleByte) {
        if (IsControl(static_cast<unsigned char>(c))) {
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            escaped += hex;
        } else {
            escaped += c;
        }
    }
    return Win1252ToUtf8(escaped);
}

std::string SummaryToJson(const TMessageFields& summary)
{
    QJsonObject object;
    object["version"] = summary.hasVersion ? Text(summary.version) : QJsonValue(QJsonValue::Null);
    object["supported"] = summary.supported;
    const QJsonValue none(QJsonValue::Null);
    object["patientId"] = summary.hasPatient ? Text(summary.patientId) : none;
    object["firstName"] = summary.hasPatient ? Text(summary.firstName) : none;
    object["lastName"] = summary.hasPatient ? Text(summary.lastName) : none;
    object["displayName"] = summary.hasPatient ? Text(summary.displayName) : none;
    object["observationTime"] = Time(summary.observationTime);
    object["observationTimeSent"] = SentTime(summary.observationTimeText);
    QJsonArray observations;
    for (const TObservationFields& obx : summary.observations) {
        QJsonObject item;
        item["type"] = Text(obx.valueType);
        item["code"] = obx.code;
        item["label"] = Text(obx.label);
        item["valueText"] = Text(obx.valueText);
        item["value"] = obx.value;
        item["unit"] = Text(obx.unit);
        item["aperiodic"] = obx.aperiodic;
        item["time"] = Time(obx.time);
        item["timeSent"] = SentTime(obx.timeText);
        observations.append(item);
    }
    object["observations"] = observations;
    return EscapeRemainingControls(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}

std::string SummaryToText(int number, const TMessageFields& summary)
{
    std::ostringstream out;
    out << "Message " << number << "\n";
    if (summary.hasVersion)
        out << "  Version: " << Quoted(summary.version) << (summary.supported ? " (supported)" : " (not supported)")
            << "\n";
    else
        out << "  Version: none (no MSH segment)\n";
    if (summary.hasPatient) {
        out << "  Patient ID: " << Printable(summary.patientId);
        if (summary.patientId == kNoPatientID) out << " (no identity: observations are not used)";
        out << "\n  First name: " << Quoted(summary.firstName) << "\n  Last name: " << Quoted(summary.lastName)
            << "\n  Display name: " << Quoted(summary.displayName) << "\n";
    } else {
        out << "  Patient: none (no PID segment)\n";
    }
    if (summary.observationTime)
        out << "  Observation time: " << FormatIsoSeconds(*summary.observationTime)
            << SentNote(summary.observationTimeText) << "\n";
    else if (summary.hasObservationTime)
        out << "  Observation time: unreadable " << Quoted(summary.observationTimeText)
            << " (the time of receipt is taken)\n";
    else
        out << "  Observation time: none (no OBR segment)\n";
    out << "  Observations: " << summary.observations.size() << "\n";
    for (const TObservationFields& obx : summary.observations) {
        out << "    " << Printable(obx.valueType) << " " << obx.code << " " << Quoted(obx.label) << " = "
            << Quoted(obx.valueText) << " -> " << Number(obx.value) << " unit " << Quoted(obx.unit);
        if (obx.aperiodic) {
            out << " aperiodic at ";
            if (obx.time)
                out << FormatIsoSeconds(*obx.time) << SentNote(obx.timeText);
            else
                out << "unreadable " << Quoted(obx.timeText) << " (the time of receipt is taken)";
        }
        if (obx.valueType != "NM") out << " (not used: value type is not NM)";
        out << "\n";
    }
    return out.str();
}

}  // namespace halcyra
