// The answer to `halcyra --status`: the run's picture as text for people or as one JSON object for scripts.
#pragma once

#include "app/RunStatus.h"

#include <QByteArray>

namespace halcyra {

// UTF-8; times as "yyyy-mm-ddThh:nn:ss" local time, null where there is none.
QByteArray RunStatusJson(const TRunStatus& status);
QByteArray StatusAnswer(const TRunStatus& status, bool json);

}  // namespace halcyra
