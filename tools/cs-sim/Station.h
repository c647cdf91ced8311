// The central station's sending side: paces the ward's messages, writes them to every connected client
// (and to the recording), and stops after a count or a duration.
#pragma once

#include "StreamShaper.h"
#include "Ward.h"

#include "platform/DateTime.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class QTcpSocket;

namespace cssim {

struct TStationOptions {
    double rate = 1;                          // messages per bed per second; 0: as fast as the clients take them
    bool waitClient = false;                  // stream only while a client is connected
    std::int64_t count = 0;                   // stop after this many messages (0: no limit)
    double duration = 0;                      // stop after this many seconds (0: no limit)
    int silenceEvery = 0;                     // after every n-th message ...
    double silenceSeconds = 30;               // ... send nothing for this long
    int splitDelayMs = 20;                    // pause before a later piece of a split frame
    std::optional<halcyra::TDateTime> start;  // message time at the start; wall clock when absent
};

// Writes what is sent to a capture file. A failed write ends the program with exit status 1.
class TRecorder {
public:
    bool Open(const QString& path, QString& error);
    void Write(const std::string& bytes);
    void Flush();

private:
    [[noreturn]] void Fail();

    QFile file_;
};

class TStation {
public:
    TStation(const TStationOptions& options, TWard& ward, TStreamShaper& shaper, TRecorder* recorder);
    ~TStation();

    // Starts listening and streaming; the chosen port is Port().
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const { return server_.serverPort(); }

    // Called once when the station has stopped by itself and its clients are closed.
    std::function<void()> finished;

private:
    void Tick();
    void Produce(qint64 now);
    void ProduceOne(qint64 now);
    void Pump(qint64 now);
    void Finish(qint64 now);
    void Accept();
    void DropClients();
    qint64 Backlog() const;

    TStationOptions options_;
    TWard& ward_;
    TStreamShaper& shaper_;
    TRecorder* recorder_;
    QTcpServer server_;
    std::vector<QTcpSocket*> clients_;
    std::deque<TWrite> queue_;
    QTimer timer_;
    QElapsedTimer clock_;
    double periodMs_ = 0;
    double nextDueMs_ = 0;
    qint64 silenceUntilMs_ = -1;
    qint64 pauseUntilMs_ = -1;
    qint64 closingSinceMs_ = -1;
    std::int64_t produced_ = 0;
    bool stopping_ = false;
    bool done_ = false;
};

// Without a network: the messages of the simulated time from `start`, written to the recorder as fast as
// they can be made. Needs a count or a duration.
void RecordOffline(const TStationOptions& options, halcyra::TDateTime start, TWard& ward, TStreamShaper& shaper,
                   TRecorder& recorder);

}  // namespace cssim
