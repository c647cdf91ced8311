// The central-station connection's reader: takes the bytes of the socket into the receive buffer, hands
// every complete message, as an index of its segments in that buffer, to the message decoder, and keeps the window's
// connection texts up to date.
//
// What it needs from the collection cycle, which owns the shared state (ICentralStationCycle):
//  - the re-entrancy flag that the timer tick, the socket readers and the stop-delimiter writer share;
//  - "last received data", set whenever the buffer holds bytes after a read (the supervision reopens a
//    connection silent for longer than the central-station timeout);
//  - "last status change" and "time of the last complete message", both set for every complete message;
//  - DecodeMessage, called once per complete message.
// And from its view (ICentralStationView: the window, or the headless view of the service): the caption,
// LabelConnected, the diagnostic labels lblStopPos and lblStartPos, the "Save Data Stream" box, the handler
// for socket errors, and the log.
//
// The run's engine forwards the socket's events to the handlers below (connected, disconnected, error with
// the Windows Sockets error number, read) and calls ReadWaitingBytes after it clears the re-entrancy flag
// at the end of a timer tick
// (or of anything else that holds the flag): a read notification skipped while the flag was set is not
// repeated by the socket until more bytes arrive.
//
// A read that took bytes asks the socket to hold its arrivals for a while (ReadHoldSeconds), so that a
// steady stream wakes the program once per hold rather than once per message. Before a tick crosses a
// boundary, the engine calls ReadHeldBytes: what the hold kept is handled in the interval it arrived in.
#pragma once

#include "hl7/MessageFramer.h"
#include "hl7/MessageIndex.h"
#include "hl7/ReceiveSocket.h"
#include "hl7/SocketErrorThrottle.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/LogPriority.h"

#include <string>

namespace halcyra {

class ICentralStationCycle {
public:
    virtual ~ICentralStationCycle() = default;
    virtual bool InProgress() const = 0;
    virtual void SetInProgress(bool inProgress) = 0;
    // Last received data := now (a monotonic reading).
    virtual void DataReceived(TMonotonic now) = 0;
    // Last status change := now (a monotonic reading), and time of the last complete message.
    virtual void MessageComplete(TMonotonic now) = 0;
    // Handles one message. Its segments are views of the receive buffer, valid during the call.
    virtual void DecodeMessage(const TMessageIndex& segments) = 0;
    // How long the socket may keep its arrivals after a read (0: announce them as they come). A hold never
    // reaches past the next collect-interval boundary, so what it kept arrived before that boundary.
    virtual double ReadHoldSeconds() const { return 0; }
    // Set while the messages of a hold are handled: they arrived in the interval the hold began in, however
    // late the hold ended.
    virtual void SetHeldMessages(bool /*held*/) {}
};

class ICentralStationView {
public:
    virtual ~ICentralStationView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetConnectedLabel(const std::string& text) = 0;  // LabelConnected
    virtual void ShowStopPos(const std::string& text) = 0;        // lblStopPos
    virtual void ShowStartPos(const std::string& text) = 0;       // lblStartPos
    virtual bool SaveDataStream() const = 0;                      // "Save Data Stream" is ticked
    // A socket error, for the window's error handler (LabelConnected and the log).
    virtual void SocketError(const std::string& text) = 0;
    // One line for the log (a receive buffer dropped for holding too much without an end marker, the count
    // of a repeated socket error, its end).
    virtual void LogLine(const std::string& line, TLogPriority priority) = 0;
};

class TCentralStationReader {
public:
    // fileVersion goes into the window caption; debugFolder (a Windows path ending in '\') receives the
    // debug copy "CSCommunication.txt" while "Save Data Stream" is ticked.
    TCentralStationReader(IReceiveSocket& socket, ICentralStationCycle& cycle, ICentralStationView& view,
                          const IClock& clock, const TFileSystem& files, std::string fileVersion,
                          std::string debugFolder);

    void SetDebugFolder(std::string debugFolder) { debugFolder_ = std::move(debugFolder); }

    // A new connection is open: a partial message left from the previous one is dropped, so that it cannot
    // spoil the first message of this one.
    void ClientSocketCentralStationConnect();
    void ClientSocketCentralStationDisconnect();
    // windowsSocketsError: the Windows Sockets error number of the failure (10061 refused, ...). The same
    // error on the same peer is reported once, then counted in a log line at most once a minute.
    void ClientSocketCentralStationError(int windowsSocketsError);
    // A connection is open: the errors before it get their last line, with their count.
    void SocketErrorsCleared();
    // Bytes arrived. Does nothing while the re-entrancy flag is set.
    void ClientSocketCentralStationRead();
    // Reads now when bytes are waiting on the socket, or when a read was cut short by an error of the
    // decoder and complete messages may still be buffered. Does nothing while the flag is set.
    void ReadWaitingBytes();
    // Reads what a running hold kept so far; nothing when no hold runs. Does nothing while the flag is set.
    void ReadHeldBytes();
    // Drops a partial message left in the receive buffer by a connection that is gone.
    void DropPartialMessage();

    const TMessageFramer& Framer() const { return framer_; }
    // Complete messages cut since start-up (empty ones too).
    long long MessagesReceived() const { return messagesReceived_; }
    // One line for the log at the end of the run: the messages and the two framing counters.
    std::string CountersText() const;
    std::string Caption() const;

    // "Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused)"; the parenthesis holds what
    // is known of the peer and the text.
    static std::string SocketErrorText(int windowsSocketsError, const std::string& peer, const std::string& text);

private:
    // endsHold: the socket's read event, which ends a hold (the socket raises none while it holds).
    void Read(bool endsHold);
    std::string DroppedText() const;

    IReceiveSocket& socket_;
    ICentralStationCycle& cycle_;
    ICentralStationView& view_;
    const IClock& clock_;
    const TFileSystem& files_;
    std::string fileVersion_;
    std::string debugFolder_;
    TMessageFramer framer_;
    TMessageIndex index_;
    bool readUnfinished_ = false;
    // The socket holds its arrivals: the next read event ends the hold.
    bool holding_ = false;
    long long messagesReceived_ = 0;
    TSocketErrorThrottle socketErrors_;
};

}  // namespace halcyra
