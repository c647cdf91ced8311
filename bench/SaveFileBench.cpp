// Costs of the monitor-data file: appends against the bare write they consist of (also taking turns
// between files, and the first append to a long file), the header-region read against file length, and
// declarations in place and with growth.
#include "savefile/MemorySaveFileIo.h"
#include "savefile/SaveFileIds.h"
#include "savefile/SaveITNew.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace halcyra;

// One folder for the whole run, on the file system of $TMPDIR (default /tmp).
const std::filesystem::path& Folder()
{
    struct TFolder {
        std::filesystem::path path;
        TFolder()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()) == nullptr) std::abort();
            path = pattern;
        }
        ~TFolder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    };
    static TFolder folder;
    return folder.path;
}

std::string Points(int count)
{
    TMemoryStream out;
    for (int i = 0; i < count; ++i) {
        WriteI32(out, item::kValuePoint);
        WriteI32(out, item::kPointPayloadSize);
        WriteU16(out, static_cast<std::uint16_t>(i % 4));
        WriteF64(out, 45000.0 + i / 8640.0);
        WriteF64(out, 60.0 + i % 40);
    }
    return out.TakeBytes();
}

// A monitor-data file with four series and the given points; `reserve` bytes left for declarations.
std::string MonitorFile(int points, std::int32_t reserve)
{
    auto io = std::make_shared<TMemorySaveFileIo>();
    TSaveItNew saveIt(io);
    saveIt.SetFileName("m.pil");
    saveIt.SetMinimumReservedSpaceForMonitorParameters(4 * 85 + reserve);
    saveIt.OpenOrCreate("Halcyra", "", "123456", "Ann Smith", false);
    for (std::uint16_t i = 0; i < 4; ++i) saveIt.AddParameterSerie(i, "P" + std::to_string(i), "", "", "", "bpm");
    return io->Files["m.pil"] + Points(points);
}

void Store(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

void BM_BareWrite26(benchmark::State& state)
{
    const auto file = Folder() / "bare.pil";
    Store(file, MonitorFile(0, 500));
    const std::string record(item::kPointRecordSize, '\x01');
    for (auto _ : state) {
        const int fd = ::open(file.c_str(), O_WRONLY);
        ::lseek(fd, 0, SEEK_END);
        benchmark::DoNotOptimize(::write(fd, record.data(), record.size()));
        ::close(fd);
    }
}
BENCHMARK(BM_BareWrite26);

void BM_AddValuePoint(benchmark::State& state)
{
    const auto file = Folder() / "append.pil";
    Store(file, MonitorFile(0, 500));
    TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
    saveIt.SetFileName(file);
    double time = 45000.0;
    for (auto _ : state) {
        if (!saveIt.AddValuePoint(1, time, 72.0)) state.SkipWithError("append failed");
        time += 1.0 / 8640.0;
    }
}
BENCHMARK(BM_AddValuePoint);

// Appends taking turns between the files of several patients, each with 100,000 points, as one
// component serves every patient: each file is read to find its whole records only at its first append.
void BM_AddValuePointTakingTurns(benchmark::State& state)
{
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < 4; ++i) {
        files.push_back(Folder() / ("turns" + std::to_string(i) + ".pil"));
        Store(files.back(), MonitorFile(100000, 500));
    }
    TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
    for (const auto& file : files) {
        saveIt.SetFileName(file);
        saveIt.AddValuePoint(1, 45000.0, 72.0);
    }
    double time = 45000.0;
    std::size_t next = 0;
    for (auto _ : state) {
        saveIt.SetFileName(files[next++ % files.size()]);
        if (!saveIt.AddValuePoint(1, time, 72.0)) state.SkipWithError("append failed");
        time += 1.0 / 8640.0;
    }
}
BENCHMARK(BM_AddValuePointTakingTurns);

// The first append of a run to a file of N points reads its records once to find where they end whole.
void BM_FirstAppend(benchmark::State& state)
{
    const auto file = Folder() / "first.pil";
    Store(file, MonitorFile(static_cast<int>(state.range(0)), 500));
    double time = 45000.0;
    for (auto _ : state) {
        TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
        saveIt.SetFileName(file);
        if (!saveIt.AddValuePoint(1, time, 72.0)) state.SkipWithError("append failed");
        time += 1.0 / 8640.0;
    }
}
BENCHMARK(BM_FirstAppend)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_ReadHeaderRegion(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const auto file = Folder() / ("header-" + std::to_string(points) + ".pil");
    Store(file, MonitorFile(points, 500));
    TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
    saveIt.SetFileName(file);
    for (auto _ : state) {
        saveIt.ReadHeaderRegion();
        if (saveIt.ParameterSeries().size() != 4) state.SkipWithError("series missing");
    }
}
BENCHMARK(BM_ReadHeaderRegion)->Arg(1000)->Arg(1000000);

// Whole-file reading, for scale: what the header-region read avoids.
void BM_ReloadStructure(benchmark::State& state)
{
    const int points = static_cast<int>(state.range(0));
    const auto file = Folder() / ("reload-" + std::to_string(points) + ".pil");
    Store(file, MonitorFile(points, 500));
    TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
    saveIt.SetFileName(file);
    for (auto _ : state) {
        saveIt.DropFileCache();
        saveIt.ReloadStructure();
    }
}
BENCHMARK(BM_ReloadStructure)->Arg(1000)->Unit(benchmark::kMicrosecond);

void Declare(benchmark::State& state, std::int32_t reserve)
{
    const auto file = Folder() / "declare.pil";
    const std::string original = MonitorFile(1000, reserve);
    TSaveItNew saveIt{std::make_shared<TPosixSaveFileIo>()};
    saveIt.SetFileName(file);
    for (auto _ : state) {
        state.PauseTiming();
        Store(file, original);
        state.ResumeTiming();
        saveIt.AddParameterSerie(4, "HR", "", "", "", "bpm");
    }
}

void BM_AddParameterSerieInPlace(benchmark::State& state)
{
    Declare(state, 500);
}
BENCHMARK(BM_AddParameterSerieInPlace)->Unit(benchmark::kMicrosecond);

void BM_AddParameterSerieGrowing(benchmark::State& state)
{
    Declare(state, 10);
}
BENCHMARK(BM_AddParameterSerieGrowing)->Unit(benchmark::kMicrosecond);

}  // namespace
