// SIGTERM, SIGINT and SIGHUP delivered into the event loop, where the program can end its run cleanly.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace halcyra {

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; onSignal runs on the event loop's thread.
    explicit TTerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TTerminationSignals() override;

private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace halcyra
