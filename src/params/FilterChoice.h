// The filter choice of the main window. It is loaded and shown but never applied: the stored value of an
// interval is always the momentary one.
#pragma once

#include <optional>
#include <string_view>

namespace halcyra {

// Items of the radio group `FilterFunction`.
enum TFilterFunction : int { ffAverage = 0, ffMedian = 1, ffMomentary = 2 };

// Median unless the stored text is "AVERAGE" (ignoring ASCII case) or contains "MOMENT" (likewise).
TFilterFunction FilterFunctionFromText(const std::optional<std::string_view>& stored);

}  // namespace halcyra
