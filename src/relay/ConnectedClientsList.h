// The group "Connected Clients" (gbConnectedDataClients with ListBoxConnectedClients) as the relay server
// fills it.
#pragma once

#include "relay/ConnectedClientsView.h"

class QGroupBox;
class QListWidget;

namespace halcyra {

class TConnectedClientsList final : public IConnectedClientsView {
public:
    // Clicking an entry makes its text the list's pop-up hint.
    TConnectedClientsList(QGroupBox* group, QListWidget* list);

    void ShowClients(const std::vector<std::string>& entries) override;

private:
    QGroupBox* group_;
    QListWidget* list_;
};

}  // namespace halcyra
