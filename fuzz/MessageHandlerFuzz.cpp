// Decoded messages through the message handling of a collecting engine (the cycle with AutoCreate on, a real
// census, patient folders and monitor-data files under a temporary prefix, a manual clock). An input holding
// a start marker is cut into messages by the reader's framer; any other input is one message's text. Every
// message comes one second after the previous one, behind a tick. After each input nothing may have appeared
// outside the data folder (the registry hives aside), and every monitor-data file written must pass the
// structural check.
//
// The engine is built once and rebuilt, in a fresh folder, every kInputsPerEngine inputs: that bounds the
// census, the files, the handler's once-per-patient log sets and the clock's drift from the stamps the seeds
// carry, so an input costs about the same at any point of a run.
#include "EngineFixture.h"
#include "hl7/MessageFramer.h"
#include "savefile/MonitorCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

using namespace halcyra;
namespace fs = std::filesystem;

constexpr int kInputsPerEngine = 500;
constexpr std::string_view kDataFolder = "C:\\KVD\\DATA\\";
// Distinct exception texts printed; the handler may throw on a message it cannot take, which is not a fault.
constexpr std::size_t kExceptionsShown = 20;

// The folder of the run, removed also when a check fails (abort skips the destructors).
fs::path runFolder;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "message_handler: %s\n", what.c_str());
    std::fflush(stderr);
    std::error_code ignored;
    if (!runFolder.empty()) fs::remove_all(runFolder, ignored);
    std::abort();
}

bool IsUnder(const fs::path& path, const fs::path& folder)
{
    const auto [end, unused] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

class TEngine {
public:
    TEngine()
    {
        // The fixture's folder goes into a folder of its own, so that an escape one level above is seen too;
        // in memory where there is a place for it, as every file and registry write is synced.
        const fs::path base = access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string outer = (base / "halcyra-fuzz-XXXXXX").string();
        if (mkdtemp(outer.data()) == nullptr) Fail("cannot create a temporary folder");
        outer_ = fs::canonical(outer);
        runFolder = outer_;
        setenv("TMPDIR", outer_.c_str(), 1);
        Rebuild();
    }
    ~TEngine()
    {
        f_.reset();
        std::error_code ignored;
        fs::remove_all(outer_, ignored);
    }
    TEngine(const TEngine&) = delete;
    TEngine& operator=(const TEngine&) = delete;

    void BeginInput()
    {
        if (++inputs_ > kInputsPerEngine) Rebuild();
        // What the stand-ins record is of no use across inputs.
        f_->logLines.clear();
        f_->autoObject.calls.clear();
        f_->autoObject.delimiterTimes.clear();
    }

    void Receive(std::vector<std::string> segments)
    {
        f_->TickAt(f_->clock.Now() + kOneSecond);
        try {
            f_->Receive(std::move(segments));
        } catch (const std::exception& e) {
            if (exceptions_.size() < kExceptionsShown && exceptions_.insert(e.what()).second)
                std::fprintf(stderr, "message_handler: the handling threw: %s\n", e.what());
        }
    }

    // What appeared outside the data folder, and the structural check of every monitor-data file that
    // changed since the last input.
    void Check()
    {
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(outer_, error); !error && it != fs::end(it);
             it.increment(error)) {
            const fs::path& path = it->path();
            if (IsUnder(path, dataFolder_)) {
                if (it->is_regular_file() && path.extension() == ".pil") CheckMonitorFile(path);
                continue;
            }
            if (baseline_.count(path) == 0 && !IsHive(path)) Fail("created outside the data folder: " + path.string());
        }
        if (error) Fail("cannot list " + outer_.string() + ": " + error.message());
    }

private:
    void Rebuild()
    {
        f_.reset();
        f_ = std::make_unique<test::TEngineFixture>();
        inputs_ = 1;
        f_->Collecting();
        f_->cycle.Tick();
        // Drive C: is reached through the prefix's dosdevices link; the listing sees the folder behind it.
        fs::create_directories(f_->files.HostPath(kDataFolder));
        dataFolder_ = fs::canonical(f_->files.HostPath(kDataFolder));
        // The data folder's parents are there now; the registry hives are written as the census changes.
        baseline_.clear();
        for (const auto& entry : fs::recursive_directory_iterator(outer_)) baseline_.insert(entry.path());
        stamps_.clear();
    }

    bool IsHive(const fs::path& path) const
    {
        return path.parent_path() == f_->dir / "registry" && path.extension() == ".reg";
    }

    void CheckMonitorFile(const fs::path& path)
    {
        std::error_code error;
        const auto stamp = std::make_pair(fs::last_write_time(path, error), fs::file_size(path, error));
        if (error) Fail("cannot stat " + path.string());
        auto [it, added] = stamps_.emplace(path, stamp);
        if (!added && it->second == stamp) return;
        it->second = stamp;
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::vector<std::string> problems = halcyra::CheckMonitorFile(bytes);
        if (!problems.empty()) Fail(path.string() + ": " + problems.front());
    }

    fs::path outer_;
    fs::path dataFolder_;
    std::unique_ptr<test::TEngineFixture> f_;
    int inputs_ = 0;
    std::set<fs::path> baseline_;
    std::map<fs::path, std::pair<fs::file_time_type, std::uintmax_t>> stamps_;
    std::set<std::string> exceptions_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TEngine engine;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    engine.BeginInput();
    if (bytes.find(kStartBlock) != std::string_view::npos) {
        TMessageFramer framer;
        framer.Append(bytes);
        while (true) {
            TSegmentList segments;
            const TMessageFramer::TCut cut = framer.CutNext(segments);
            if (cut == TMessageFramer::TCut::TooLong) continue;
            if (cut != TMessageFramer::TCut::Message) break;
            engine.Receive(std::move(segments));
        }
    } else {
        engine.Receive(SplitSegments(bytes));
    }
    engine.Check();
    return 0;
}
