// The Windows Sockets error numbers that the system reports for socket failures, for Qt's socket errors.
#pragma once

#include <QAbstractSocket>

namespace halcyra {

// 10061 refused, 10054 reset or closed by the peer, 10060 timed out, 10065 host unreachable, 11001 host
// not found, and so on.
int WindowsSocketsErrorNumber(QAbstractSocket::SocketError error);

}  // namespace halcyra
