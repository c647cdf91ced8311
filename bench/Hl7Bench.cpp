// Messages per second for cutting a framed capture into messages and taking from each what the program
// uses, compared with a plain scan for carriage returns over the same bytes; and the heap allocations per
// message.
#include "AllocationCounter.h"
#include "hl7/FrameFinder.h"
#include "hl7/MessageFields.h"
#include "hl7/MessageSplitter.h"
#include "hl7/MessageSummary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kMessages = 1000;

// MSH, PID, PV1, OBR and 12 OBX, as a monitor sends them every few seconds.
std::string TypicalMessage(int n)
{
    const std::string stamp = "20240131" + std::to_string(100000 + n % 50000);
    std::string m = "\x0B";
    m += "MSH|^~\\&|CENTRAL|WARD3|HALCYRA|HOSP|" + stamp + "||ORU^R01|" + std::to_string(n) + "|P|2.3\r";
    m += "PID|||01234567" + std::to_string(10 + n % 16) + "^^^^MR||Smith^John||19500101|M\r";
    m += "PV1||I|ICU^BED" + std::to_string(n % 16) + "^1\r";
    m += "OBR|1|||CS^MONITOR|||" + stamp + "\r";
    static const char* const kObx[] = {
        "0002-4182^HR^MDIL||72|264864^/min^MDIL",
        "0002-4A05^NBPs^MDIL||120|266016^mmHg^MDIL",
        "0002-4A06^NBPd^MDIL||80|266016^mmHg^MDIL",
        "0002-4A07^NBPm^MDIL||93|266016^mmHg^MDIL",
        "0002-4BB8^SpO2^MDIL||97|262688^%^MDIL",
        "0002-500A^RR^MDIL||16|264928^/min^MDIL",
        "0002-4B60^Temp^MDIL||36,8|268192^Cel^MDIL",
        "0002-4A15^ABPs^MDIL||118|266016^mmHg^MDIL",
        "0002-4A16^ABPd^MDIL||76|266016^mmHg^MDIL",
        "0002-4A17^ABPm^MDIL||90|266016^mmHg^MDIL",
        "150456^PVC||0|/min",
        "0002-4822^Pulse^MDIL||73|264864^/min^MDIL",
    };
    int i = 1;
    for (const char* obx : kObx) m += "OBX|" + std::to_string(i++) + "|NM|" + obx + "|||||F\r";
    m += "\x1C\x0D";
    return m;
}

const std::string& Capture()
{
    static const std::string capture = [] {
        std::string bytes;
        for (int n = 0; n < kMessages; ++n) bytes += TypicalMessage(n);
        return bytes;
    }();
    return capture;
}

// Frames, indexes and reads every message with objects kept from one message to the next.
struct TFastDecoder {
    halcyra::TMessageIndex index;
    halcyra::TMessageFields fields;

    std::size_t DecodeAll(std::string_view bytes)
    {
        halcyra::TFrameFinder frames;
        halcyra::TFrame frame;
        std::size_t observations = 0;
        while (frames.Next(bytes, frame)) {
            index.IndexFrame(frame.body);
            halcyra::ReadMessageFields(index, fields);
            observations += fields.observations.size();
        }
        return observations;
    }
};

void ReportAllocations(benchmark::State& state, std::uint64_t before)
{
    const double messages = static_cast<double>(state.iterations()) * kMessages;
    state.counters["allocs/msg"] = static_cast<double>(halcyra::bench::AllocationCount() - before) / messages;
}

void BM_DecodeTypicalMessages(benchmark::State& state)
{
    const std::string& bytes = Capture();
    TFastDecoder decoder;
    decoder.DecodeAll(bytes);  // the buffers grow to the largest message once
    const std::uint64_t before = halcyra::bench::AllocationCount();
    for (auto _ : state) {
        const std::size_t observations = decoder.DecodeAll(bytes);
        if (observations != 12u * kMessages) state.SkipWithError("wrong decode");
        benchmark::DoNotOptimize(observations);
    }
    ReportAllocations(state, before);
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeTypicalMessages)->Unit(benchmark::kMicrosecond);

// The same through the grammar functions on segment lists, as SplitCapturedStream and SummarizeMessage do.
void BM_DecodeThroughSegmentLists(benchmark::State& state)
{
    const std::string& bytes = Capture();
    const std::uint64_t before = halcyra::bench::AllocationCount();
    for (auto _ : state) {
        const halcyra::TCapturedStream stream = halcyra::SplitCapturedStream(bytes);
        std::size_t observations = 0;
        for (const halcyra::TCapturedMessage& message : stream.messages)
            observations += halcyra::SummarizeMessage(message.segments).observations.size();
        if (observations != 12u * kMessages) state.SkipWithError("wrong decode");
        benchmark::DoNotOptimize(observations);
    }
    ReportAllocations(state, before);
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeThroughSegmentLists)->Unit(benchmark::kMicrosecond);

// Baseline: one pass over the same bytes counting segment terminators.
void BM_BaselineByteScan(benchmark::State& state)
{
    const std::string& bytes = Capture();
    for (auto _ : state) {
        const auto count = std::count(bytes.begin(), bytes.end(), '\r');
        benchmark::DoNotOptimize(count);
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_BaselineByteScan)->Unit(benchmark::kMicrosecond);

}  // namespace
