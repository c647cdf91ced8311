// A data manager that is there (or not) and records every call it is made as one line:
// "NotifyDataChanged", "SetCollectorState SOURCE STATE", "AddValue ID LABEL UNIT TIME VALUE" (the time as
// yyyy-mm-ddThh:mm:ss.zzz) and "AddDelimiter LABEL UNIT", with the delimiters' times kept apart. It answers
// each call at once, or holds the answers until the test gives them; it can leave the bus and come back.
#pragma once

#include "datamanager/DataManagerLink.h"
#include "datamanager/IVelgard_TLB.h"
#include "platform/DateTime.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra::test {

class TRecordingDataManager final : public IDataManagerLinkFactory {
public:
    std::unique_ptr<IQuarzelAutoObject> Create(IDataManagerEvents& events) override
    {
        ++creations;
        if (!available) throw EDataManagerError("not running");
        answers_ = &events;
        return std::make_unique<TObject>(*this, events);
    }
    std::unique_ptr<IDataManagerWatch> Watch(IDataManagerEvents& events) override
    {
        return std::make_unique<TWatch>(*this, events);
    }

    // The recorded calls that begin with `prefix`, in order.
    std::vector<std::string> CallsStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }

    // Gives `count` held answers (all when negative) to the newest object, each an error with `cause` when it
    // is not empty.
    void Answer(int count = -1, const std::string& cause = {}, bool late = false)
    {
        while (held > 0 && count != 0 && answers_ != nullptr) {
            --held;
            --count;
            if (cause.empty())
                answers_->CallAnswered();
            else
                answers_->CallFailed(cause, late);
        }
    }
    // The data manager ends, or starts again (its name gets a new owner).
    void Leave(const std::string& cause = "the data manager left the D-Bus session bus")
    {
        // Its answers never come.
        held = 0;
        answers_ = nullptr;
        if (presence_ != nullptr) presence_->DataManagerGone(cause);
    }
    void Return()
    {
        if (presence_ != nullptr) presence_->DataManagerAppeared();
    }

    bool available = true;
    // Calls are answered when the test says so, not at once.
    bool holdAnswers = false;
    // Held answers come when the link waits for them (as a transport that can wait delivers them).
    bool answerOnWait = false;
    int waits = 0;
    // Calls whose method begins with this are refused at once.
    std::string refusing;
    int creations = 0;
    int held = 0;
    std::vector<std::string> calls;
    std::vector<double> delimiterTimes;
    // Called with each call's line as it is made: lets a test see what else happened before it.
    std::function<void(const std::string&)> onCall;

private:
    // The link owns its object; each one records into the data manager the test keeps.
    class TObject final : public IQuarzelAutoObject {
    public:
        TObject(TRecordingDataManager& to, IDataManagerEvents& events) : to_(to), events_(events) {}
        void NotifyDataChanged() override { Record("NotifyDataChanged"); }
        void SetCollectorState(std::int32_t source, std::int32_t state) override
        {
            Record("SetCollectorState " + std::to_string(source) + " " + std::to_string(state));
        }
        void AddValue(std::string_view id, std::string_view label, std::string_view unit, double time,
                      double value) override
        {
            std::ostringstream line;
            line << "AddValue " << id << " " << label << " " << unit << " " << FormatIsoMilliseconds(time) << " "
                 << value;
            Record(line.str());
        }
        void AddDelimiter(std::int32_t, std::string_view label, std::string_view unit, double time,
                          std::int32_t) override
        {
            to_.delimiterTimes.push_back(time);
            Record("AddDelimiter " + std::string(label) + " " + std::string(unit));
        }
        void AwaitAnswers(int) override
        {
            ++to_.waits;
            if (to_.answerOnWait) to_.Answer();
        }

    private:
        void Record(const std::string& line)
        {
            to_.calls.push_back(line);
            if (to_.onCall) to_.onCall(line);
            if (!to_.refusing.empty() && line.rfind(to_.refusing, 0) == 0) {
                events_.CallFailed(to_.refusing + " refused", false);
                return;
            }
            if (to_.holdAnswers)
                ++to_.held;
            else
                events_.CallAnswered();
        }

        TRecordingDataManager& to_;
        IDataManagerEvents& events_;
    };

    class TWatch final : public IDataManagerWatch {
    public:
        TWatch(TRecordingDataManager& to, IDataManagerEvents& events) : to_(to) { to_.presence_ = &events; }
        ~TWatch() override { to_.presence_ = nullptr; }

    private:
        TRecordingDataManager& to_;
    };

    IDataManagerEvents* answers_ = nullptr;
    IDataManagerEvents* presence_ = nullptr;
};

}  // namespace halcyra::test
