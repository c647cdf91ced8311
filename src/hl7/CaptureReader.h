// Cuts a captured stream into messages while it arrives (a file read piece by piece, or a pipe), so that
// each message can be handled as soon as it is complete and memory stays within a small multiple of the
// largest message.
//
// Forms: framed, where each message runs from a 0x0B to the next 0x1C 0x0D (TFrameFinder); or plain
// text, one segment per line (lines end at CR or LF, empty lines are skipped), where each MSH line starts
// a message and lines before the first MSH form a message of their own. Unless the form is given, the
// stream is framed when a 0x0B comes before the first line that starts with "MSH", plain text otherwise.
//
//     TCaptureReader reader(limit);
//     while (read a piece) {
//         reader.Append(piece);
//         while (reader.Next(message) == TCaptureReader::Message) Handle(message);
//     }
//     reader.Finish();
//     while (reader.Next(message) == TCaptureReader::Message) Handle(message);
#pragma once

#include "hl7/FrameFinder.h"
#include "hl7/MessageSplitter.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

struct TCapturedText {
    // Framed: the body between 0x0B and 0x1C 0x0D (TMessageIndex::IndexFrame). Plain text: the message's
    // lines with their line ends (TMessageIndex::IndexLines).
    std::string_view text;
    TStreamForm form = TStreamForm::Framed;
    bool badEnd = false;  // framed only: see TFrame
};

class TCaptureReader {
public:
    enum TResult { Message, NeedMore, End, TooLarge };

    // A message longer than maxMessage bytes, or that many bytes without the end of a message, ends
    // the reading with TooLarge.
    explicit TCaptureReader(std::size_t maxMessage);

    void SetForm(TStreamForm form) { form_ = form; }
    std::optional<TStreamForm> Form() const { return form_; }

    // More bytes of the stream; views given out before become invalid.
    void Append(std::string_view bytes);
    // The stream has ended: a last plain-text message is complete, an unfinished frame is dropped.
    void Finish() { finished_ = true; }

    // Message: `message` holds the next message (valid until the next Append). NeedMore: append more
    // bytes. End: after Finish, nothing more. TooLarge: stop reading (and every later call says so).
    TResult Next(TCapturedText& message);

    std::size_t MaxMessage() const { return maxMessage_; }
    // Bytes held: at most the message being gathered and the last piece appended.
    std::size_t Buffered() const { return buffer_.size(); }

private:
    bool DetectForm();
    TResult NextFrame(TCapturedText& message);
    TResult NextPlain(TCapturedText& message);
    TResult Waiting(std::size_t pending);

    std::size_t maxMessage_;
    std::string buffer_;
    bool finished_ = false;
    bool tooLarge_ = false;
    std::optional<TStreamForm> form_;
    std::size_t detectScan_ = 0;
    TFrameFinder frames_;
    // Plain text: the first line of the message being gathered (npos before one), and where the search
    // for the next line end continues.
    std::size_t messageStart_ = std::string::npos;
    std::size_t lineScan_ = 0;
    std::size_t lineEndScan_ = 0;  // no line end lies in [lineScan_, lineEndScan_)
    std::size_t plainKept_ = 0;
};

}  // namespace halcyra
