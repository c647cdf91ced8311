// The hive file parser on arbitrary bytes: it must not fail, and what it writes back must read as the
// same document, with nothing reported as lost, and be written back identically (a fixed point).
#include "platform/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace halcyra::regfile;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::string_view root : {"HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"}) {
        const TParseResult first = Parse(bytes, root);
        const std::string written = Serialize(first.document, root);
        const TParseResult second = Parse(written, root);
        if (second.damaged || second.lossy || !(second.document == first.document)) std::abort();
        if (Serialize(second.document, root) != written) std::abort();
    }
    return 0;
}
