#include "params/FilterChoice.h"

#include "platform/Text.h"

namespace halcyra {

TFilterFunction FilterFunctionFromText(const std::optional<std::string_view>& stored)
{
    if (!stored) return ffMedian;
    const std::string upper = UpperAscii(*stored);
    if (upper == "AVERAGE") return ffAverage;
    if (upper.find("MOMENT") != std::string::npos) return ffMomentary;
    return ffMedian;
}

}  // namespace halcyra
