// "RelayAllowedClients": the addresses and subnets that may take this instance's stream, as
// "10.1.2.0/24; 10.1.3.7; ::1". A list without a valid entry allows nobody; "0.0.0.0/0; ::/0" allows
// everyone.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TAllowedClients {
public:
    // Entries that are not an address or a subnet are left out and named in `rejected`.
    static TAllowedClients Parse(std::string_view text, std::vector<std::string>& rejected);

    // At least one valid entry.
    bool AllowsAnyone() const { return !entries_.empty(); }
    // An IPv4 address also matches in its IPv4-mapped IPv6 form ("::ffff:10.1.3.7"), and the other way round.
    bool Allows(std::string_view address) const;

private:
    struct TEntry {
        std::array<std::uint8_t, 16> bytes{};  // IPv4 as IPv4-mapped IPv6
        int prefixBits = 128;
    };
    static bool ParseAddress(std::string_view text, std::array<std::uint8_t, 16>& bytes, bool& isV4);

    std::vector<TEntry> entries_;
};

}  // namespace halcyra
