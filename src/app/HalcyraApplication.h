// The application object: catches what escapes an event handler and hands it to one handler.
#pragma once

#include <QApplication>

#include <functional>
#include <string>

namespace halcyra {

inline constexpr const char* kApplicationTitle = "Halcyra Data Input Module";

class THalcyraApplication : public QApplication {
public:
    THalcyraApplication(int& argc, char** argv);

    void SetExceptionHandler(std::function<void(const std::string&)> handler) { handler_ = std::move(handler); }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::function<void(const std::string&)> handler_;
};

}  // namespace halcyra
