// The process's local zone set for the life of the object, and the one before put back after it, for tests
// whose results depend on the local zone. Not for tests that run threads: the zone is the whole process's.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace halcyra::test {

class TScopedTimeZone {
public:
    explicit TScopedTimeZone(const char* zone)
    {
        if (const char* before = std::getenv("TZ")) before_ = before;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TScopedTimeZone()
    {
        if (before_)
            ::setenv("TZ", before_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    TScopedTimeZone(const TScopedTimeZone&) = delete;
    TScopedTimeZone& operator=(const TScopedTimeZone&) = delete;

    // Whether the zone is known on this machine: an unknown name silently means UTC. Checked on a winter
    // instant, where the zones the tests name are not UTC.
    static long WinterOffsetSeconds()
    {
        const std::time_t instant = 1767225600;  // 2026-01-01 00:00 UTC
        std::tm local{};
        ::localtime_r(&instant, &local);
        return local.tm_gmtoff;
    }

private:
    std::optional<std::string> before_;
};

}  // namespace halcyra::test
