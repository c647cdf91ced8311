// The collection cycle and the message handling as the relay client's reader uses them.
#pragma once

#include "app/ReaderCycle.h"

namespace halcyra {

class TRelayReaderCycle final : public TReaderCycle {
public:
    using TReaderCycle::TReaderCycle;

    // The relay client keeps its own sign of life; the central-station supervision does not see it.
    void DataReceived(TMonotonic /*now*/) override {}
    void MessageComplete(TMonotonic now) override { cycle_.RelayMessageReceived(now); }
};

}  // namespace halcyra
