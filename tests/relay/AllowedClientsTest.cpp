#include "relay/AllowedClients.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(AllowedClients, AnEmptyOrBlankListAllowsNobody)
{
    for (const char* text : {"", " ", ";", " ; ;"}) {
        std::vector<std::string> rejected;
        const TAllowedClients allowed = TAllowedClients::Parse(text, rejected);
        EXPECT_FALSE(allowed.AllowsAnyone()) << '"' << text << '"';
        for (const char* address : {"192.0.2.9", "127.0.0.1", "::1"}) EXPECT_FALSE(allowed.Allows(address)) << address;
        EXPECT_THAT(rejected, IsEmpty());
    }
}

TEST(AllowedClients, AddressesAndSubnets)
{
    std::vector<std::string> rejected;
    const TAllowedClients allowed = TAllowedClients::Parse("10.1.2.0/24; 10.1.3.7; ::1;fd00:1::/32", rejected);
    EXPECT_THAT(rejected, IsEmpty());
    EXPECT_TRUE(allowed.AllowsAnyone());
    const struct {
        const char* address;
        bool allowed;
    } cases[] = {
        {"10.1.2.0", true},
        {"10.1.2.255", true},
        {"10.1.3.7", true},
        {"10.1.3.8", false},
        {"10.1.1.255", false},
        {"::1", true},
        {"::2", false},
        {"::ffff:10.1.2.77", true},  // an IPv4 peer as a dual-stack listener may report it
        {"::ffff:10.1.4.1", false},
        {"fd00:1:ffff::9", true},
        {"fd00:2::9", false},
        {"127.0.0.1", false},
        {"", false},
        {"not an address", false},
    };
    for (const auto& c : cases) EXPECT_EQ(allowed.Allows(c.address), c.allowed) << c.address;
}

TEST(AllowedClients, BadEntriesAreNamedAndAllowNobody)
{
    std::vector<std::string> rejected;
    const TAllowedClients allowed =
        TAllowedClients::Parse("10.1.2.0/33; ward-pc; 10.1.2.0/; 10.1.2.0/x; 1.2.3; ::1/129; fe80::1%eth0", rejected);
    EXPECT_THAT(rejected,
                ElementsAre("10.1.2.0/33", "ward-pc", "10.1.2.0/", "10.1.2.0/x", "1.2.3", "::1/129", "fe80::1%eth0"));
    EXPECT_FALSE(allowed.AllowsAnyone());
    EXPECT_FALSE(allowed.Allows("10.1.2.1"));
    EXPECT_FALSE(allowed.Allows("127.0.0.1"));
}

TEST(AllowedClients, WholeRangesAndSingleHostPrefixes)
{
    std::vector<std::string> rejected;
    const TAllowedClients v4 = TAllowedClients::Parse("0.0.0.0/0", rejected);
    EXPECT_TRUE(v4.AllowsAnyone());
    EXPECT_TRUE(v4.Allows("203.0.113.5"));
    EXPECT_FALSE(v4.Allows("2001:db8::1"));
    const TAllowedClients host = TAllowedClients::Parse("192.168.7.9/32;10.0.0.0/9", rejected);
    EXPECT_TRUE(host.Allows("192.168.7.9"));
    EXPECT_FALSE(host.Allows("192.168.7.8"));
    EXPECT_TRUE(host.Allows("10.127.255.255"));
    EXPECT_FALSE(host.Allows("10.128.0.0"));
    EXPECT_THAT(rejected, IsEmpty());
}

}  // namespace
}  // namespace halcyra
