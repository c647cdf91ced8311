// One hour of a 64-bed central station (one message per bed per second, 12 observations each) through the
// run's engine as the program builds it (headless, as the service runs it): the cycle's ticks and the
// handling of every message, on a fresh registry, with every bed ticked and registered, a 10-second interval
// and no data manager. Variants of the same run take parts away, so their differences give the share of each
// part:
//   0 building the messages only (the baseline every variant pays),
//   1 connected, no patient in the data area: decoding and census,
//   2 connected, every patient registered but not collecting: adds opening the patient's file,
//   3 collecting: adds appending the values,
//   4 the census operations of each message alone, on the census the full run builds,
//   5 the grammar's decoding of each message alone (what the program takes from it).
// The machine is shared, so the figures are process CPU time.
#include "app/RunEngine.h"
#include "hl7/MessageSummary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace halcyra;

constexpr int kBeds = 64;
constexpr int kSeconds = 3600;

struct TOpenSocket final : IClientSocket {
    bool IsOpen() const override { return true; }
    void Close() override {}
};

// A fresh prefix and registry per run, removed afterwards.
struct TTempPrefix {
    std::filesystem::path path;
    TTempPrefix()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-collect-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~TTempPrefix()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

const char* const kObservations[12][3] = {
    {"0002-4182", "HR", "bpm"},     {"0002-4BB8", "SpO2", "%"},    {"0002-5012", "RR", "rpm"},
    {"0002-4A05", "NBPs", "mmHg"},  {"0002-4A06", "NBPd", "mmHg"}, {"0002-4A07", "NBPm", "mmHg"},
    {"0002-4B60", "Tskin", "Cel"},  {"150456", "SpO2r", "%"},      {"0002-4822", "PR", "bpm"},
    {"0002-5000", "etCO2", "mmHg"}, {"0002-4A15", "ABPs", "mmHg"}, {"0002-4A16", "ABPd", "mmHg"},
};

std::string Stamp(int second)
{
    char text[32];
    std::snprintf(text, sizeof text, "20240506%02d%02d%02d", 10 + second / 3600, second / 60 % 60, second % 60);
    return text;
}

void BuildMessage(TSegmentList& segments, int bed, int second)
{
    const std::string time = Stamp(second);
    const std::string id = std::to_string(2000000 + bed);
    segments.clear();
    segments.push_back("MSH|^~\\&|CS|WARD|||" + time + "||ORU^R01|" + std::to_string(second) + "|P|2.3");
    segments.push_back("PID|1||" + id + "^^^^MR||Bed" + std::to_string(bed) + "^Pat");
    segments.push_back("PV1|1|I|ICU^" + std::to_string(bed));
    segments.push_back("OBR|1|||MON|||" + time);
    for (int k = 0; k < 12; ++k)
        segments.push_back("OBX|" + std::to_string(k + 1) + "|NM|" + kObservations[k][0] + "^" + kObservations[k][1] +
                           "^MDIL||" + std::to_string(50 + (bed + second + k) % 50) + "." +
                           std::to_string(second % 10) + "|" + kObservations[k][2] + "|||||F");
}

struct TEngine {
    TTempPrefix prefix;
    TDriveMapping drives{prefix.path / "prefix"};
    TFileSystem files{drives};
    TManualClock clock{EncodeDateTime(2024, 5, 6, 9, 59, 59)};
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(prefix.path / "registry");
    TRunEngine run{Environment()};
    TMessageHandler& handler = run.Messages();
    TCollectionCycle& cycle = run.Cycle();
    TCensus& census = run.Census();

    TEngine()
    {
        TSettingsStore& settings = run.Settings();
        settings.WriteRegBool("DataSourceIsCentralStation", true);
        // A fresh registry, as a first run has it: each parameter's unit is stored by its first observation.
        run.StartUp();
        run.Show();
        run.Params().SetAutomatic(true);
        cycle.SetStatus(csConnected);
    }

