#include "relay/AllowedClients.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace halcyra {
namespace {

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool PrefixMatches(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b, int bits)
{
    const int whole = bits / 8;
    if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(whole)) != 0) return false;
    const int rest = bits % 8;
    if (rest == 0) return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - rest));
    return (a[whole] & mask) == (b[whole] & mask);
}

}  // namespace

bool TAllowedClients::ParseAddress(std::string_view text, std::array<std::uint8_t, 16>& bytes, bool& isV4)
{
    // A scope ("fe80::1%eth0") names an interface, not a peer.
    if (text.empty() || text.size() > INET6_ADDRSTRLEN || text.find('%') != std::string_view::npos) return false;
    const std::string zeroTerminated(text);
    in_addr v4{};
    if (inet_pton(AF_INET, zeroTerminated.c_str(), &v4) == 1) {
        bytes.fill(0);
        bytes[10] = 0xFF;
        bytes[11] = 0xFF;
        std::memcpy(bytes.data() + 12, &v4, 4);
        isV4 = true;
        return true;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, zeroTerminated.c_str(), &v6) == 1) {
        std::memcpy(bytes.data(), &v6, 16);
        static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        isV4 = std::memcmp(bytes.data(), kMapped, 12) == 0;
        return true;
    }
    return false;
}

TAllowedClients TAllowedClients::Parse(std::string_view text, std::vector<std::string>& rejected)
{
    TAllowedClients result;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(';'), text.size());
        const std::string_view entry = Trim(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (entry.empty()) continue;
        const std::size_t slash = entry.find('/');
        TEntry parsed;
        bool isV4 = false;
        bool ok = ParseAddress(entry.substr(0, slash), parsed.bytes, isV4);
        if (ok && slash != std::string_view::npos) {
            const std::string_view bitsText = entry.substr(slash + 1);
            int bits = -1;
            const auto [ptr, ec] = std::from_chars(bitsText.data(), bitsText.data() + bitsText.size(), bits);
            const int maxBits = isV4 ? 32 : 128;
            ok = ec == std::errc() && ptr == bitsText.data() + bitsText.size() && !bitsText.empty() && bits >= 0 &&
                 bits <= maxBits;
            if (ok) parsed.prefixBits = isV4 ? 96 + bits : bits;
        }
        if (ok)
            result.entries_.push_back(parsed);
        else
            rejected.emplace_back(entry);
    }
    return result;
}

bool TAllowedClients::Allows(std::string_view address) const
{
    std::array<std::uint8_t, 16> bytes{};
    bool isV4 = false;
    if (!ParseAddress(Trim(address), bytes, isV4)) return false;
    return std::any_of(entries_.begin(), entries_.end(),
                       [&](const TEntry& entry) { return PrefixMatches(entry.bytes, bytes, entry.prefixBits); });
}

}  // namespace halcyra
