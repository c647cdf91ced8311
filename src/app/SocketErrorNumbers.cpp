#include "app/SocketErrorNumbers.h"

namespace halcyra {

int WindowsSocketsErrorNumber(QAbstractSocket::SocketError error)
{
    using E = QAbstractSocket::SocketError;
    // clang-format off
    switch (error) {
        case E::ConnectionRefusedError: return 10061;          // WSAECONNREFUSED
        // Qt reports a reset and an orderly close by the peer alike; the client socket does not report
        // the orderly close as an error.
        case E::RemoteHostClosedError: return 10054;           // WSAECONNRESET
        case E::HostNotFoundError: return 11001;               // WSAHOST_NOT_FOUND
        case E::SocketAccessError: return 10013;               // WSAEACCES
        case E::SocketResourceError: return 10055;             // WSAENOBUFS
        case E::SocketTimeoutError: return 10060;              // WSAETIMEDOUT
        case E::DatagramTooLargeError: return 10040;           // WSAEMSGSIZE
        // Qt's network error on connecting is mostly an unreachable host (or network).
        case E::NetworkError: return 10065;                    // WSAEHOSTUNREACH
        case E::AddressInUseError: return 10048;               // WSAEADDRINUSE
        case E::SocketAddressNotAvailableError: return 10049;  // WSAEADDRNOTAVAIL
        case E::UnsupportedSocketOperationError: return 10045; // WSAEOPNOTSUPP
        case E::UnfinishedSocketOperationError: return 10036;  // WSAEINPROGRESS
        case E::TemporaryError: return 10035;                  // WSAEWOULDBLOCK
        case E::OperationError: return 10022;                  // WSAEINVAL
        case E::ProxyConnectionRefusedError: return 10061;
        case E::ProxyConnectionClosedError: return 10054;
        case E::ProxyConnectionTimeoutError: return 10060;
        case E::ProxyNotFoundError: return 11001;
        case E::ProxyAuthenticationRequiredError:
        case E::ProxyProtocolError:
        case E::SslHandshakeFailedError:
        case E::SslInternalError:
        case E::SslInvalidUserDataError:
        case E::UnknownSocketError: return 10053;              // WSAECONNABORTED
    }
    // clang-format on
    return 10053;
}

}  // namespace halcyra
