#include "Station.h"

#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace cssim {

namespace {
// Rate 0: more is made only while less than this is waiting to go out.
constexpr qint64 kMaxBacklogBytes = 256 * 1024;
// A client that does not take the last bytes within this time is closed anyway.
constexpr qint64 kCloseWaitMs = 5000;
}  // namespace

bool TRecorder::Open(const QString& path, QString& error)
{
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = file_.errorString();
        return false;
    }
    return true;
}

void TRecorder::Write(const std::string& bytes)
{
    if (file_.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) Fail();
}

void TRecorder::Flush()
{
    if (!file_.flush()) Fail();
}

void TRecorder::Fail()
{
    // A recording with a hole would mislead whoever replays it.
    std::fprintf(stderr, "cs-sim: cannot write the recording %s: %s\n", qPrintable(file_.fileName()),
                 qPrintable(file_.errorString()));
    std::exit(1);
}

TStation::TStation(const TStationOptions& options, TWard& ward, TStreamShaper& shaper, TRecorder* recorder)
    : options_(options), ward_(ward), shaper_(shaper), recorder_(recorder)
{
    if (options_.rate > 0) periodMs_ = 1000.0 / (options_.rate * ward_.Beds());
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { Accept(); });
    QObject::connect(&timer_, &QTimer::timeout, &server_, [this] { Tick(); });
}

TStation::~TStation()
{
    // The server deletes its connections after this object's members are gone; dropped ones too.
    for (QTcpSocket* client : server_.findChildren<QTcpSocket*>())
        QObject::disconnect(client, nullptr, nullptr, nullptr);
}

bool TStation::Listen(const QHostAddress& address, quint16 port, QString& error)
{
    if (!server_.listen(address, port)) {
        error = server_.errorString();
        return false;
    }
    clock_.start();
    timer_.start(options_.rate > 0 ? std::clamp(static_cast<int>(periodMs_ / 2), 1, 20) : 1);
    return true;
}

void TStation::Accept()
{
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        std::fprintf(stderr, "cs-sim: client %s:%u connected\n", qPrintable(client->peerAddress().toString()),
                     client->peerPort());
        QObject::connect(client, &QTcpSocket::readyRead, client, [client] { client->readAll(); });
        QObject::connect(client, &QTcpSocket::disconnected, client, [this, client] {
            std::fprintf(stderr, "cs-sim: client %s:%u disconnected\n", qPrintable(client->peerAddress().toString()),
                         client->peerPort());
            clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
            client->deleteLater();
        });
        clients_.push_back(client);
    }
}

void TStation::Tick()
{
    if (done_) return;
    const qint64 now = clock_.elapsed();
    if (!stopping_) Produce(now);
    Pump(now);
    if (stopping_) Finish(now);
}

void TStation::Produce(qint64 now)
{
    if (options_.duration > 0 && now >= static_cast<qint64>(options_.duration * 1000)) {
        stopping_ = true;
        return;
    }
    if ((options_.waitClient && clients_.empty()) || now < silenceUntilMs_) {
        nextDueMs_ = static_cast<double>(now);
        return;
    }
    if (options_.rate > 0) {
        while (!stopping_ && nextDueMs_ <= static_cast<double>(now) && now >= silenceUntilMs_) {
            ProduceOne(now);
            nextDueMs_ += periodMs_;
        }
        if (now < silenceUntilMs_) nextDueMs_ = static_cast<double>(silenceUntilMs_);
        return;
    }
    while (!stopping_ && now >= silenceUntilMs_ && queue_.size() < 64 && Backlog() < kMaxBacklogBytes) ProduceOne(now);
}

void TStation::ProduceOne(qint64 now)
{
    const halcyra::TDateTime time =
        options_.start ? *options_.start + static_cast<double>(now) * halcyra::kOneMillisecond : halcyra::NowLocal();
    const int bed = static_cast<int>(produced_ % ward_.Beds());
    for (TWrite& write : shaper_.Shape(ward_.NextMessage(bed, time))) {
        if (recorder_) recorder_->Write(write.bytes);
        queue_.push_back(std::move(write));
    }
    if (recorder_) recorder_->Flush();
    ++produced_;
    if (options_.count > 0 && produced_ >= options_.count) stopping_ = true;
    if (options_.silenceEvery > 0 && produced_ % options_.silenceEvery == 0)
        silenceUntilMs_ = now + static_cast<qint64>(options_.silenceSeconds * 1000);
}

void TStation::Pump(qint64 now)
{
    // Waiting for a client: what is made stays queued for it.
    if (options_.waitClient && clients_.empty()) return;
    while (!queue_.empty()) {
        const TWrite& write = queue_.front();
        if (write.pauseBefore) {
            if (pauseUntilMs_ < 0) pauseUntilMs_ = now + options_.splitDelayMs;
            if (now < pauseUntilMs_) return;
            pauseUntilMs_ = -1;
        }
        for (QTcpSocket* client : std::vector<QTcpSocket*>(clients_)) {
            client->write(write.bytes.data(), static_cast<qint64>(write.bytes.size()));
            client->flush();
        }
        const bool drop = write.dropAfter;
        queue_.pop_front();
        if (drop) DropClients();
        if (options_.waitClient && clients_.empty()) return;
    }
}

void TStation::DropClients()
{
    // Out of the list at once, so that nothing more is written to them.
    const std::vector<QTcpSocket*> dropped = std::exchange(clients_, {});
    for (QTcpSocket* client : dropped) {
        std::fprintf(stderr, "cs-sim: dropping %s:%u in the middle of a message\n",
                     qPrintable(client->peerAddress().toString()), client->peerPort());
        // The bytes written so far still go out; then the connection ends.
        client->disconnectFromHost();
    }
}

qint64 TStation::Backlog() const
{
    qint64 waiting = 0;
    for (const TWrite& write : queue_) waiting += static_cast<qint64>(write.bytes.size());
    qint64 most = 0;
    for (const QTcpSocket* client : clients_) most = std::max(most, client->bytesToWrite());
    return waiting + most;
}

void TStation::Finish(qint64 now)
{
    // What is made while waiting for a client is kept for the next one; otherwise nobody is there to take it.
    const bool drained = queue_.empty() || (clients_.empty() && !options_.waitClient);
    if (!drained) return;
    if (closingSinceMs_ < 0) {
        closingSinceMs_ = now;
        server_.close();
        for (QTcpSocket* client : std::vector<QTcpSocket*>(clients_)) client->disconnectFromHost();
    }
    if (clients_.empty() || now - closingSinceMs_ > kCloseWaitMs) {
        done_ = true;
        timer_.stop();
        if (finished) finished();
    }
}

void RecordOffline(const TStationOptions& options, halcyra::TDateTime start, TWard& ward, TStreamShaper& shaper,
                   TRecorder& recorder)
{
    const double period = 1.0 / (options.rate * ward.Beds());
    double silences = 0;
    for (std::int64_t k = 0;; ++k) {
        const double elapsed = static_cast<double>(k) * period + silences;
        if (options.count > 0 && k >= options.count) break;
        if (options.duration > 0 && elapsed >= options.duration) break;
        const halcyra::TDateTime time = start + elapsed * halcyra::kOneSecond;
        for (const TWrite& write : shaper.Shape(ward.NextMessage(static_cast<int>(k % ward.Beds()), time)))
            recorder.Write(write.bytes);
        if (options.silenceEvery > 0 && (k + 1) % options.silenceEvery == 0) silences += options.silenceSeconds;
    }
    recorder.Flush();
}

}  // namespace cssim
