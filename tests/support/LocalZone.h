// Runs a test in a time zone of its choosing: TZ is set for the process while the object lives, and put
// back afterwards.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace halcyra::test {

class TLocalZone {
public:
    explicit TLocalZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TLocalZone()
    {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    TLocalZone(const TLocalZone&) = delete;
    TLocalZone& operator=(const TLocalZone&) = delete;

private:
    std::optional<std::string> old_;
};

}  // namespace halcyra::test
