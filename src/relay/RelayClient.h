// The relay client: this instance takes its stream from another instance's relay server instead of the
// central station. The bytes are read and cut exactly as the central-station reader does it, with three
// differences: bytes received (a life tick too) count as a sign of life of the relay server rather than
// as central-station data, a complete message is not the central station's last message, and no debug
// copy of the stream is written.
#pragma once

#include "hl7/CentralStationReader.h"
#include "hl7/ClientSocket.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"

#include <string>

namespace halcyra {

class TRelayClient final : private ICentralStationCycle, private ICentralStationView {
public:
    // `cycle` holds the re-entrancy flag and handles the messages; its DataReceived is never called, and
    // its MessageComplete is called once per complete message.
    TRelayClient(IClientSocket& socket, ICentralStationCycle& cycle, ICentralStationView& view, const IClock& clock,
                 const TFileSystem& files, std::string fileVersion);

    // The socket's events.
    void ClientSocketRelayConnect();
    void ClientSocketRelayDisconnect();
    // A failed or broken relay connection: logged as the central-station reader logs its errors, with the
    // same throttle. The window shows the relay's state by "No Network"; the countdown retries.
    void ClientSocketRelayError(int windowsSocketsError);
    void ClientSocketRelayRead();
    // As the central-station reader's: reads what a skipped notification left waiting.
    void ReadWaitingBytes();
    void ReadHeldBytes() { reader_.ReadHeldBytes(); }

    bool Connected() const { return connected_; }
    // A monotonic reading.
    TMonotonic LastLifeTickReceived() const { return lastLifeTick_; }
    void Close() { socket_.Close(); }

    const TMessageFramer& Framer() const { return reader_.Framer(); }

private:
    void LifeTickReceived(TMonotonic now);

    // ICentralStationCycle, as the reader sees it.
    bool InProgress() const override { return cycle_.InProgress(); }
    void SetInProgress(bool inProgress) override { cycle_.SetInProgress(inProgress); }
    void DataReceived(TMonotonic now) override { LifeTickReceived(now); }
    void MessageComplete(TMonotonic now) override { cycle_.MessageComplete(now); }
    void DecodeMessage(const TMessageIndex& segments) override { cycle_.DecodeMessage(segments); }
    double ReadHoldSeconds() const override { return cycle_.ReadHoldSeconds(); }
    void SetHeldMessages(bool held) override { cycle_.SetHeldMessages(held); }

    // ICentralStationView, as the reader sees it.
    void SetCaption(const std::string& caption) override { view_.SetCaption(caption); }
    void SetConnectedLabel(const std::string& text) override { view_.SetConnectedLabel(text); }
    void ShowStopPos(const std::string& text) override { view_.ShowStopPos(text); }
    void ShowStartPos(const std::string& text) override { view_.ShowStartPos(text); }
    bool SaveDataStream() const override { return false; }
    void SocketError(const std::string& text) override { view_.LogLine("Relay client: " + text, TLogPriority::Error); }
    void LogLine(const std::string& line, TLogPriority priority) override
    {
        view_.LogLine("Relay client: " + line, priority);
    }

    IClientSocket& socket_;
    ICentralStationCycle& cycle_;
    ICentralStationView& view_;
    const IClock& clock_;
    TCentralStationReader reader_;
    bool connected_ = false;
    TMonotonic lastLifeTick_ = 0;
};

}  // namespace halcyra
