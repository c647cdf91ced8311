#include "hl7/CentralStationReader.h"

#include "hl7/DataStreamFile.h"

#include <exception>
#include <utility>

namespace halcyra {

namespace {

constexpr const char* kDebugCopyName = "CSCommunication.txt";

// Clears the re-entrancy flag, and the mark of held messages, on every way out of a read.
class TInProgressGuard {
public:
    TInProgressGuard(ICentralStationCycle& cycle, bool held) : cycle_(cycle)
    {
        cycle_.SetInProgress(true);
        cycle_.SetHeldMessages(held);
    }
    ~TInProgressGuard()
    {
        cycle_.SetHeldMessages(false);
        cycle_.SetInProgress(false);
    }
    TInProgressGuard(const TInProgressGuard&) = delete;
    TInProgressGuard& operator=(const TInProgressGuard&) = delete;

private:
    ICentralStationCycle& cycle_;
};

}  // namespace

TCentralStationReader::TCentralStationReader(IReceiveSocket& socket, ICentralStationCycle& cycle,
                                             ICentralStationView& view, const IClock& clock, const TFileSystem& files,
                                             std::string fileVersion, std::string debugFolder)
    : socket_(socket),
      cycle_(cycle),
      view_(view),
      clock_(clock),
      files_(files),
      fileVersion_(std::move(fileVersion)),
      debugFolder_(std::move(debugFolder))
{
}

std::string TCentralStationReader::Caption() const
{
    return "Central Station Data Client (Ver. " + fileVersion_ + ")";
}

std::string TCentralStationReader::CountersText() const
{
    return "Central station: " + std::to_string(messagesReceived_) +
           " messages received, StopPosExitCount = " + std::to_string(framer_.StopPosExitCount()) +
           ", StartPosExitCount = " + std::to_string(framer_.StartPosExitCount());
}

std::string TCentralStationReader::DroppedText() const
{
    return "Message dropped: longer than " + std::to_string(TMessageFramer::kMaxBufferedWithoutEnd) + " bytes (" +
           std::to_string(framer_.DroppedCount()) + " dropped since start-up)";
}

std::string TCentralStationReader::SocketErrorText(int windowsSocketsError, const std::string& peer,
                                                   const std::string& text)
{
    std::string line = "Asynchronous socket error " + std::to_string(windowsSocketsError);
    if (peer.empty() && text.empty()) return line;
    return line + " (" + peer + (peer.empty() || text.empty() ? "" : ": ") + text + ")";
}

void TCentralStationReader::DropPartialMessage()
{
    framer_.Clear();
    readUnfinished_ = false;
    // A new connection starts without a hold; a closed one ended it.
    holding_ = false;
}

void TCentralStationReader::ClientSocketCentralStationConnect()
{
    DropPartialMessage();
    SocketErrorsCleared();
    view_.SetCaption(Caption() + " - " + "Connected to " + " Central Station: " + socket_.RemoteHost() + " (" +
                     socket_.RemoteAddress() + ")");
    view_.SetConnectedLabel("");
}

void TCentralStationReader::ClientSocketCentralStationDisconnect()
{
    holding_ = false;
    view_.SetCaption(Caption());
    view_.SetConnectedLabel("Disconnected");
}

void TCentralStationReader::ClientSocketCentralStationError(int windowsSocketsError)
{
    const std::string peer = socket_.ErrorPeer();
    const std::optional<TSocketErrorReport> report = socketErrors_.Error(
        windowsSocketsError, peer, SocketErrorText(windowsSocketsError, peer, socket_.ErrorText()), clock_.Monotonic());
    if (!report) return;
    if (report->priority == TLogPriority::Error)
        view_.SocketError(report->text);
    else
        view_.LogLine(report->text, report->priority);
}

void TCentralStationReader::SocketErrorsCleared()
{
    for (const TSocketErrorReport& report : socketErrors_.Cleared(clock_.Monotonic()))
        view_.LogLine(report.text, report.priority);
}

void TCentralStationReader::ClientSocketCentralStationRead()
{
    Read(true);
}

void TCentralStationReader::Read(bool endsHold)
{
    const bool held = holding_;
    if (endsHold) holding_ = false;
    if (cycle_.InProgress()) return;
    TInProgressGuard guard(cycle_, held);

    std::string bytes = socket_.ReadAvailable();
    const bool took = !bytes.empty();
    framer_.Append(bytes);
    // Stays set when the decoder throws, so that the messages still buffered are cut at the end of the
    // next tick instead of waiting for the next arrival.
    readUnfinished_ = true;
    while (true) {
        if (!framer_.Empty()) cycle_.DataReceived(clock_.Monotonic());
        std::string_view message;
        const TMessageFramer::TCut cut = framer_.CutNext(message);
        if (cut == TMessageFramer::TCut::NoEndMarker || cut == TMessageFramer::TCut::Dropped) {
            view_.ShowStopPos("StopPosExitCount = " + std::to_string(framer_.StopPosExitCount()));
            if (cut == TMessageFramer::TCut::Dropped) view_.LogLine(DroppedText(), TLogPriority::Warning);
            break;
        }
        if (cut == TMessageFramer::TCut::TooLong) {
            view_.LogLine(DroppedText(), TLogPriority::Warning);
            continue;
        }
        if (cut == TMessageFramer::TCut::NoStartMarker) {
            view_.ShowStartPos("StartPosExitCount = " + std::to_string(framer_.StartPosExitCount()));
            break;
        }
        ++messagesReceived_;
        cycle_.MessageComplete(clock_.Monotonic());
        index_.IndexFrame(message);
        // The debug copy is a diagnostic aid: a failure to write it must not disturb the reading.
        if (view_.SaveDataStream()) SaveSegmentList(files_, debugFolder_ + kDebugCopyName, index_);
        cycle_.DecodeMessage(index_);
    }
    readUnfinished_ = false;
    if (!took) return;
    const double hold = cycle_.ReadHoldSeconds();
    if (hold > 0 && socket_.HoldReads(hold)) holding_ = true;
}

void TCentralStationReader::ReadWaitingBytes()
{
    if (cycle_.InProgress()) return;
    if (readUnfinished_ || socket_.BytesAvailable() > 0) Read(false);
}

void TCentralStationReader::ReadHeldBytes()
{
    if (holding_) ReadWaitingBytes();
}

}  // namespace halcyra
