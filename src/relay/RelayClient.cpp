#include "relay/RelayClient.h"

#include <utility>

namespace halcyra {

TRelayClient::TRelayClient(IClientSocket& socket, ICentralStationCycle& cycle, ICentralStationView& view,
                           const IClock& clock, const TFileSystem& files, std::string fileVersion)
    : socket_(socket),
      cycle_(cycle),
      view_(view),
      clock_(clock),
      reader_(socket, *this, *this, clock, files, std::move(fileVersion), std::string())
{
}

void TRelayClient::ClientSocketRelayConnect()
{
    connected_ = true;
    // A partial message of the previous connection must not spoil the first one of this one.
    reader_.DropPartialMessage();
    reader_.SocketErrorsCleared();
    view_.SetCaption(reader_.Caption() + " - " + "Connected to " + " Velgard: " + socket_.RemoteHost() + " (" +
                     socket_.RemoteAddress() + ")");
    LifeTickReceived(clock_.Monotonic());
}

void TRelayClient::ClientSocketRelayDisconnect()
{
    view_.SetCaption(reader_.Caption());
    connected_ = false;
}

void TRelayClient::ClientSocketRelayError(int windowsSocketsError)
{
    reader_.ClientSocketCentralStationError(windowsSocketsError);
}

void TRelayClient::ClientSocketRelayRead()
{
    reader_.ClientSocketCentralStationRead();
}

void TRelayClient::ReadWaitingBytes()
{
    reader_.ReadWaitingBytes();
}

void TRelayClient::LifeTickReceived(TMonotonic now)
{
    lastLifeTick_ = now;
    // Clears "Expected lifetick is missing" and any other connection text.
    view_.SetConnectedLabel("");
}

}  // namespace halcyra
