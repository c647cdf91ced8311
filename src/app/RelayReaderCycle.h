// The collection cycle and the message handling as the relay client's reader uses them.
#pragma once

#include "app/CollectionCycle.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageHandler.h"

namespace halcyra {

class TRelayReaderCycle final : public ICentralStationCycle {
public:
    TRelayReaderCycle(TCollectionCycle& cycle, TMessageHandler& messages) : cycle_(cycle), messages_(messages) {}

    bool InProgress() const override { return cycle_.Busy(); }
    void SetInProgress(bool inProgress) override { cycle_.SetBusy(inProgress); }
    // The relay client keeps its own sign of life; the central-station supervision does not see it.
    void DataReceived(TDateTime /*now*/) override {}
    void MessageComplete(TDateTime now) override { cycle_.RelayMessageReceived(now); }
    void DecodeMessage(TSegmentList& segments) override
    {
        messages_.SegmentList().swap(segments);
        messages_.DecodeMessage();
    }

private:
    TCollectionCycle& cycle_;
    TMessageHandler& messages_;
};

}  // namespace halcyra
