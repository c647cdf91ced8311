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

}  // namespace halcyra
