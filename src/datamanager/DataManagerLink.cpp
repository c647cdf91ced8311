#include "datamanager/DataManagerLink.h"

#include "platform/Text.h"

#include <exception>

namespace halcyra {

std::int32_t CollectorStateForStatus(std::uint8_t collectStatus)
{
    return collectStatus >= 2 ? kCollectorCollecting : kCollectorIdle;
}

TDataManagerLinkResult TDataManagerLink::CreateDataManagerLink(IDataManagerLinkFactory& factory,
                                                               std::string_view firstArgument, bool noVelgard)
{
    object_.reset();
    enabled_ = false;
    if (SameTextAscii(firstArgument, kNoVelgardArgument) || noVelgard) return TDataManagerLinkResult::Disabled;
    try {
        object_ = factory.Create();
    } catch (const std::exception& e) {
        Log(std::string("Data manager not available: ") + e.what());
        object_.reset();
    }
    if (!object_) return TDataManagerLinkResult::Failed;
    enabled_ = true;
    return TDataManagerLinkResult::Created;
}

void TDataManagerLink::DisableDataManagerLink()
{
    enabled_ = false;
}

void TDataManagerLink::Log(const std::string& line) const
{
    if (logger_) logger_(line);
}

template <typename TCall>
bool TDataManagerLink::Guarded(const char* name, bool failureEndsLink, TCall&& call)
{
    if (!enabled_ || !object_) return false;
    try {
        call(*object_);
        return true;
    } catch (const EDataManagerTimeout& e) {
        DisableDataManagerLink();
        Log(std::string("Data manager link disabled, ") + name + ": " + e.what());
    } catch (const std::exception& e) {
        if (failureEndsLink) {
            DisableDataManagerLink();
            Log(std::string("Data manager link disabled, ") + name + ": " + e.what());
        } else {
            Log(std::string("Data manager ") + name + " failed: " + e.what());
        }
    }
    return false;
}

bool TDataManagerLink::NotifyDataChanged()
{
    return Guarded("NotifyDataChanged", true, [](IQuarzelAutoObject& o) { o.NotifyDataChanged(); });
}

bool TDataManagerLink::AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                                double value)
{
    return Guarded("AddValue", true, [&](IQuarzelAutoObject& o) { o.AddValue(patientId, label, unit, time, value); });
}

bool TDataManagerLink::AddDelimiter(std::string_view label, std::string_view unit, double time)
{
    return Guarded("AddDelimiter", true, [&](IQuarzelAutoObject& o) { o.AddDelimiter(0, label, unit, time, 0); });
}

bool TDataManagerLink::StartCollecting()
{
    return Guarded("SetCollectorState", true,
                   [](IQuarzelAutoObject& o) { o.SetCollectorState(0, kCollectorCollecting); });
}

bool TDataManagerLink::CollectStatusChanged(std::uint8_t collectStatus)
{
    const std::int32_t state = CollectorStateForStatus(collectStatus);
    return Guarded("SetCollectorState", false, [state](IQuarzelAutoObject& o) { o.SetCollectorState(0, state); });
}

}  // namespace halcyra
