// One instance of the program per user session: the first instance listens on a named local socket, a
// second one asks it to bring its window to the front and then ends.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace halcyra {

class TOnlyOne final : public QObject {
    Q_OBJECT
public:
    // "OnlyOne" and the first 20 characters of the application title.
    static QString AtomName(const QString& applicationTitle);
    // The socket name: the atom name, the user id (an instance belongs to one user's session) and a digest
    // of the user's settings file, so that runs on separate settings (tests, demos) do not meet.
    static QString ServerName(const QString& applicationTitle, const QString& settingsFile);

    explicit TOnlyOne(QString serverName, QObject* parent = nullptr);
    ~TOnlyOne() override;

    bool EnforceOnlyOne = true;
    // Called in the first instance when a later one starts.
    std::function<void()> OnBringToFront;

    // True when this is the only instance, which then answers later ones. False when another instance
    // runs: it has been asked to come to the front and this one should end.
    bool Enforce();

private:
    bool AskRunningInstance();
    bool Listen();

    QString serverName_;
    QLocalServer* server_ = nullptr;
};

}  // namespace halcyra
