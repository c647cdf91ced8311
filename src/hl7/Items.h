// Cutting fields, components and sub-components out of HL7 text. Separators are fixed; the message
// header's own separator characters are not consulted.
#pragma once

#include <string_view>

namespace halcyra {

inline constexpr char kFieldSeparator = '|';
inline constexpr char kComponentSeparator = '^';
inline constexpr char kSubComponentSeparator = '&';

// Item k (from 1) of s; empty when s has fewer items or k < 1. The result views into s.
std::string_view GetItem(std::string_view s, int k, char separator);
inline std::string_view GetField(std::string_view s, int k)
{
    return GetItem(s, k, kFieldSeparator);
}
inline std::string_view GetComponent(std::string_view s, int k)
{
    return GetItem(s, k, kComponentSeparator);
}
inline std::string_view GetSubComponent(std::string_view s, int k)
{
    return GetItem(s, k, kSubComponentSeparator);
}

// The first items of a text cut in one pass, for reading several fields of one segment; item k gives
// exactly what GetItem(s, k, separator) gives, for k up to kMaxItems.
class TItems {
public:
    static constexpr int kMaxItems = 16;
    TItems(std::string_view s, char separator);
    std::string_view operator[](int k) const { return k >= 1 && k <= count_ ? items_[k - 1] : std::string_view(); }

private:
    std::string_view items_[kMaxItems];
    int count_ = 0;
};

}  // namespace halcyra
