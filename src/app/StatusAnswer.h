// The answer to `halcyra --status`: the run's picture as text for people or as one JSON object for scripts.
#pragma once

#include "app/RunStatus.h"

#include <QByteArray>

namespace halcyra {

// UTF-8; times as local "yyyy-mm-ddThh:nn:ss+hh:mm" (ISO 8601 with the offset from UTC), null where there is
// none.
QByteArray RunStatusJson(const TRunStatus& status);
QByteArray StatusAnswer(const TRunStatus& status, bool json);
// `halcyra --status`'s exit code for an answer: 0 when the run is healthy, 3 when it runs but is not (it does
// not collect, its connection or data manager is lost).
int StatusExitCode(const QByteArray& answer, bool json);

}  // namespace halcyra
