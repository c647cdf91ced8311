// A captured stream read from its file piece by piece and cut into the messages SplitCapturedStream gives
// for the whole file, so that a reader of the capture holds one piece and the message being gathered
// whatever the file's size.
#pragma once

#include "hl7/CaptureReader.h"
#include "hl7/MessageIndex.h"
#include "hl7/MessageSplitter.h"
#include "platform/FileIo.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace halcyra {

class TCaptureFile {
public:
    static constexpr std::size_t kChunkSize = 1024 * 1024;
    // A capture is a record of what was sent: a message far longer than any reader takes still goes
    // through to the reader that drops it, while a stream that never ends one stops the reading.
    static constexpr std::size_t kMaxMessage = 16 * kMaxMessageSize;

    enum TResult { Message, End, Failed };

    explicit TCaptureFile(std::filesystem::path path, std::size_t chunkSize = kChunkSize,
                          std::size_t maxMessage = kMaxMessage);

    // Opens the file and finds its form as SplitCapturedStream does (framed when it holds a 0x0B anywhere,
    // which takes one look through a plain-text file). False with the reason in Error().
    bool Open();
    TStreamForm Form() const { return form_; }
    // Back to the first message.
    void Rewind();
    // The next message, its segments in Segments() and BadEnd() until the next call. Failed, with the reason
    // in Error(), when the file cannot be read or holds more than maxMessage bytes without the end of a
    // message; every later call fails too.
    TResult Next();
    // The segments of the message Next gave: views of the piece read, valid until the next call.
    const TMessageIndex& Segments() const { return index_; }
    // Framed only: the frame did not end with 0x0D 0x1C 0x0D, so the program's reader would not cut it.
    bool BadEnd() const { return badEnd_; }
    // As Next, copying the segments.
    TResult Next(TCapturedMessage& message);
    const std::string& Error() const { return error_; }

private:
    bool ReadChunk(std::string& chunk);
    TResult Fail(std::string error);

    std::filesystem::path path_;
    std::size_t chunkSize_;
    std::size_t maxMessage_;
    fileio::TFd fd_;
    TStreamForm form_ = TStreamForm::PlainText;
    std::uint64_t offset_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    std::string error_;
    bool badEnd_ = false;
    std::string chunk_;
    TCaptureReader reader_;
    TMessageIndex index_;
};

}  // namespace halcyra
