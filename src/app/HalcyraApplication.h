// The application objects: each catches what escapes an event handler and hands it to one handler. The
// desktop program has widgets; the service and the import run on the core application alone.
#pragma once

#include <QApplication>
#include <QCoreApplication>

#include <functional>
#include <string>

namespace halcyra {

inline constexpr const char* kApplicationTitle = "Halcyra Data Input Module";

using TExceptionHandler = std::function<void(const std::string&)>;

class THalcyraApplication : public QApplication {
public:
    THalcyraApplication(int& argc, char** argv);

    void SetExceptionHandler(TExceptionHandler handler) { handler_ = std::move(handler); }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    TExceptionHandler handler_;
};

// No widget, no platform plugin: sockets, timers, D-Bus and translations need no more.
class THalcyraCoreApplication : public QCoreApplication {
public:
    THalcyraCoreApplication(int& argc, char** argv);

    void SetExceptionHandler(TExceptionHandler handler) { handler_ = std::move(handler); }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    TExceptionHandler handler_;
};

}  // namespace halcyra
