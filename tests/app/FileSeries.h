// A patient's monitor-data file read back whole with halcyra-pil (HALCYRA_PIL_EXE), for the tests that run the
// program as a process: the file must pass halcyra-pil's check, and its points come by series in file order.
#pragma once

#include "platform/DateTime.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace halcyra::test {

struct TFilePoint {
    std::int64_t second = 0;  // LocalSeconds of its time
    double value = 0;
    bool delimiter = false;
};

// Whole seconds on the local clock (since the TDateTime epoch) of an ISO local time; a fraction is ignored.
inline std::int64_t LocalSeconds(const std::string& isoText)
{
    TDateTime time = 0;
    EXPECT_TRUE(ParseIsoDateTime(isoText.substr(0, 19), time)) << isoText;
    return std::llround(time * 86400.0);
}

inline std::map<std::string, std::vector<TFilePoint>> ReadFileSeries(const std::filesystem::path& file)
{
    const QString path = QString::fromStdString(file.string());
    QProcess check;
    check.start(HALCYRA_PIL_EXE, {"check", path});
    EXPECT_TRUE(check.waitForFinished(60000));
    EXPECT_EQ(check.readAllStandardOutput().toStdString(), file.string() + ": sound\n");
    QProcess dump;
    dump.start(HALCYRA_PIL_EXE, {"dump", path, "--csv"});
    EXPECT_TRUE(dump.waitForFinished(60000));
    std::map<std::string, std::vector<TFilePoint>> series;
    const QList<QByteArray> lines = dump.readAllStandardOutput().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].split(',');  // series,unit,time,value,kind
        if (cells.size() != 5) continue;
        series[cells[0].toStdString()].push_back(
            {LocalSeconds(cells[2].toStdString()), cells[3].toDouble(), cells[4] == "delimiter"});
    }
    return series;
}

}  // namespace halcyra::test
