#include "app/HalcyraApplication.h"

namespace halcyra {

THalcyraApplication::THalcyraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("halcyra");
    setApplicationDisplayName(kApplicationTitle);
    setApplicationVersion(HALCYRA_VERSION);
    setQuitOnLastWindowClosed(false);
}

bool THalcyraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (handler_) handler_(e.what());
    } catch (...) {
        if (handler_) handler_("Unknown error");
    }
    return false;
}

}  // namespace halcyra
