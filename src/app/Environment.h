// Everything the main window takes from the outside world: the engine's environment and the tray.
#pragma once

#include "app/EngineEnvironment.h"
#include "app/Prompter.h"
#include "ui/TaskbarIconControler.h"

#include <functional>
#include <memory>

namespace halcyra {

struct TEnvironment : TEngineEnvironment {
    // The boxes and dialogs of the window; the engine's message boxes too unless they are set apart.
    IPrompter* prompter = nullptr;
    // The notification area; null means the desktop's system tray.
    std::function<std::unique_ptr<ITrayShell>()> trayShell;
};

}  // namespace halcyra