    TEngineEnvironment Environment()
    {
        TEngineEnvironment env;
        env.clock = &clock;
        env.registry = registry.get();
        env.files = &files;
        env.centralStationSocket = [] { return std::make_unique<TOpenSocket>(); };
        // No data manager: the link is off.
        env.arguments = {"NOVELGARD"};
        return env;
    }

    void Register(int bed)
    {
        const std::string id = std::to_string(2000000 + bed) + "MR";
        run.PatientFile().CreatePatient(id, "Pat", "Bed" + std::to_string(bed),
                                        run.PatientFolders().PatientFolderFor(id));
    }
};

void RunHour(benchmark::State& state, int variant)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto engine = std::make_unique<TEngine>();
        if (variant == 2)
            for (int bed = 0; bed < kBeds; ++bed) engine->Register(bed);
        if (variant == 3) {
            engine->handler.Settings().autoCreate = true;
            engine->cycle.Start();
        }
        TSegmentList segments;
        state.ResumeTiming();
        for (int second = 0; second < kSeconds; ++second) {
            const TDateTime now = EncodeDateTime(2024, 5, 6, 10, 0, 0) + second * kOneSecond;
            if (variant != 0 && variant != 5) {
                engine->clock.Set(now);
                engine->cycle.Tick();
            }
            for (int bed = 0; bed < kBeds; ++bed) {
                BuildMessage(segments, bed, second);
                if (variant == 0) {
                    benchmark::DoNotOptimize(segments.data());
                    continue;
                }
                if (variant == 5) {
                    benchmark::DoNotOptimize(SummarizeMessage(segments));
                    continue;
                }
                engine->cycle.CompleteMessageReceived();
                engine->handler.DecodeMessage(segments);
            }
        }
        state.PauseTiming();
        const std::int64_t written = engine->handler.ValuesWritten();
        engine.reset();
        state.ResumeTiming();
        if (variant == 3 && written != static_cast<std::int64_t>(kBeds) * (kSeconds / 10) * 12) {
            state.SkipWithError(("values written: " + std::to_string(written)).c_str());
            break;
        }
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(kBeds) * kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

// The census work of each message (selection, look-up, enabling, tick) on a census of the 64 beds.
void CensusOnly(benchmark::State& state)
{
    TEngine engine;
    std::string ids[kBeds];
    for (int bed = 0; bed < kBeds; ++bed) {
        ids[bed] = std::to_string(2000000 + bed) + "MR";
        TPatient patient;
        patient.PatientID = ids[bed];
        patient.FirstName = "Pat";
        patient.LastName = "Bed" + std::to_string(bed);
        engine.census.SetTicked(engine.census.AddRow(ids[bed] + ", Pat Bed" + std::to_string(bed), patient), true);
    }
    for (auto _ : state) {
        for (int second = 0; second < kSeconds; ++second)
            for (int bed = 0; bed < kBeds; ++bed) {
                benchmark::DoNotOptimize(engine.census.SelectedPatientID());
                bool differ = false;
                const int found = engine.census.FindPatient(ids[bed], "Pat", "Bed", differ);
                benchmark::DoNotOptimize(found);
                const int row = engine.census.FindRow(ids[bed]);
                engine.census.SetEnabled(row, true);
                benchmark::DoNotOptimize(engine.census.IsTicked(row));
            }
    }
    state.counters["messages/s"] =
        benchmark::Counter(static_cast<double>(kBeds) * kSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK_CAPTURE(RunHour, 0_BuildingMessagesOnly, 0)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(RunHour, 1_NobodyRegistered, 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(RunHour, 2_RegisteredNotCollecting, 2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(RunHour, 3_Collecting, 3)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK(CensusOnly)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(RunHour, 5_DecodingOnly, 5)->Unit(benchmark::kMillisecond)->Iterations(1)->MeasureProcessCPUTime();

}  // namespace
