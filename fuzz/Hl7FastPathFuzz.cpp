// The fast path against the grammar on arbitrary bytes: taken as one message body, as a captured stream
// fed in pieces of a size chosen by the first byte, and as a value text. Any difference aborts.
#include "FastPathDiff.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void CheckNone(const std::vector<std::string>& differences)
{
    if (differences.empty()) return;
    for (const std::string& line : differences) std::fprintf(stderr, "%s\n", line.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckNone(halcyra::MessageDifferences(bytes));
    CheckNone(halcyra::CaptureDifferences(bytes, piece));
    if (bytes.size() <= 40) CheckNone(halcyra::ValueDifferences(bytes));
    return 0;
}
