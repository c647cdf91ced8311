// `halcyra --service` on loopback taking messages whose patient name or ID is nearly 1 MiB: the patients are
// listed and written under their cut names and IDs, each cut is logged once, and the service goes on
// collecting and ends normally.
#include "CollectingSettings.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 60000;
// A field as long as fits in one message of at most 1 MiB.
constexpr std::size_t kFieldBytes = 1024 * 1024 - 512;

QString Q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

QByteArray Message(const std::string& id, const std::string& name, int value)
{
    const QByteArray stamp = QDateTime::currentDateTime().toString("yyyyMMddHHmmss").toLatin1();
    QByteArray text = "\x0b";
    text += "MSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|1|P|2.3\r";
    text += "PID|1||" + QByteArray::fromStdString(id) + "||" + QByteArray::fromStdString(name) + "\r";
    text += "OBR|1|||MON|||" + stamp + "\r";
    text += "OBX|1|NM|0002-4182^HR^MDIL||" + QByteArray::number(value) + "|264864^/min^MDIL\r";
    text += "\x1c\r";
    return text;
}

class LargeFieldsEndToEnd : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (service_.state() == QProcess::NotRunning) return;
        service_.kill();
        service_.waitForFinished();
    }

    void Settings()
    {
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
        test::WriteCollectingSettings(dir_ / "registry", static_cast<std::uint32_t>(5));
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        auto& hive = registry.CurrentUser();
        hive.WriteDword(kProgramKey, "EnableLogfile", 1);
    }

    std::string Log() const
    {
        QFile file(Q(dir_ / "prefix" / "drive_c" / "TEMP" / "Halcyra Logfile.txt"));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    std::vector<std::string> LogLinesWith(const std::string& text) const
    {
        std::vector<std::string> lines;
        const QList<QByteArray> all = QByteArray::fromStdString(Log()).split('\n');
        for (const QByteArray& line : all)
            if (line.toStdString().find(text) != std::string::npos) lines.push_back(line.toStdString());
        return lines;
    }

    fs::path File(const std::string& id) const
    {
        return dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / id / "Halcyra.pil";
    }

    // The "series,unit,time,value,kind" lines of a patient's file.
    std::vector<std::string> Points(const std::string& id)
    {
        QProcess dump;
        dump.start(HALCYRA_PIL_EXE, {"dump", Q(File(id)), "--csv"});
        EXPECT_TRUE(dump.waitForFinished(kWaitMs));
        std::vector<std::string> lines;
        const QList<QByteArray> all = dump.readAllStandardOutput().split('\n');
        for (qsizetype i = 1; i < all.size(); ++i)
            if (!all[i].isEmpty()) lines.push_back(all[i].toStdString());
        return lines;
    }

    test::TTempDir dir_;
    QProcess service_;
};

TEST_F(LargeFieldsEndToEnd, AServiceCutsAMegabyteNameAndIdAndGoesOn)
{
    Settings();
    QTcpServer station;
    ASSERT_TRUE(station.listen(QHostAddress::LocalHost));
    service_.start(HALCYRA_EXE, {"--service", "--cs-port", QString::number(station.serverPort()), "--registry",
                                 Q(dir_ / "registry"), "--prefix", Q(dir_ / "prefix"), "NOVELGARD"});
    ASSERT_TRUE(service_.waitForStarted(kWaitMs));
    ASSERT_TRUE(station.waitForNewConnection(kWaitMs));
    std::unique_ptr<QTcpSocket> client(station.nextPendingConnection());
    const auto send = [&](const QByteArray& bytes) {
        client->write(bytes);
        ASSERT_TRUE(client->waitForBytesWritten(kWaitMs));
    };

    // A patient of ordinary size until the service collects.
    int value = 60;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            send(Message("777", "Doe^Jane", value++));
            QTest::qWait(200);
            return !LogLinesWith("Connected and collecting").empty();
        },
        kWaitMs));

    const std::string longName(kFieldBytes, 'N');
    const std::string longId(kFieldBytes, '7');
    send(Message("12345", "Smith^" + longName, 80));
    send(Message(longId, "Lee^Ann", 90));
    // The service goes on: the ordinary patient is written again once the next interval begins.
    const int after = 200;
    value = after;
    // What fits in a folder name beside the digest of the whole ID.
    const std::string cutId = std::string(246, '7') + "~846583c5";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            send(Message("777", "Doe^Jane", value++));
            send(Message("12345", "Smith^" + longName, 81));
            QTest::qWait(500);
            for (const std::string& line : Points("777")) {
                const QList<QByteArray> cells = QByteArray::fromStdString(line).split(',');
                if (cells.size() == 5 && cells[4] == "value" && cells[3].toInt() >= after) return true;
            }
            return false;
        },
        kWaitMs));

    ::kill(static_cast<pid_t>(service_.processId()), SIGTERM);
    ASSERT_TRUE(service_.waitForFinished(kWaitMs));
    EXPECT_EQ(service_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(service_.exitCode(), 0);

    // Each patient's values in the folder of its (cut) ID, the file holding no more than the cut texts.
    for (const auto& [id, first] : {std::pair{std::string("12345"), 80}, std::pair{cutId, 90}}) {
        SCOPED_TRACE(id.substr(0, 10));
        ASSERT_TRUE(fs::exists(File(id)));
        EXPECT_LT(fs::file_size(File(id)), 64u * 1024);
        const std::vector<std::string> points = Points(id);
        ASSERT_FALSE(points.empty());
        EXPECT_EQ(points.front().substr(0, 7), "HR,/min");
        EXPECT_NE(points.front().find("," + std::to_string(first) + ",value"), std::string::npos) << points.front();
    }
    // The census holds both patients cut.
    TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
    std::vector<std::string> census;
    for (const std::string& name : registry.CurrentUser().GetValueNames(kProgramKey))
        if (name.rfind("Patient", 0) == 0) census.push_back(registry.CurrentUser().ReadString(kProgramKey, name));
    ASSERT_EQ(census.size(), 3u);
    bool sawName = false;
    bool sawId = false;
    for (const std::string& stored : census) {
        EXPECT_LT(stored.size(), 1000u);
        sawName = sawName || stored.rfind(std::string(255, 'N') + "^Smith^12345^", 0) == 0;
        sawId = sawId || stored.rfind("Ann^Lee^" + cutId + "^", 0) == 0;
    }
    EXPECT_TRUE(sawName);
    EXPECT_TRUE(sawId);
    // One line for each cut, however many messages carried it.
    const std::vector<std::string> cuts = LogLinesWith(" is cut to ");
    ASSERT_EQ(cuts.size(), 1u) << Log();
    EXPECT_NE(cuts[0].find("Patient 12345: the name of " + std::to_string(kFieldBytes + 6) + " characters"),
              std::string::npos)
        << cuts[0];
    const std::vector<std::string> kept = LogLinesWith(" is kept as ");
    ASSERT_EQ(kept.size(), 1u) << Log();
    EXPECT_NE(kept[0].find("Patient ID of " + std::to_string(kFieldBytes) + " characters (" + std::string(40, '7') +
                           "...) is kept as " + std::string(12, '7') + "..." + cutId.substr(cutId.size() - 21)),
              std::string::npos)
        << kept[0];
}

}  // namespace
}  // namespace halcyra
