// What the run's engine takes from the outside world, so that tests and benchmarks can drive it directly.
#pragma once

#include "app/MessageBoxes.h"
#include "datamanager/IVelgard_TLB.h"
#include "hl7/ClientSocket.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "relay/RelayListener.h"
#include "savefile/SaveFileIo.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {

struct TEngineEnvironment {
    IClock* clock = nullptr;
    TRegistry* registry = nullptr;
    TFileSystem* files = nullptr;
    // Message boxes: a window shows them, a run without a display logs them.
    IMessageBoxes* messageBoxes = nullptr;
    // Creates the data manager's automation object; null means no data manager is installed.
    IDataManagerLinkFactory* dataManager = nullptr;
    // Times the data manager's answers; null means `clock`. A run on a simulated clock (the import) gives the
    // real one.
    const IClock* linkClock = nullptr;

    // The central-station client socket; null gives a socket that is never open.
    std::function<std::unique_ptr<IClientSocket>()> centralStationSocket;
    // The relay: the client socket to another instance and the listening socket for other instances;
    // null gives a socket that is never open and a listener that never listens.
    std::function<std::unique_ptr<IClientSocket>()> relayClientSocket;
    std::function<std::unique_ptr<IRelayListener>()> relayListener;

    // The access to the monitor-data files; null gives the real file system.
    std::shared_ptr<ISaveFileIo> saveFileIo;

    std::string executablePath;
    // The command-line arguments left after the program's own options.
    std::vector<std::string> arguments;
    // Receives every log message as well (the service's standard error).
    std::function<void(const TLogEntry&)> logMirror;
};

}  // namespace halcyra
