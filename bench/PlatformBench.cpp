// Costs of the platform stand-ins on the program's hot paths: a settings read (a stat per call, the file
// parsed only when it changed), a settings write (locked, flushed, renamed; nothing when the value is
// stored already), the first read of large hives, and mapping a Windows path
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

// A write of the value already stored: no lock, no rewrite; against BM_RegistryWrite.
void BM_RegistryWriteSameValue(benchmark::State& state)
{
    TScratch scratch;
    halcyra::TRegistryHive hive(scratch.dir / "HKEY_CURRENT_USER.reg", halcyra::THive::CurrentUser);
    Fill(hive);
    for (auto _ : state) hive.WriteDword(kKey, "Interval", 10);
}
BENCHMARK(BM_RegistryWriteSameValue);

// First read of a hive file holding N values in one key, or N keys under one key: the cost should
// grow with N, not with its square.
void HiveFirstRead(benchmark::State& state, bool keys)
{
    TScratch scratch;
    const fs::path file = scratch.dir / "HKEY_CURRENT_USER.reg";
    const auto n = static_cast<int>(state.range(0));
    {
        std::ofstream out(file);
        out << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Big]\n";
        for (int i = 0; i < n; ++i) {
            if (keys)
                out << "\n[HKEY_CURRENT_USER\\Big\\K" << i << "]\n";
            else
                out << "\"V" << i << "\"=dword:00000001\n";
        }
    }
    for (auto _ : state) {
        halcyra::TRegistryHive hive(file, halcyra::THive::CurrentUser);
        benchmark::DoNotOptimize(hive.KeyExists("Big"));
    }
    state.SetComplexityN(n);
}
void BM_HiveReadValuesInOneKey(benchmark::State& state)
{
    HiveFirstRead(state, false);
}
void BM_HiveReadKeysUnderOneKey(benchmark::State& state)
{
    HiveFirstRead(state, true);
}
BENCHMARK(BM_HiveReadValuesInOneKey)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HiveReadKeysUnderOneKey)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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
