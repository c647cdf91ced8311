// Two instances chained on loopback: the central-station simulator feeds instance A, and instance B takes
// A's relayed stream. B builds its own census and writes its own files, on the same interval grid as A.
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kInterval = 10;

int FreePort()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::Any, 0));
    return probe.serverPort();
}

struct TInstance {
    explicit TInstance(fs::path r) : root(std::move(r)) {}
    fs::path root;
    QProcess process;

    fs::path DataFolder() const { return root / "prefix" / "drive_c" / "KVD" / "DATA"; }
    void Write(const std::map<std::string, std::uint32_t>& dwords, const std::map<std::string, std::string>& texts)
    {
        fs::create_directories(root / "registry");
        fs::create_directories(root / "prefix");
        auto registry = TRegistry::InDirectory(root / "registry");
        for (const auto& [name, value] : dwords) registry->CurrentUser().WriteDword(kProgramKey, name, value);
        for (const auto& [name, value] : texts) registry->CurrentUser().WriteString(kProgramKey, name, value);
    }
    void Start(const QProcessEnvironment& base, int centralStationPort = 0)
    {
        QProcessEnvironment env = base;
        env.insert("HALCYRA_REGISTRY", QString::fromStdString((root / "registry").string()));
        env.insert("HALCYRA_PREFIX", QString::fromStdString((root / "prefix").string()));
        process.setProcessEnvironment(env);
        QStringList arguments{"--service", "NOVELGARD"};
        if (centralStationPort != 0) arguments << "--cs-port" << QString::number(centralStationPort);
        process.start(HALCYRA_EXE, arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    std::string Stop()
    {
        if (process.state() == QProcess::NotRunning) return process.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0);
        return process.readAllStandardError().toStdString();
    }
};

// The value points of a monitor-data file: time -> the "series,unit" written at that time.
std::map<std::string, std::set<std::string>> ValuePoints(const fs::path& file)
{
    QProcess dump;
    dump.start(HALCYRA_PIL_EXE, {"dump", QString::fromStdString(file.string()), "--csv"});
    std::map<std::string, std::set<std::string>> points;
    if (!dump.waitForFinished(30000) || dump.exitCode() != 0) return points;
    std::istringstream in(dump.readAllStandardOutput().toStdString());
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        if (fields.size() == 5 && fields[4] == "value") points[fields[2]].insert(fields[0] + "," + fields[1]);
    }
    return points;
}

std::vector<std::string> Patients(const fs::path& dataFolder)
{
    std::vector<std::string> ids;
    if (!fs::exists(dataFolder)) return ids;
    for (const auto& entry : fs::directory_iterator(dataFolder))
        if (fs::exists(entry.path() / "Halcyra.pil")) ids.push_back(entry.path().filename().string());
    std::sort(ids.begin(), ids.end());
    return ids;
}

TEST(RelayChain, TheRelayClientWritesItsOwnFilesFromTheRelayedStream)
{
    test::TTempDir dir;
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    QProcess sim;
    sim.start(CS_SIM_EXE, {"--port", "0", "--beds", "2", "--rate", "1", "--aperiodic-every", "0"});
    ASSERT_TRUE(sim.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.canReadLine(); }, 10000));
    const int simPort = sim.readLine().trimmed().toInt();
    ASSERT_GT(simPort, 0);

    const int relayPort = FreePort();
    const std::map<std::string, std::uint32_t> common = {{"AutoStart", 1},
                                                         {"AutoCreate", 1},
                                                         {"Interval", kInterval},
                                                         {"ClientSocketPort", static_cast<std::uint32_t>(relayPort)}};
    // B asks for A's port too, to show that a second instance on one machine does not take it.
    const std::map<std::string, std::string> texts = {{"IPString", "127.0.0.1"}, {"RelayAllowedClients", "127.0.0.1"}};
    TInstance a(dir / "a");
    a.Write(common, texts);
    a.Write({{"IsAddress", 1}, {"DataSourceIsCentralStation", 1}}, {});
    TInstance b(dir / "b");
    b.Write(common, texts);
    b.Write({{"IsAddress", 1}, {"DataSourceIsCentralStation", 0}}, {});

    a.Start(env, simPort);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Patients(a.DataFolder()).size() == 2; }, 60000)) << a.Stop();
    b.Start(env);
    // Three whole intervals written by B.
    const auto bIntervals = [&] {
        const std::vector<std::string> ids = Patients(b.DataFolder());
        std::size_t fewest = ids.size() == 2 ? SIZE_MAX : 0;
        for (const std::string& id : ids)
            fewest = std::min(fewest, ValuePoints(b.DataFolder() / id / "Halcyra.pil").size());
        return fewest;
    };
    const bool written = QTest::qWaitFor([&] { return bIntervals() >= 3; }, 90000);
    const std::string bLog = b.Stop();
    // A's timer runs out of step with B's: let A reach the last interval B wrote before it stops too.
    const auto aCaughtUp = [&] {
        for (const std::string& id : Patients(b.DataFolder())) {
            const auto inB = ValuePoints(b.DataFolder() / id / "Halcyra.pil");
            if (!inB.empty() && !ValuePoints(a.DataFolder() / id / "Halcyra.pil").count(inB.rbegin()->first))
                return false;
        }
        return true;
    };
    EXPECT_TRUE(QTest::qWaitFor(aCaughtUp, 3 * kInterval * 1000));
    const std::string aLog = a.Stop();
    sim.terminate();
    sim.waitForFinished(10000);
    ASSERT_TRUE(written) << "A:\n" << aLog << "\nB:\n" << bLog;

    const std::vector<std::string> ids = Patients(b.DataFolder());
    ASSERT_EQ(ids, Patients(a.DataFolder())) << bLog;
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        const auto inA = ValuePoints(a.DataFolder() / id / "Halcyra.pil");
        const auto inB = ValuePoints(b.DataFolder() / id / "Halcyra.pil");
        ASSERT_GE(inB.size(), 3u);
        // Every interval from B's first to its last, each with the parameters A wrote at that grid time.
        for (const auto& [time, series] : inB) {
            ASSERT_TRUE(inA.count(time)) << time;
            EXPECT_EQ(series, inA.at(time)) << time;
        }
        std::size_t aInBRange = 0;
        for (const auto& [time, series] : inA)
            if (time >= inB.begin()->first && time <= inB.rbegin()->first) ++aInBRange;
        EXPECT_EQ(aInBRange, inB.size());
    }
    // B did not take A's relay port, and said so.
    EXPECT_NE(bLog.find("Relay server cannot listen on port " + std::to_string(relayPort)), std::string::npos) << bLog;
}

}  // namespace
}  // namespace halcyra
