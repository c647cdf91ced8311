// The import in the process, on the engine the program builds: however the capture's pieces fall, the run
// writes the same files.
#include "app/ImportRunner.h"
#include "app/RunEngine.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

std::string Message(const std::string& id, int second, int value, const char* end)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "202405061%03d%02d", second / 60, second % 60);
    const std::string lines[] = {"MSH|^~\\&|CS|WARD|||" + std::string(stamp) + "||ORU^R01|1|P|2.3",
                                 "PID|1||" + id + "||Pat^" + id,
                                 "PV1|1|I|BED",
                                 "OBR|1|||MON|||" + std::string(stamp),
                                 "OBX|1|NM|0002-4182^HR^MDIL||" + std::to_string(value) + "|bpm",
                                 "OBX|2|NM|150456^SpO2^MDIL||" + std::to_string(90 + value % 9) + "|%"};
    std::string m = "\x0B";
    for (const std::string& line : lines) m += line + end;
    return m + "\x1C\x0D";
}

// Every file under the folder, by its path below it.
std::map<std::string, std::string> Files(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files[fs::relative(entry.path(), root).string()] = bytes.str();
    }
    return files;
}

struct TImport {
    TImportSummary summary;
    std::map<std::string, std::string> files;
};

TImport Import(const std::string& capture, std::size_t chunk)
{
    test::TTempDir dir;
    {
        std::ofstream(dir / "capture.hl7", std::ios::binary) << capture;
    }
    auto registry = TRegistry::InDirectory(dir / "registry");
    registry->CurrentUser().WriteDword(kProgramKey, "AutoStart", 1);
    registry->CurrentUser().WriteDword(kProgramKey, "AutoCreate", 1);
    registry->CurrentUser().WriteDword(kProgramKey, "Interval", 10);
    TCaptureFile file(dir / "capture.hl7", chunk);
    EXPECT_TRUE(file.Open()) << file.Error();
    TArrivalScan scan(EncodeDateTime(2026, 1, 2, 3, 4, 5));
    while (file.Next() == TCaptureFile::Message) scan.Add(file.Segments());

    TDriveMapping drives(dir / "prefix");
    TFileSystem files(drives);
    TImportClock clock(TImportRunner::StartUpTime(scan));
    TEngineEnvironment env;
    env.clock = &clock;
    env.registry = registry.get();
    env.files = &files;
    env.centralStationSocket = [] { return std::make_unique<TImportSocket>(); };
    env.arguments = {"NOVELGARD"};
    TImport result;
    {
        TRunEngine engine(env);
        engine.StartUp();
        result.summary = TImportRunner(engine, clock).Run(file, scan);
    }
    result.files = Files(dir / "prefix");
    return result;
}

TEST(ImportRunner, PiecesCutInsideMessagesAndEndMarkersWriteTheSameFiles)
{
    // Three patients for a minute and a half; one sends CR LF, and a frame without a segment end before its
    // end marker is skipped.
    std::string capture = "noise";
    for (int s = 0; s < 90; ++s) {
        capture += Message("A1", s, 60 + s % 7, "\r");
        capture += Message("B2", s, 70 + s % 5, "\r\n");
        if (s % 2 == 0) capture += Message("C3", s, 80 + s % 3, "\r");
    }
    capture += "\x0BMSH|no segment end\x1C\x0D";
    const TImport whole = Import(capture, TCaptureFile::kChunkSize);
    EXPECT_TRUE(whole.summary.complete);
    EXPECT_EQ(whole.summary.messages, 90 * 2 + 45);
    EXPECT_EQ(whole.summary.patients, 3);
    EXPECT_GT(whole.summary.values, 0);
    EXPECT_GE(whole.files.size(), 6u);  // each patient's file and monitor-data file
    for (const std::size_t chunk : {7u, 500u}) {
        SCOPED_TRACE(chunk);
        const TImport pieces = Import(capture, chunk);
        EXPECT_TRUE(pieces.summary.complete);
        EXPECT_EQ(pieces.summary.messages, whole.summary.messages);
        EXPECT_EQ(pieces.summary.values, whole.summary.values);
        EXPECT_EQ(pieces.summary.delimiters, whole.summary.delimiters);
        EXPECT_TRUE(pieces.files == whole.files);
    }
}

}  // namespace
}  // namespace halcyra
