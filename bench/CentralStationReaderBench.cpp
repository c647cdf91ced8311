// Messages per second through the central-station reader (receive buffer, framing, segment cutting), the
// stream arriving in reads of one TCP segment or of 64 KiB, with a decoder that does nothing.
#include "hl7/CentralStationReader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

namespace halcyra {
namespace {

constexpr int kMessages = 1000;

// Header, patient, visit, request and twelve observations, ended by CR or by CR LF.
std::string Stream(const char* segmentEnd)
{
    std::string stream;
    for (int n = 0; n < kMessages; ++n) {
        stream += '\x0B';
        stream += "MSH|^~\\&|CS|WARD|||20240131120000||ORU^R01|" + std::to_string(n) + "|P|2.3" + segmentEnd;
        stream += "PID|1||" + std::to_string(10000000 + n % 64) + "^^^^MR||Smith^John||19500101|M" + segmentEnd;
        stream += std::string("PV1|1|I|ICU^^7") + segmentEnd;
        stream += std::string("OBR|1|||MON|||20240131120000") + segmentEnd;
        for (int i = 1; i <= 12; ++i)
            stream += "OBX|" + std::to_string(i) + "|NM|0002-4182^HR^MDIL||72|264864^/min^MDIL|||||F" + segmentEnd;
        stream += "\x1C\x0D";
    }
    return stream;
}

class TReplaySocket final : public IReceiveSocket {
public:
    TReplaySocket(const std::string& stream, std::size_t readSize) : stream_(stream), readSize_(readSize) {}
    std::size_t BytesAvailable() const override { return std::min(readSize_, stream_.size() - pos_); }
    std::string ReadAvailable() override
    {
        const std::size_t n = BytesAvailable();
        std::string bytes = stream_.substr(pos_, n);
        pos_ += n;
        return bytes;
    }
    std::string RemoteHost() const override { return {}; }
    std::string RemoteAddress() const override { return {}; }
    bool AtEnd() const { return pos_ == stream_.size(); }
    void Rewind() { pos_ = 0; }

private:
    const std::string& stream_;
    std::size_t readSize_;
    std::size_t pos_ = 0;
};

class TCountingCycle final : public ICentralStationCycle, public ICentralStationView {
public:
    std::int64_t segments = 0;
    bool inProgress = false;
    bool InProgress() const override { return inProgress; }
    void SetInProgress(bool value) override { inProgress = value; }
    void DataReceived(TMonotonic) override {}
    void MessageComplete(TMonotonic) override {}
    void DecodeMessage(const TMessageIndex& list) override { segments += static_cast<std::int64_t>(list.size()); }
    void SetCaption(const std::string&) override {}
    void SetConnectedLabel(const std::string&) override {}
    void ShowStopPos(const std::string&) override {}
    void ShowStartPos(const std::string&) override {}
    bool SaveDataStream() const override { return false; }
    void SocketError(const std::string&) override {}
    void LogLine(const std::string&, TLogPriority) override {}
};

void ReadStream(benchmark::State& state, const char* segmentEnd)
{
    const std::string stream = Stream(segmentEnd);
    TReplaySocket socket(stream, static_cast<std::size_t>(state.range(0)));
    TCountingCycle cycle;
    TManualClock clock;
    const TDriveMapping drives = TDriveMapping::ReadOnly("/nonexistent");
    TFileSystem files{drives};
    TCentralStationReader reader(socket, cycle, cycle, clock, files, "1", "C:\\TEMP\\");
    for (auto _ : state) {
        socket.Rewind();
        while (!socket.AtEnd()) reader.ClientSocketCentralStationRead();
    }
    if (cycle.segments != static_cast<std::int64_t>(state.iterations()) * kMessages * 16)
        state.SkipWithError("messages lost");
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(stream.size()));
}

void BM_ReaderCr(benchmark::State& state)
{
    ReadStream(state, "\r");
}
void BM_ReaderCrLf(benchmark::State& state)
{
    ReadStream(state, "\r\n");
}
BENCHMARK(BM_ReaderCr)->Arg(1460)->Arg(65536);
BENCHMARK(BM_ReaderCrLf)->Arg(1460)->Arg(65536);

}  // namespace
}  // namespace halcyra
