// One instance of the program per user and settings file. The instance is whoever holds the lock on the
// settings' lock file (ui/InstanceLock); it answers later starts and `--status` on the socket file beside
// it (ui/InstanceServer), for its own user only. A later desktop start also asks it to bring its window to
// the front. Two instances on one settings file would both collect, writing every value twice, so every
// mode that writes patient files takes part, and a socket that does not answer never lets a second start.
#pragma once

#include "platform/Clock.h"
#include "ui/InstanceLock.h"
#include "ui/InstanceServer.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace halcyra {

class TOnlyOne final : public QObject {
    Q_OBJECT
public:
    // Who holds the settings, as far as it is known.
    struct TRunning {
        QString mode;    // "desktop", "service", "import"; empty when it did not answer
        qint64 pid = 0;  // the kernel's word: the socket's peer, or the lock's holder; 0 when unknown
    };

    // The settings file as one text however it was named (CanonicalSettingsFile).
    static QString SettingsFileName(const std::filesystem::path& settingsFile);

    // mode: how this instance runs, told to later ones ("desktop", "service", "import").
    TOnlyOne(std::filesystem::path settingsFile, QString mode, QObject* parent = nullptr);
    ~TOnlyOne() override;

    bool EnforceOnlyOne = true;
    // Called in the first instance, on its own thread, when a later start asks it to come to the front.
    std::function<void()> OnBringToFront;
    // Called in the first instance, on its own thread, when a process of the same user asks how it runs;
    // gives the text (or JSON) to answer. Unset: the answer names the mode and process only.
    std::function<QByteArray(bool json)> OnStatus;
    // The socket's troubles and recoveries, on this object's thread; unset: standard error.
    std::function<void(const std::string&)> OnLog;
    // Who is on the other end of the socket (set before Enforce).
    TPeerCheck PeerCheck = KernelPeerCredentials;

    // True when this is the only instance: it holds the lock until it is destroyed and answers later ones,
    // even while its own thread is busy. False when another instance holds it (Running() says who, and with
    // bringToFront it has been asked to come to the front), or when the lock cannot be had (Error() says why).
    bool Enforce(bool bringToFront = true);
    const TRunning& Running() const { return running_; }
    // "another instance (service, PID 1234)", as far as it is known.
    QString RunningText() const;
    // Why it could not be made sure that no other instance runs; empty otherwise.
    const QString& Error() const { return error_; }
    const TInstancePaths& Paths() const { return paths_; }

    struct TStatusReply {
        enum TResult {
            Answered,   // `text` is the instance's answer
            Silent,     // an instance holds the settings but did not answer (in time)
            NoneRuns,   // nobody holds the settings
            OtherUser,  // a process of another user answers on the socket: not asked, nothing to show
            Failed,     // the lock's folder cannot be had: `error`
        };
        TResult result = NoneRuns;
        QByteArray text;
        qint64 pid = 0;  // the kernel's word, as in TRunning
        qint64 uid = 0;  // for OtherUser
        QString error;
    };
    // Asks the instance on these settings how it runs, without starting one.
    static TStatusReply AskStatus(const std::filesystem::path& settingsFile, bool json,
                                  const TPeerCheck& check = KernelPeerCredentials);

private:
    bool Listen();
    void AskRunningInstance(bool bringToFront);
    void StopListening();
    // On the socket's thread.
    void Answer(quint64 peer, const QByteArray& request);
    void Log(const std::string& text);

    std::filesystem::path settingsFile_;
    QByteArray answer_;
    TInstancePaths paths_;
    std::unique_ptr<TInstanceLock> lock_;
    TSystemClock clock_;
    QThread thread_;
    TInstanceServer* server_ = nullptr;  // lives in thread_
    TRunning running_;
    QString error_;
};

}  // namespace halcyra
