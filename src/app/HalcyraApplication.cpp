#include "app/HalcyraApplication.h"

#include "ui/ApplicationIcon.h"

namespace halcyra {
namespace {

template <typename TDeliver>
bool Guarded(const TExceptionHandler& handler, TDeliver&& deliver)
{
    try {
        return deliver();
    } catch (const std::exception& e) {
        if (handler) handler(e.what());
    } catch (...) {
        if (handler) handler("Unknown error");
    }
    return false;
}

}  // namespace

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
    return Guarded(handler_, [&] { return QApplication::notify(receiver, event); });
}

THalcyraCoreApplication::THalcyraCoreApplication(int& argc, char** argv) : QCoreApplication(argc, argv)
{
    setApplicationName("halcyra");
    setApplicationVersion(HALCYRA_VERSION);
}

bool THalcyraCoreApplication::notify(QObject* receiver, QEvent* event)
{
    return Guarded(handler_, [&] { return QCoreApplication::notify(receiver, event); });
}

}  // namespace halcyra
