#include "app/HalcyraApplication.h"

#include "ui/ApplicationIcon.h"

namespace halcyra {

THalcyraApplication::THalcyraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName("halcyra");
    // No display name: the desktop platforms append it to every window caption, and the main window's
    // caption must read exactly as set. Boxes take kApplicationTitle as their title instead.
    setApplicationVersion(HALCYRA_VERSION);
    setWindowIcon(ApplicationIcon());
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
