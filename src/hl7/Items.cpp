#include "hl7/Items.h"

namespace halcyra {

std::string_view GetItem(std::string_view s, int k, char separator)
{
    if (k < 1) return {};
    for (int i = 1; i < k; ++i) {
        const std::size_t pos = s.find(separator);
        if (pos == std::string_view::npos) return {};
        s.remove_prefix(pos + 1);
    }
    return s.substr(0, s.find(separator));
}

}  // namespace halcyra
