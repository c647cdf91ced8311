#include "ui/OnlyOne.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 2000;
// A status is built on the instance's own thread, which may be busy for a while.
constexpr int kStatusWaitMs = 10000;
const QByteArray kBringToFront = "front";
const QByteArray kWho = "who";
const QByteArray kStatus = "status";
const QByteArray kStatusJson = "status json";

}  // namespace

QString TOnlyOne::SettingsFileName(const fs::path& settingsFile)
{
    return QFile::decodeName(QByteArray::fromStdString(CanonicalSettingsFile(settingsFile)));
}

TOnlyOne::TOnlyOne(fs::path settingsFile, QString mode, QObject* parent)
    : QObject(parent),
      settingsFile_(std::move(settingsFile)),
      answer_(mode.toLatin1() + ' ' + QByteArray::number(QCoreApplication::applicationPid()) + '\n')
{
    thread_.setObjectName(QStringLiteral("OnlyOne"));
}

TOnlyOne::~TOnlyOne()
{
    // The socket goes before the lock: a next start never finds the lock free and the old socket answering.
    StopListening();
    lock_.reset();
}

bool TOnlyOne::Enforce(bool bringToFront)
{
    if (!EnforceOnlyOne) return true;
    std::string problem;
    if (!FindInstancePaths(settingsFile_, true, paths_, problem)) {
        error_ = QString::fromStdString(problem);
        return false;
    }
    lock_ = std::make_unique<TInstanceLock>(paths_.lock);
    switch (lock_->Take()) {
        case TInstanceLock::Taken:
            // A socket that cannot be opened now is logged and opened again on the server's next tick: the
            // lock alone keeps a second instance away.
            Listen();
            return true;
        case TInstanceLock::Held:
            AskRunningInstance(bringToFront);
            return false;
        case TInstanceLock::Failed:
            break;
    }
    error_ = QString::fromStdString(lock_->Error());
    lock_.reset();
    return false;
}

QString TOnlyOne::RunningText() const
{
    QStringList known;
    if (!running_.mode.isEmpty()) known << running_.mode;
    if (running_.pid > 0) known << QStringLiteral("PID %1").arg(running_.pid);
    return known.isEmpty() ? QStringLiteral("another instance")
                           : QStringLiteral("another instance (%1)").arg(known.join(QStringLiteral(", ")));
}

bool TOnlyOne::Listen()
{
    // The answering runs on a thread of its own, so that a later start is answered while this instance's
    // thread is busy (starting up, importing).
    thread_.start();
    auto* server =
        new TInstanceServer(paths_.socket.string(), clock_, PeerCheck, [this](const std::string& text) { Log(text); });
    server->OnRequest = [this](quint64 peer, const QByteArray& request) { Answer(peer, request); };
    server->moveToThread(&thread_);
    server_ = server;
    bool listening = false;
    QMetaObject::invokeMethod(
        server, [&] { listening = server->Open(); }, Qt::BlockingQueuedConnection);
    return listening;
}

void TOnlyOne::Answer(quint64 peer, const QByteArray& request)
{
    TInstanceServer* server = server_;
    if (request == kStatus || request == kStatusJson) {
        const bool json = request == kStatusJson;
        // Built on the instance's thread, written back on the socket's; a peer gone by then is skipped.
        QMetaObject::invokeMethod(
            this,
            [this, server, peer, json] {
                if (server_ != server) return;
                server->Reply(peer, OnStatus ? OnStatus(json) : answer_);
            },
            Qt::QueuedConnection);
        return;
    }
    if (request != kWho && request != kBringToFront) {
        server->Reply(peer, {});
        return;
    }
    server->Reply(peer, answer_);
    if (request == kBringToFront)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (OnBringToFront) OnBringToFront();
            },
            Qt::QueuedConnection);
}

void TOnlyOne::Log(const std::string& text)
{
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            if (OnLog)
                OnLog(text);
            else
                std::fprintf(stderr, "halcyra: %s\n", text.c_str());
        },
        Qt::QueuedConnection);
}

void TOnlyOne::StopListening()
{
    if (server_ != nullptr) {
        TInstanceServer* server = server_;
        server_ = nullptr;
        QMetaObject::invokeMethod(
            server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    }
    thread_.quit();
    thread_.wait();
}

void TOnlyOne::AskRunningInstance(bool bringToFront)
{
    const TInstanceAnswer answer =
        AskInstance(paths_.socket.string(), bringToFront ? kBringToFront : kWho, kWaitMs, kWaitMs, PeerCheck);
    if (answer.result == TInstanceAnswer::Answered) {
        running_.pid = answer.peer.pid;
        const QList<QByteArray> words = answer.text.left(64).trimmed().split(' ');
        if (words.size() == 2) running_.mode = QString::fromLatin1(words[0]);
        return;
    }
    // Not reached, or another user's socket (whose word counts for nothing): the lock's holder is known.
    running_.pid = TInstanceLock::Holder(paths_.lock);
}

TOnlyOne::TStatusReply TOnlyOne::AskStatus(const fs::path& settingsFile, bool json, const TPeerCheck& check)
{
    TStatusReply reply;
    TInstancePaths paths;
    std::string problem;
    if (!FindInstancePaths(settingsFile, false, paths, problem)) {
        reply.result = TStatusReply::Failed;
        reply.error = QString::fromStdString(problem);
        return reply;
    }
    const TInstanceAnswer answer =
        AskInstance(paths.socket.string(), json ? kStatusJson : kStatus, kWaitMs, kStatusWaitMs, check);
    switch (answer.result) {
        case TInstanceAnswer::Answered:
            reply.pid = answer.peer.pid;
            reply.text = answer.text;
            reply.result = answer.text.isEmpty() ? TStatusReply::Silent : TStatusReply::Answered;
            return reply;
        case TInstanceAnswer::OtherUser:
            reply.result = TStatusReply::OtherUser;
            reply.pid = answer.peer.pid;
            reply.uid = answer.peer.uid;
            return reply;
        case TInstanceAnswer::NotReached:
            break;
    }
    reply.pid = TInstanceLock::Holder(paths.lock);
    reply.result = reply.pid > 0 ? TStatusReply::Silent : TStatusReply::NoneRuns;
    return reply;
}

}  // namespace halcyra
