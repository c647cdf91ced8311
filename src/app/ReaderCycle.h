// The collection cycle and the message handling as the central-station reader uses them.
#pragma once

#include "app/CollectionCycle.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageHandler.h"

namespace halcyra {

class TReaderCycle : public ICentralStationCycle {
public:
    TReaderCycle(TCollectionCycle& cycle, TMessageHandler& messages) : cycle_(cycle), messages_(messages) {}

    bool InProgress() const override { return cycle_.Busy(); }
    void SetInProgress(bool inProgress) override { cycle_.SetBusy(inProgress); }
    void DataReceived(TMonotonic now) override { cycle_.DataReceived(now); }
    void MessageComplete(TMonotonic now) override { cycle_.CompleteMessageReceived(now); }
    void DecodeMessage(const TMessageIndex& segments) override { messages_.DecodeMessage(segments); }
    double ReadHoldSeconds() const override { return cycle_.ReadHoldSeconds(); }
    void SetHeldMessages(bool held) override { cycle_.SetHeldMessages(held); }

protected:
    TCollectionCycle& cycle_;
    TMessageHandler& messages_;
};

}  // namespace halcyra
