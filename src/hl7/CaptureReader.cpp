#include "hl7/CaptureReader.h"

#include "hl7/Segments.h"

#include <algorithm>

namespace halcyra {
namespace {

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

std::size_t FindLineEnd(std::string_view bytes, std::size_t from)
{
    for (std::size_t i = from; i < bytes.size(); ++i)
        if (IsLineEnd(bytes[i])) return i;
    return std::string_view::npos;
}

}  // namespace

TCaptureReader::TCaptureReader(std::size_t maxMessage) : maxMessage_(maxMessage) {}

void TCaptureReader::Append(std::string_view bytes)
{
    // Drop what no later message needs, so that the buffer holds at most the message being gathered.
    std::size_t kept = 0;
    if (form_ == TStreamForm::Framed)
        kept = frames_.Kept();
    else if (form_ == TStreamForm::PlainText)
        kept = plainKept_;
    if (kept > 0) {
        buffer_.erase(0, kept);
        if (form_ == TStreamForm::Framed) {
            frames_.Shift(kept);
        } else {
            if (messageStart_ != std::string::npos) messageStart_ -= kept;
            lineScan_ -= kept;
            lineEndScan_ -= kept;
            plainKept_ = 0;
        }
    }
    buffer_.append(bytes);
}

bool TCaptureReader::DetectForm()
{
    for (; detectScan_ < buffer_.size(); ++detectScan_) {
        const std::size_t i = detectScan_;
        if (buffer_[i] == kStartBlock) {
            form_ = TStreamForm::Framed;
            return true;
        }
        if (i == 0 || IsLineEnd(buffer_[i - 1])) {
            if (buffer_.size() - i < 3 && !finished_) return false;
            if (GetSegmentKind(std::string_view(buffer_).substr(i)) == skMSH) {
                form_ = TStreamForm::PlainText;
                return true;
            }
        }
    }
    if (finished_ || buffer_.size() > maxMessage_) {
        form_ = TStreamForm::PlainText;
        return true;
    }
    return false;
}

TCaptureReader::TResult TCaptureReader::Waiting(std::size_t pending)
{
    if (pending > maxMessage_) {
        tooLarge_ = true;
        return TooLarge;
    }
    return finished_ ? End : NeedMore;
}

TCaptureReader::TResult TCaptureReader::Next(TCapturedText& message)
{
    if (tooLarge_) return TooLarge;
    if (!form_ && !DetectForm()) return NeedMore;
    return *form_ == TStreamForm::Framed ? NextFrame(message) : NextPlain(message);
}

TCaptureReader::TResult TCaptureReader::NextFrame(TCapturedText& message)
{
    TFrame frame;
    if (!frames_.Next(buffer_, frame)) return Waiting(buffer_.size() - frames_.Kept());
    if (frame.body.size() > maxMessage_) {
        tooLarge_ = true;
        return TooLarge;
    }
    message.text = frame.body;
    message.form = TStreamForm::Framed;
    message.badEnd = frame.badEnd;
    return Message;
}

TCaptureReader::TResult TCaptureReader::NextPlain(TCapturedText& message)
{
    const std::string_view bytes(buffer_);
    const std::size_t npos = std::string::npos;
    // Hands out the lines gathered so far, up to `end`, as one message.
    const auto emit = [&](std::size_t end, std::size_t next) {
        message.text = bytes.substr(messageStart_, end - messageStart_);
        message.form = TStreamForm::PlainText;
        message.badEnd = false;
        messageStart_ = next;
        plainKept_ = end;
        if (message.text.size() > maxMessage_) {
            tooLarge_ = true;
            return TooLarge;
        }
        return Message;
    };
    while (true) {
        // A line that arrives in many pieces is searched once, not again from its start with every piece.
        std::size_t lineEnd = FindLineEnd(bytes, std::max(lineScan_, lineEndScan_));
        lineEndScan_ = lineEnd == npos ? bytes.size() : lineEnd;
        if (lineEnd == npos) {
            if (!finished_) {
                if (messageStart_ == npos) plainKept_ = lineScan_;
                return Waiting(bytes.size() - (messageStart_ == npos ? lineScan_ : messageStart_));
            }
            if (lineScan_ == bytes.size()) {
                if (messageStart_ == npos) return End;
                return emit(bytes.size(), npos);
            }
            lineEnd = bytes.size();  // the last line of the stream needs no line end
        }
        const std::size_t lineStart = lineScan_;
        lineScan_ = lineEnd < bytes.size() ? lineEnd + 1 : lineEnd;
        if (lineEnd == lineStart) continue;
        if (messageStart_ == npos)
            messageStart_ = lineStart;
        else if (GetSegmentKind(bytes.substr(lineStart, lineEnd - lineStart)) == skMSH)
            return emit(lineStart, lineStart);
    }
}

}  // namespace halcyra
