// What the stand-in data manager recorded (one JSON object per call, as velgard-standin --output writes
// them), read back for the tests that run the program as a process.
#pragma once

#include "FileSeries.h"

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace halcyra::test {

// One value: a patient's parameter at a time (LocalSeconds).
struct TValue {
    std::string patient;
    std::string label;
    std::int64_t second = 0;
    double value = 0;

    auto Key() const { return std::tie(patient, label, second, value); }
    bool operator<(const TValue& other) const { return Key() < other.Key(); }
    bool operator==(const TValue& other) const { return Key() == other.Key(); }
};

inline std::ostream& operator<<(std::ostream& out, const TValue& v)
{
    return out << v.patient << " " << v.label << " at second " << v.second % 86400 << " = " << v.value;
}

// Every call recorded so far, in order; none when the file is not there yet.
inline std::vector<QJsonObject> ReadStandinCalls(const std::filesystem::path& file)
{
    std::vector<QJsonObject> calls;
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) return calls;
    for (const QByteArray& line : in.readAll().split('\n'))
        if (!line.isEmpty()) calls.push_back(QJsonDocument::fromJson(line).object());
    return calls;
}

// The values the data manager was told of; `delimiters` counts the AddDelimiter calls.
inline std::vector<TValue> CalledValues(const std::vector<QJsonObject>& calls, int* delimiters = nullptr)
{
    std::vector<TValue> values;
    for (const QJsonObject& call : calls) {
        if (delimiters != nullptr && call["method"] == "AddDelimiter") ++*delimiters;
        if (call["method"] != "AddValue") continue;
        values.push_back({call["patientId"].toString().toStdString(), call["label"].toString().toStdString(),
                          LocalSeconds(call["timeText"].toString().toStdString()), call["value"].toDouble()});
    }
    return values;
}

}  // namespace halcyra::test
