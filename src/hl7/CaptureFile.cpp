#include "hl7/CaptureFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace halcyra {

TCaptureFile::TCaptureFile(std::filesystem::path path, std::size_t chunkSize, std::size_t maxMessage)
    : path_(std::move(path)), chunkSize_(chunkSize == 0 ? 1 : chunkSize), maxMessage_(maxMessage), reader_(maxMessage)
{
}

bool TCaptureFile::Open()
{
    fd_ = fileio::TFd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_.Valid()) {
        Fail(std::generic_category().message(errno));
        return false;
    }
    // A framed capture shows its start byte at once; a plain-text one is read through to its end.
    form_ = TStreamForm::PlainText;
    while (ReadChunk(chunk_)) {
        if (std::memchr(chunk_.data(), kStartBlock, chunk_.size()) != nullptr) {
            form_ = TStreamForm::Framed;
            break;
        }
    }
    if (failed_) return false;
    Rewind();
    return true;
}

void TCaptureFile::Rewind()
{
    offset_ = 0;
    eof_ = false;
    reader_ = TCaptureReader(maxMessage_);
    reader_.SetForm(form_);
}

bool TCaptureFile::ReadChunk(std::string& chunk)
{
    chunk.resize(chunkSize_);
    for (;;) {
        const ssize_t got = ::pread(fd_.Get(), chunk.data(), chunk.size(), static_cast<off_t>(offset_));
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(std::generic_category().message(errno));
            chunk.clear();
            return false;
        }
        chunk.resize(static_cast<std::size_t>(got));
        offset_ += static_cast<std::uint64_t>(got);
        return got > 0;
    }
}

TCaptureFile::TResult TCaptureFile::Fail(std::string error)
{
    if (!failed_) error_ = std::move(error);
    failed_ = true;
    return Failed;
}

TCaptureFile::TResult TCaptureFile::Next(TCapturedMessage& message)
{
    const TResult result = Next();
    if (result != Message) return result;
    message.badEnd = badEnd_;
    message.segments = index_.Copy();
    return Message;
}

TCaptureFile::TResult TCaptureFile::Next()
{
    if (failed_) return Failed;
    TCapturedText text;
    for (;;) {
        switch (reader_.Next(text)) {
            case TCaptureReader::Message:
                badEnd_ = text.badEnd;
                if (form_ == TStreamForm::Framed)
                    index_.IndexFrame(text.text);
                else
                    index_.IndexLines(text.text);
                return Message;
            case TCaptureReader::End:
                return End;
            case TCaptureReader::TooLarge:
                return Fail("more than " + std::to_string(maxMessage_) +
                            " bytes without the end of a message, before byte " + std::to_string(offset_));
            case TCaptureReader::NeedMore:
                if (eof_) {
                    reader_.Finish();
                    break;
                }
                if (ReadChunk(chunk_))
                    reader_.Append(chunk_);
                else if (failed_)
                    return Failed;
                else
                    eof_ = true;
                break;
        }
    }
}

}  // namespace halcyra
