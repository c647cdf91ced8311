// Cost of one message for a registered patient: opening the patient's monitor-data file and appending
// one value, for a short and a week-long file. The open reads only the file's header region, and not
// even that while the file is unchanged, so the two should cost the same.
#include "app/DataManagerNotices.h"
#include "patients/PatientMonitorFile.h"
#include "savefile/SaveFileIds.h"
#include "savefile/Streams.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace {

using namespace halcyra;

constexpr const char* kPatientId = "1234567890";
constexpr const char* kPatientName = "Ann Lee";

// One drive prefix for the whole run, on the file system of $TMPDIR (default /tmp).
const std::filesystem::path& Prefix()
{
    struct TPrefix {
        std::filesystem::path path;
        TPrefix()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-patient-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) std::abort();
            path = pattern;
        }
        ~TPrefix()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static TPrefix prefix;
    return prefix.path;
}

// Everything a message's write needs, with the patient's file already holding `points` values of HR.
struct TPatientSetup {
    TDriveMapping drives{Prefix()};
    TFileSystem files{drives};
    std::unique_ptr<TRegistry> registry;
    std::unique_ptr<TSettingsStore> settings;
    std::unique_ptr<TParameterModel> params;
    TSystemClock clock;
    TDataManagerLink link{clock};
    TDataManagerNotices notices{link};
    std::shared_ptr<ISaveFileIo> io = std::make_shared<TPosixSaveFileIo>();
    TSaveItNew writer{io};
    std::string folder;

    explicit TPatientSetup(int points)
        : registry(TRegistry::InDirectory(Prefix() / ("registry" + std::to_string(points)))),
          settings(std::make_unique<TSettingsStore>(*registry)),
          params(std::make_unique<TParameterModel>(*settings)),
          folder("C:\\KVD\\DATA\\P" + std::to_string(points) + "\\")
    {
        std::filesystem::create_directories(files.HostPath(folder));
        TPatientMonitorFile first(files, io, *params, notices);
        first.OpenPatientMonitorFile(writer, folder, kPatientId, kPatientName);
        first.AppendValue("HR", "", "", "bpm", 45000.0, 60.0, TValueTiming::Grid);
        // The rest of the points as the writer lays them out, in one go.
        std::string records(static_cast<std::size_t>(points - 1) * item::kPointRecordSize, '\0');
        auto* p = reinterpret_cast<unsigned char*>(records.data());
        for (int i = 1; i < points; ++i, p += item::kPointRecordSize) {
            StoreU32(p, item::kValuePoint);
            StoreU32(p + 4, item::kPointPayloadSize);
            StoreU16(p + item::kPointIndexOffset, 0);
            StoreF64(p + item::kPointTimeOffset, 45000.0 + i / 8640.0);
            StoreF64(p + item::kPointValueOffset, 60.0 + i % 40);
        }
        std::ofstream(files.HostPath(folder + "Halcyra.pil"), std::ios::binary | std::ios::app) << records;
    }
};

// The time of the next value: every run of every benchmark here appends to the same series, which takes no
// value earlier than its latest, so the times go on rising across them all.
double NextTime()
{
    static double time = 46000.0;
    return time += 1.0 / 8640.0;
}

TPatientSetup& Setup(int points)
{
    static std::map<int, std::unique_ptr<TPatientSetup>> setups;
    auto& setup = setups[points];
    if (!setup) setup = std::make_unique<TPatientSetup>(points);
    return *setup;
}

// The steady state: the file's header was read by an earlier message.
void BM_OpenAndAppend(benchmark::State& state)
{
    TPatientSetup& s = Setup(static_cast<int>(state.range(0)));
    TPatientMonitorFile monitorFile(s.files, s.io, *s.params, s.notices);
    for (auto _ : state) {
        monitorFile.OpenPatientMonitorFile(s.writer, s.folder, kPatientId, kPatientName);
        monitorFile.AppendValue("HR", "", "", "bpm", NextTime(), 72.0, TValueTiming::Grid);
    }
    if (!monitorFile.IsOpen()) state.SkipWithError("the patient's file did not open");
}
BENCHMARK(BM_OpenAndAppend)->Arg(1000)->Arg(1000000);

// Whoever hears of the points relies on them after a power loss: each append is followed by fdatasync, as
// with a live data-manager link. Against BM_OpenAndAppend it gives what the sync costs a patient's message.
class TDurableNotices final : public IPointNotices {
public:
    bool PointsMustBeDurable() const override { return true; }
    void ValuePointWritten(std::string_view, std::string_view, std::string_view, TDateTime, double) override {}
};

void BM_OpenAndAppendDurable(benchmark::State& state)
{
    TPatientSetup& s = Setup(static_cast<int>(state.range(0)));
    TDurableNotices durable;
    TPatientMonitorFile monitorFile(s.files, s.io, *s.params, durable);
    for (auto _ : state) {
        monitorFile.OpenPatientMonitorFile(s.writer, s.folder, kPatientId, kPatientName);
        monitorFile.AppendValue("HR", "", "", "bpm", NextTime(), 72.0, TValueTiming::Grid);
    }
    if (!monitorFile.IsOpen()) state.SkipWithError("the patient's file did not open");
}
BENCHMARK(BM_OpenAndAppendDurable)->Arg(1000);

// The first message after the file changed elsewhere: the header region is read again.
void BM_OpenAndAppendReadingTheHeader(benchmark::State& state)
{
    TPatientSetup& s = Setup(static_cast<int>(state.range(0)));
    bool open = true;
    for (auto _ : state) {
        TPatientMonitorFile monitorFile(s.files, s.io, *s.params, s.notices);
        monitorFile.OpenPatientMonitorFile(s.writer, s.folder, kPatientId, kPatientName);
        monitorFile.AppendValue("HR", "", "", "bpm", NextTime(), 72.0, TValueTiming::Grid);
        open = open && monitorFile.IsOpen();
    }
    if (!open) state.SkipWithError("the patient's file did not open");
}
BENCHMARK(BM_OpenAndAppendReadingTheHeader)->Arg(1000)->Arg(1000000);

}  // namespace
