// The group "Connected Clients" of the main window as the relay server fills it.
#pragma once

#include <string>
#include <vector>

namespace halcyra {

class IConnectedClientsView {
public:
    virtual ~IConnectedClientsView() = default;
    // One entry per client computer, "host (address)"; the group is shown exactly when there are entries.
    virtual void ShowClients(const std::vector<std::string>& entries) = 0;
};

}  // namespace halcyra
