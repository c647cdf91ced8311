// The relay client's reader fed one stream whole and in pieces, as another instance's relay server may
// deliver it, with reads skipped while the run's re-entrancy flag is held (the bytes wait on the socket until
// ReadWaitingBytes) and a decoder that throws on some messages: every message must be decoded once, the same
// as from the whole stream, and nothing may be left buffered that a later read would not take. Empty cuts (an
// end marker with no start marker before it) depend on the pieces, as in hl7_framer, and are left out.
#include "StreamPieces.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "relay/RelayClient.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace halcyra;

class TSocket final : public IClientSocket {
public:
    bool IsOpen() const override { return true; }
    void Close() override {}
    std::size_t BytesAvailable() const override { return pending.size(); }
    std::string ReadAvailable() override { return std::exchange(pending, std::string()); }
    std::string pending;
};

class TCycle final : public ICentralStationCycle {
public:
    bool InProgress() const override { return inProgress; }
    void SetInProgress(bool value) override { inProgress = value; }
    void DataReceived(TMonotonic) override {}
    void MessageComplete(TMonotonic) override {}
    void DecodeMessage(const TMessageIndex& segments) override
    {
        if (segments.size() == 0) return;
        messages.push_back(segments.Copy());
        if (throwing && (NextRandom() & 3) == 0) throw std::runtime_error("decoder");
    }
    std::uint64_t NextRandom() { return fuzz::NextRandom(state); }

    bool inProgress = false;
    bool throwing = false;
    std::uint64_t state = 0;
    std::vector<TSegmentList> messages;
};

class TView final : public ICentralStationView {
public:
    void SetCaption(const std::string&) override {}
    void SetConnectedLabel(const std::string&) override {}
    void ShowStopPos(const std::string&) override {}
    void ShowStartPos(const std::string&) override {}
    bool SaveDataStream() const override { return false; }
    void SocketError(const std::string&) override {}
    void LogLine(const std::string&, TLogPriority) override {}
};

void Check(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "relay_reader: %s\n", what);
    std::abort();
}

// Reads that the decoder cut short are taken up again, as the end of the run's tick does.
void ReadOn(TRelayClient& client, TCycle& cycle)
{
    for (int tries = 0; tries < 100000; ++tries) {
        try {
            if (tries == 0)
                client.ClientSocketRelayRead();
            else
                client.ReadWaitingBytes();
            return;
        } catch (const std::runtime_error&) {
            // The flag is the reader's to clear, however the decoder ended.
            Check(!cycle.inProgress, "the re-entrancy flag stays set after a decoder error");
        }
    }
    Check(false, "a read never finishes");
}

std::vector<TSegmentList> Feed(std::string_view stream, const std::vector<std::size_t>& pieces, std::uint64_t seed,
                               bool disturbed)
{
    static const TDriveMapping drives = TDriveMapping::ReadOnly(std::filesystem::temp_directory_path());
    static const TFileSystem files(drives);
    TManualClock clock;
    TSocket socket;
    TCycle cycle;
    cycle.throwing = disturbed;
    cycle.state = seed;
    TView view;
    TRelayClient client(socket, cycle, view, clock, files, "1.0");
    client.ClientSocketRelayConnect();
    std::size_t at = 0;
    for (const std::size_t piece : pieces) {
        socket.pending.append(stream.substr(at, piece));
        at += piece;
        clock.AdvanceSeconds(0.001);
        // A tick holds the flag: the notification is lost, the bytes wait.
        if (disturbed && (cycle.NextRandom() % 5) == 0) {
            cycle.inProgress = true;
            client.ClientSocketRelayRead();
            cycle.inProgress = false;
            continue;
        }
        ReadOn(client, cycle);
    }
    // The tick's end reads what waits.
    ReadOn(client, cycle);
    Check(socket.pending.empty(), "bytes left on the socket");
    return std::move(cycle.messages);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::TStreamPieces input = fuzz::SplitInput(data, size);
    const std::vector<TSegmentList> whole = Feed(input.stream, {input.stream.size()}, 0, false);
    const std::vector<TSegmentList> pieces = Feed(input.stream, input.pieces, input.seed, true);
    Check(pieces.size() == whole.size(), "another number of messages in pieces");
    Check(pieces == whole, "other messages in pieces");
    return 0;
}
