// The group "Connected Clients" as a test sees it: the entries shown last and how often it was filled.
#pragma once

#include "relay/ConnectedClientsView.h"

#include <string>
#include <vector>

namespace halcyra::test {

class TRecordingClientsView final : public IConnectedClientsView {
public:
    void ShowClients(const std::vector<std::string>& entries) override
    {
        shown = entries;
        ++updates;
    }
    std::vector<std::string> shown;
    int updates = 0;
};

}  // namespace halcyra::test
