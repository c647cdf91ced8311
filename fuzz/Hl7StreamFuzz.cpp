// Captured streams cut into messages and segments, and each message summarised as the decode tool does.
#include "hl7/MessageSplitter.h"
#include "hl7/MessageSummary.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const halcyra::TCapturedStream stream = halcyra::SplitCapturedStream(bytes);
    std::size_t total = 0;
    for (const halcyra::TCapturedMessage& message : stream.messages) {
        for (const std::string& segment : message.segments) {
            total += segment.size();
            Check(segment.find('\r') == std::string::npos);
            if (stream.form == halcyra::TStreamForm::Framed) {
                Check(segment.find('\x0B') == std::string::npos);
            } else {
                Check(!segment.empty() && segment.find('\n') == std::string::npos);
            }
        }
        const halcyra::TMessageSummary summary = halcyra::SummarizeMessage(message.segments);
        Check(!summary.hasPatient || !summary.patientId.empty());
    }
    Check(total <= size);

    const halcyra::TSegmentList segments = halcyra::SplitSegments(bytes);
    (void)halcyra::SummarizeMessage(segments);
    return 0;
}
