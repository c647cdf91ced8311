// The main window's link to the data manager: the automation object and the flag "link enabled", with
// the rules for when a failed call ends the link for the rest of the run.
#pragma once

#include "datamanager/IVelgard_TLB.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr std::string_view kNoVelgardArgument = "NOVELGARD";
inline constexpr std::string_view kUnableToStartMessage = "Unable to start, please contact Tovarin";

// The state sent for a collection status: 0 (not connected) and 1 (connected) give 1, 2 (collecting)
// and 3 (connection lost while collecting) give 2.
std::int32_t CollectorStateForStatus(std::uint8_t collectStatus);

enum class TDataManagerLinkResult {
    Disabled,  // NOVELGARD or "NoVelgard": no object, no call will be made
    Created,   // the object exists and the link is enabled
    Failed,    // the object cannot be created: the program must say so and end
};

class TDataManagerLink {
public:
    using TLogger = std::function<void(const std::string& line)>;

    // Receives one line whenever a failure ends the link (and for ignored status-change failures).
    void SetLogger(TLogger logger) { logger_ = std::move(logger); }

    // Start-up: no object when the first command-line argument is "NOVELGARD" in any letter case or
    // noVelgard is set (nothing is created, no call is ever made); otherwise the object is created and
    // the link enabled. Failed means the caller shows kUnableToStartMessage and ends the program.
    TDataManagerLinkResult CreateDataManagerLink(IDataManagerLinkFactory& factory, std::string_view firstArgument,
                                                 bool noVelgard);
    // Clears the flag: no further call for the rest of the run.
    void DisableDataManagerLink();

    bool LinkEnabled() const { return enabled_; }
    bool HasObject() const { return object_ != nullptr; }

    // The calls of the run. Each is made only while the link is enabled and returns whether the data
    // manager accepted it; a failure of these ends the link.
    bool NotifyDataChanged();
    bool AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time, double value);
    bool AddDelimiter(std::string_view label, std::string_view unit, double time);
    // Start of collection: SetCollectorState(0, 2).
    bool StartCollecting();
    // A change of the collection status (the caller checks that it changed): SetCollectorState(0, 1 or 2).
    // A refused call is ignored; a data manager that does not answer at all ends the link like any other
    // call, so a hanging data manager costs the wait only once.
    bool CollectStatusChanged(std::uint8_t collectStatus);

private:
    template <typename TCall>
    bool Guarded(const char* name, bool failureEndsLink, TCall&& call);
    void Log(const std::string& line) const;

    std::unique_ptr<IQuarzelAutoObject> object_;
    bool enabled_ = false;
    TLogger logger_;
};

}  // namespace halcyra
