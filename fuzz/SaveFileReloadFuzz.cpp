// A monitor-data file of arbitrary bytes through every reading operation of TSaveItNew, the check,
// a declaration followed by a fresh read of what it wrote, and an append, which must leave no record
// cut short behind it.
#include "savefile/MemorySaveFileIo.h"
#include "savefile/MonitorCheck.h"
#include "savefile/SaveITNew.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace halcyra;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto io = std::make_shared<TMemorySaveFileIo>();
    const std::filesystem::path file = "/fuzz/Halcyra.pil";
    io->Files[file] = std::string(reinterpret_cast<const char*>(data), size);
    TSaveItNew saveIt(io);
    saveIt.SetFileName(file);
    saveIt.OnShowMessage = [](const std::string&) {};

    const auto attempt = [](auto&& operation) {
        try {
            operation();
        } catch (const std::exception&) {
        }
    };
    attempt([&] { saveIt.ReadHeaderRegion(); });
    attempt([&] { saveIt.ReloadStructure(); });
    attempt([&] { saveIt.OpenOrCreate("Halcyra", "", "1", "N", false); });
    CheckMonitorFile(io->Files[file]);
    attempt([&] {
        saveIt.AddParameterSerie(0, "HR", "", "", "", "bpm");
        saveIt.DropFileCache();
        saveIt.ReloadStructure();
    });
    const TMonitorCheck before = InspectMonitorFile(io->Files[file]);
    if (saveIt.AddValuePoint(0, 1.0, 2.0) && (before.problems.empty() || before.onlyTailCutShort)) {
        for (const std::string& problem : CheckMonitorFile(io->Files[file]))
            if (problem.find("truncated") != std::string::npos) std::abort();
    }
    return 0;
}
