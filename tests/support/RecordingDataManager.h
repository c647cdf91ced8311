// A data manager that is there (or not) and records every call it is made as one line:
// "NotifyDataChanged", "SetCollectorState SOURCE STATE", "AddValue ID LABEL UNIT TIME VALUE" (the time as
// yyyy-mm-ddThh:mm:ss.zzz) and "AddDelimiter LABEL UNIT", with the delimiters' times kept apart.
#pragma once

#include "datamanager/DataManagerLink.h"
#include "datamanager/IVelgard_TLB.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra::test {

class TRecordingDataManager final : public IDataManagerLinkFactory {
public:
    std::unique_ptr<IQuarzelAutoObject> Create() override
    {
        ++creations;
        if (!available) throw EDataManagerError("not running");
        return std::make_unique<TObject>(*this);
    }

    // The recorded calls that begin with `prefix`, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

    bool available = true;
    int creations = 0;
    std::vector<std::string> calls;
    std::vector<double> delimiterTimes;

private:
    // The link owns its object; each one records into the data manager the test keeps.
    class TObject final : public IQuarzelAutoObject {
    public:
        explicit TObject(TRecordingDataManager& to) : to_(to) {}
        void NotifyDataChanged() override { to_.calls.push_back("NotifyDataChanged"); }
        void SetCollectorState(std::int32_t source, std::int32_t state) override
        {
            to_.calls.push_back("SetCollectorState " + std::to_string(source) + " " + std::to_string(state));
        }
        void AddValue(std::string_view id, std::string_view label, std::string_view unit, double time,
                      double value) override
        {
            std::ostringstream line;
            line << "AddValue " << id << " " << label << " " << unit << " " << FormatIsoMilliseconds(time) << " "
                 << value;
            to_.calls.push_back(line.str());
        }
        void AddDelimiter(std::int32_t, std::string_view label, std::string_view unit, double time,
                          std::int32_t) override
        {
            to_.calls.push_back("AddDelimiter " + std::string(label) + " " + std::string(unit));
            to_.delimiterTimes.push_back(time);
        }

    private:
        TRecordingDataManager& to_;
    };
};

}  // namespace halcyra::test
