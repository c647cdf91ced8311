// A station that invents labels against one with a fixed set: 1,500 messages of one collecting bed, one a
// second, 20 observations each, through the run's engine as the program builds it (headless, fresh registry,
// no data manager). With fixed labels each message brings the same 20 parameters; with invented labels
// every observation brings a parameter never seen before. Both runs are timed in the same process, one after
// the other, and the counters give their wall and CPU times and the ratios invented/fixed (late_ratio: of the
// second half of the messages alone): the cost of a message must not grow with the number of labels seen.
#include "app/RunEngine.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace halcyra;

constexpr int kMessages = 1500;
constexpr int kLabelsPerMessage = 20;

struct TOpenSocket final : IClientSocket {
    bool IsOpen() const override { return true; }
    void Close() override {}
};

struct TTempPrefix {
    std::filesystem::path path;
    TTempPrefix()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-param-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path = pattern;
    }
    ~TTempPrefix()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

struct TEngine {
    TTempPrefix prefix;
    TDriveMapping drives{prefix.path / "prefix"};
    TFileSystem files{drives};
    TManualClock clock{EncodeDateTime(2024, 5, 6, 9, 59, 59)};
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(prefix.path / "registry");
    TRunEngine run{Environment()};

    explicit TEngine(bool collecting)
    {
        run.Settings().WriteRegBool("DataSourceIsCentralStation", true);
        run.StartUp();
        run.Show();
        run.Params().SetAutomatic(true);
        run.Messages().Settings().autoCreate = true;
        run.Cycle().SetStatus(csConnected);
        if (collecting) run.Cycle().Start();
    }

    TEngineEnvironment Environment()
    {
        TEngineEnvironment env;
        env.clock = &clock;
        env.registry = registry.get();
        env.files = &files;
        env.centralStationSocket = [] { return std::make_unique<TOpenSocket>(); };
        env.arguments = {"NOVELGARD"};
        return env;
    }
};

void BuildMessage(TSegmentList& segments, int message, bool invented)
{
    const TDateTime time = EncodeDateTime(2024, 5, 6, 10, 0, 0) + message * kOneSecond;
    const std::string stamp = FormatDateTime("yyyymmddhhnnss", time);
    segments.clear();
    segments.push_back("MSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|" + std::to_string(message) + "|P|2.3");
    segments.push_back("PID|1||2000001^^^^MR||Bed1^Pat");
    segments.push_back("OBR|1|||MON|||" + stamp);
    for (int k = 0; k < kLabelsPerMessage; ++k) {
        const int code = invented ? 100000 + message * kLabelsPerMessage + k : 100000 + k;
        segments.push_back("OBX|" + std::to_string(k + 1) + "|NM|" + std::to_string(code) + "^P" +
                           std::to_string(code) + "^MDIL||" + std::to_string(50 + (message + k) % 50) + "|u" +
                           std::to_string(code) + "|||||F");
    }
}

struct TTimes {
    double wall = 0;
    double cpu = 0;
    double lateWall = 0;  // of the second half of the messages
};

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Wall and CPU seconds of the run's messages: the hive and file rewrites wait on the disk, so both count.
TTimes RunMessages(bool invented, bool collecting)
{
    TEngine engine(collecting);
    TSegmentList segments;
    const double cpuStart = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    auto half = start;
    for (int message = 0; message < kMessages; ++message) {
        if (message == kMessages / 2) half = std::chrono::steady_clock::now();
        engine.clock.Set(EncodeDateTime(2024, 5, 6, 10, 0, 0) + message * kOneSecond);
        engine.run.Cycle().Tick();
        BuildMessage(segments, message, invented);
        engine.run.Cycle().CompleteMessageReceived();
        engine.run.Messages().DecodeMessage(segments);
    }
    const auto end = std::chrono::steady_clock::now();
    return {std::chrono::duration<double>(end - start).count(), ProcessCpuSeconds() - cpuStart,
            std::chrono::duration<double>(end - half).count()};
}

// Argument 0: connected, the patient not collected (the parameter table and the hive only); 1: collecting,
// so the values and the new series also go to the patient's file.
void InventedAgainstFixedLabels(benchmark::State& state)
{
    const bool collecting = state.range(0) != 0;
    TTimes fixed;
    TTimes invented;
    for (auto _ : state) {
        const TTimes f = RunMessages(false, collecting);
        const TTimes i = RunMessages(true, collecting);
        fixed.wall += f.wall;
        fixed.cpu += f.cpu;
        invented.wall += i.wall;
        invented.cpu += i.cpu;
        fixed.lateWall += f.lateWall;
        invented.lateWall += i.lateWall;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["fixed_ms"] = fixed.wall / runs * 1000;
    state.counters["invented_ms"] = invented.wall / runs * 1000;
    state.counters["ratio"] = invented.wall / fixed.wall;
    state.counters["fixed_cpu_ms"] = fixed.cpu / runs * 1000;
    state.counters["invented_cpu_ms"] = invented.cpu / runs * 1000;
    state.counters["cpu_ratio"] = invented.cpu / fixed.cpu;
    // Whether a message costs more the more labels were seen: the second half against the same of fixed.
    state.counters["late_ratio"] = invented.lateWall / fixed.lateWall;
}

BENCHMARK(InventedAgainstFixedLabels)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
