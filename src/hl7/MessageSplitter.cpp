#include "hl7/MessageSplitter.h"

#include "hl7/CaptureReader.h"
#include "hl7/FrameFinder.h"
#include "hl7/MessageFramer.h"
#include "hl7/MessageIndex.h"

namespace halcyra {
namespace {

void SplitFramed(std::string_view bytes, TCapturedStream& stream)
{
    TFrameFinder frames;
    TFrame frame;
    while (frames.Next(bytes, frame)) {
        TCapturedMessage message;
        message.segments = SplitSegments(frame.body);
        message.badEnd = frame.badEnd;
        stream.messages.push_back(std::move(message));
    }
}

void SplitPlainText(std::string_view bytes, TCapturedStream& stream)
{
    TCaptureReader reader(bytes.size());
    reader.SetForm(TStreamForm::PlainText);
    reader.Append(bytes);
    reader.Finish();
    TMessageIndex index;
    TCapturedText text;
    while (reader.Next(text) == TCaptureReader::Message) {
        index.IndexLines(text.text);
        TCapturedMessage& message = stream.messages.emplace_back();
        for (std::size_t i = 0; i < index.size(); ++i) message.segments.emplace_back(index.Segment(i));
    }
}

}  // namespace

TSegmentList SplitSegments(std::string_view message)
{
    TSegmentList segments;
    CutSegments(message, segments);
    return segments;
}

TCapturedStream SplitCapturedStream(std::string_view bytes)
{
    TCapturedStream stream;
    if (bytes.find(kStartBlock) != std::string_view::npos) {
        stream.form = TStreamForm::Framed;
        SplitFramed(bytes, stream);
    } else {
        SplitPlainText(bytes, stream);
    }
    return stream;
}

}  // namespace halcyra
