// The data manager's automation object, as this system sees it: the four calls it makes, each either
// accepted by the data manager or failed. Texts are single-byte (Windows-1252); times are date-time
// doubles. The transport (D-Bus in the program, recorders in tests) lives behind the factory.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halcyra {

// A call or the creation failed: the data manager refused it, is gone, or there is no bus.
class EDataManagerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The data manager did not answer in time: it hangs, so further calls would cost the same wait.
class EDataManagerTimeout : public EDataManagerError {
public:
    using EDataManagerError::EDataManagerError;
};

// Values of SetCollectorState's state argument.
inline constexpr std::int32_t kCollectorIdle = 1;
inline constexpr std::int32_t kCollectorCollecting = 2;

class IQuarzelAutoObject {
public:
    virtual ~IQuarzelAutoObject() = default;
    // Each call returns when the data manager accepted it and throws EDataManagerError otherwise.
    virtual void NotifyDataChanged() = 0;
    virtual void SetCollectorState(std::int32_t source, std::int32_t state) = 0;
    virtual void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                          double value) = 0;
    virtual void AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit, double time,
                              std::int32_t reserved) = 0;
};

// Creates the automation object (CoQuarzelAutoObject). Throws EDataManagerError when the data manager is
// not available.
class IDataManagerLinkFactory {
public:
    virtual ~IDataManagerLinkFactory() = default;
    virtual std::unique_ptr<IQuarzelAutoObject> Create() = 0;
};

}  // namespace halcyra
