#include "relay/RelayServer.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace halcyra {

TRelayServer::TRelayServer(IRelayListener& listener, IConnectedClientsView& view, const IClock& clock,
                           std::function<void(const std::string&)> log)
    : listener_(listener), view_(view), clock_(clock), log_(std::move(log))
{
    TRelayListenerEvents events;
    events.connected = [this](IRelayConnection& connection) { ServerSocketClientConnect(connection); };
    events.disconnected = [this](IRelayConnection& connection) { ServerSocketClientDisconnect(connection); };
    listener_.SetEvents(std::move(events));
}

TRelayServer::~TRelayServer()
{
    listener_.SetEvents({});
}

void TRelayServer::Start(std::int32_t port, std::string_view allowedClients)
{
    std::vector<std::string> rejected;
    allowed_ = TAllowedClients::Parse(allowedClients, rejected);
    for (const std::string& entry : rejected)
        log_("RelayAllowedClients: \"" + entry + "\" is neither an address nor a subnet; ignored");
    // The stream carries every patient's data: nobody gets it unless the site says who may.
    if (!allowed_.AllowsAnyone()) {
        listener_.Stop();
        log_(std::string(kRelayOffText));
        return;
    }
    std::string error = "not a port number";
    if (port < 1 || port > 65535 || !listener_.Listen(static_cast<std::uint16_t>(port), error))
        log_("Relay server cannot listen on port " + std::to_string(port) + ": " + error);
}

void TRelayServer::Stop()
{
    listener_.Stop();
    view_.ShowClients({});
}

void TRelayServer::ForwardToClients(std::string_view bytes)
{
    // A send to a client that has reset reports its disconnection inside the call, and the listener may
    // free the connection then: one that left is never touched again.
    left_.clear();
    forwarding_ = true;
    std::vector<std::string> addresses;
    std::vector<IRelayConnection*> stalled;
    for (IRelayConnection* connection : listener_.Connections()) {
        if (HasLeft(connection)) continue;
        std::string address = connection->RemoteAddress();
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end()) continue;
        addresses.push_back(std::move(address));
        connection->Send(bytes);
        if (HasLeft(connection)) continue;
        if (connection->UnsentBytes() > kMaxUnsentBytes) stalled.push_back(connection);
    }
    // Closed after the loop: a close reports the disconnection at once and changes the connection list.
    for (IRelayConnection* connection : stalled) {
        if (HasLeft(connection)) continue;
        log_("Relay client " + connection->RemoteHost() + " (" + connection->RemoteAddress() +
             ") does not read its data; disconnected");
        connection->Close();
    }
    forwarding_ = false;
    left_.clear();
    lastRelaySend_ = clock_.Monotonic();
}

bool TRelayServer::HasLeft(const IRelayConnection* connection) const
{
    return std::find(left_.begin(), left_.end(), connection) != left_.end();
}

void TRelayServer::ServerSocketClientConnect(IRelayConnection& connection)
{
    const std::string address = connection.RemoteAddress();
    if (!allowed_.Allows(address)) {
        log_("Relay client " + address + " is not in RelayAllowedClients; connection closed");
        refusing_ = &connection;
        connection.Close();
        refusing_ = nullptr;
        return;
    }
    ShowClients(nullptr);
}

void TRelayServer::ServerSocketClientDisconnect(IRelayConnection& connection)
{
    if (forwarding_) left_.push_back(&connection);
    if (&connection == refusing_) return;
    ShowClients(&connection);
}

void TRelayServer::ShowClients(const IRelayConnection* leaving)
{
    std::vector<std::string> entries;
    for (const IRelayConnection* connection : listener_.Connections()) {
        if (connection == leaving) continue;
        std::string entry = connection->RemoteHost() + " (" + connection->RemoteAddress() + ")";
        if (std::find(entries.begin(), entries.end(), entry) == entries.end()) entries.push_back(std::move(entry));
    }
    view_.ShowClients(entries);
}

}  // namespace halcyra
