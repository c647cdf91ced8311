// Costs of the platform stand-ins on the program's hot paths: a settings read (a stat per call, the file
// parsed only when it changed), a settings write (locked, flushed, renamed), and mapping a Windows path
// whose components exist in their spelling, in another letter case, or not at all in a large folder.
#include "platform/FileSystem.h"
#include "platform/Registry.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct TScratch {
    fs::path dir;
    TScratch()
    {
        std::string pattern = (fs::temp_directory_path() / "halcyra-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
    }
    ~TScratch()
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
};

constexpr const char* kKey = "\\SOFTWARE\\Tovarin\\Quarzel\\External Collect\\1.0\\Halcyra";

// A hive as the program keeps it: some settings and a census of 100 patients.
void Fill(halcyra::TRegistryHive& hive)
{
    hive.WriteDword(kKey, "Interval", 10);
    for (int i = 1; i <= 100; ++i) hive.WriteString(kKey, "Patient" + std::to_string(i), "ID" + std::to_string(i));
}

void BM_RegistryReadCached(benchmark::State& state)
{
    TScratch scratch;
    halcyra::TRegistryHive hive(scratch.dir / "HKEY_CURRENT_USER.reg", halcyra::THive::CurrentUser);
    Fill(hive);
    for (auto _ : state) benchmark::DoNotOptimize(hive.ReadDword(kKey, "Interval"));
}
BENCHMARK(BM_RegistryReadCached);

void BM_RegistryReadAfterOtherWriter(benchmark::State& state)
{
    TScratch scratch;
    halcyra::TRegistryHive hive(scratch.dir / "HKEY_CURRENT_USER.reg", halcyra::THive::CurrentUser);
    halcyra::TRegistryHive other(scratch.dir / "HKEY_CURRENT_USER.reg", halcyra::THive::CurrentUser);
    Fill(hive);
    std::uint32_t n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        other.WriteDword(kKey, "Interval", ++n);
        state.ResumeTiming();
        benchmark::DoNotOptimize(hive.ReadDword(kKey, "Interval"));
    }
}
BENCHMARK(BM_RegistryReadAfterOtherWriter);

void BM_RegistryWrite(benchmark::State& state)
{
    TScratch scratch;
    halcyra::TRegistryHive hive(scratch.dir / "HKEY_CURRENT_USER.reg", halcyra::THive::CurrentUser);
    Fill(hive);
    std::uint32_t n = 0;
    for (auto _ : state) hive.WriteDword(kKey, "Interval", ++n);
}
BENCHMARK(BM_RegistryWrite);

struct TDataArea {
    TScratch scratch;
    halcyra::TDriveMapping drives{scratch.dir};
    TDataArea()
    {
        const fs::path data = scratch.dir / "drive_c" / "KVD" / "DATA";
        for (int i = 0; i < 1000; ++i) fs::create_directories(data / std::to_string(100000 + i));
        std::ofstream(data / "100500" / "Patient") << "x";
    }
};

void BM_MapExistingPath(benchmark::State& state)
{
    TDataArea area;
    for (auto _ : state) benchmark::DoNotOptimize(area.drives.ToHost("C:\\KVD\\DATA\\100500\\Patient"));
}
BENCHMARK(BM_MapExistingPath);

void BM_MapPathInOtherCase(benchmark::State& state)
{
    TDataArea area;
    for (auto _ : state) benchmark::DoNotOptimize(area.drives.ToHost("C:\\kvd\\data\\100500\\patient"));
}
BENCHMARK(BM_MapPathInOtherCase);

void BM_MapMissingEntryOf1000(benchmark::State& state)
{
    TDataArea area;
    for (auto _ : state) benchmark::DoNotOptimize(area.drives.ToHost("C:\\KVD\\DATA\\999999\\Patient"));
}
BENCHMARK(BM_MapMissingEntryOf1000);

}  // namespace
