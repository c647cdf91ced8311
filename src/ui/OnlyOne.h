// One instance of the program per user and settings file: the first instance listens on a named local
// socket and answers later ones with how it runs and its process id; a later desktop start also asks it to
// bring its window to the front. Two instances on one settings file would both collect, writing every
// value twice, so every mode that writes patient files takes part.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>

#include <filesystem>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace halcyra {

class TOnlyOne final : public QObject {
    Q_OBJECT
public:
    // Who holds the name, as it answered.
    struct TRunning {
        QString mode;    // "desktop", "service", "import"; empty when it did not answer
        qint64 pid = 0;  // 0 when unknown
    };

    // "OnlyOne" and the first 20 characters of the application title.
    static QString AtomName(const QString& applicationTitle);
    // The settings file as one text however it was named: absolute, with "." and ".." and symbolic links
    // resolved (as far as the path exists).
    static QString SettingsFileName(const std::filesystem::path& settingsFile);
    // The socket name: the atom name, the user id (an instance belongs to one user's session) and a digest
    // of the user's settings file (SettingsFileName), so that runs on separate settings do not meet.
    static QString ServerName(const QString& applicationTitle, const std::filesystem::path& settingsFile);

    // mode: how this instance runs, told to later ones ("desktop", "service", "import").
    TOnlyOne(QString serverName, QString mode, QObject* parent = nullptr);
    ~TOnlyOne() override;

    bool EnforceOnlyOne = true;
    // Called in the first instance, on its own thread, when a later start asks it to come to the front.
    std::function<void()> OnBringToFront;
    // Called in the first instance, on its own thread, when a process of the same user asks how it runs;
    // gives the text (or JSON) to answer. Unset: the answer names the mode and process only.
    std::function<QByteArray(bool json)> OnStatus;

    // True when this is the only instance: it holds the name until it is destroyed and answers later
    // ones, even while its own thread is busy. False when another instance holds the name: Running() says
    // who it is, and with bringToFront it has been asked to come to the front.
    bool Enforce(bool bringToFront = true);
    const TRunning& Running() const { return running_; }
    // "another instance (service, PID 1234)", as far as it is known.
    QString RunningText() const;

    // Asks the instance holding the name how it runs, without starting one. False when no instance holds
    // the name; otherwise `answer` holds what it said (empty when it did not answer in time).
    static bool AskStatus(const QString& serverName, bool json, QByteArray& answer);

private:
    bool Listen(bool& nameTaken);
    bool AskRunningInstance(bool bringToFront);
    void StopListening();
    // Runs on the answering thread.
    void AnswerStatus(QLocalServer* server, QLocalSocket* peer, bool json);

    QString serverName_;
    QByteArray answer_;
    QThread thread_;
    QLocalServer* server_ = nullptr;  // lives in thread_
    TRunning running_;
};

}  // namespace halcyra
