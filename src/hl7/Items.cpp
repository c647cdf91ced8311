#include "hl7/Items.h"

namespace halcyra {

std::string_view GetItem(std::string_view s, int k, char separator)
{
    if (k < 1) return {};
    // One plain pass: fields are short, so a library search per separator costs more than it saves.
    const char* const data = s.data();
    const std::size_t size = s.size();
    std::size_t begin = 0;
    for (int item = 1; item < k; ++item) {
        std::size_t i = begin;
        while (i < size && data[i] != separator) ++i;
        if (i == size) return {};
        begin = i + 1;
    }
    std::size_t end = begin;
    while (end < size && data[end] != separator) ++end;
    return s.substr(begin, end - begin);
}

TItems::TItems(std::string_view s, char separator)
{
    std::size_t begin = 0;
    while (count_ < kMaxItems) {
        const std::size_t end = s.find(separator, begin);
        if (end == std::string_view::npos) {
            items_[count_++] = s.substr(begin);
            break;
        }
        items_[count_++] = s.substr(begin, end - begin);
        begin = end + 1;
    }
}

}  // namespace halcyra
