// halcyra-hl7 decode [FILE] [--json]: reads a captured central-station stream (standard input without
// FILE) and prints what the program takes from each message as soon as the message is complete.
#include "Hl7Report.h"
#include "hl7/CaptureReader.h"
#include "hl7/MessageFields.h"
#include "hl7/MessageIndex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The program's own bound on a message; it also bounds the memory the tool needs for an input that never
// ends a message (a pipe of garbage, a file of lines without MSH).
constexpr std::size_t kMaxMessage = halcyra::kMaxMessageSize;
constexpr std::size_t kReadSize = 64 * 1024;

class TOutput {
public:
    bool Write(const std::string& text)
    {
        if (failed_) return false;
        if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) Fail();
        return !failed_;
    }
    bool Flush()
    {
        if (!failed_ && std::fflush(stdout) != 0) Fail();
        return !failed_;
    }
    bool Failed() const { return failed_; }

private:
    void Fail()
    {
        failed_ = true;
        std::fprintf(stderr, "halcyra-hl7: cannot write standard output: %s\n", std::strerror(errno));
    }
    bool failed_ = false;
};

class TDecoder {
public:
    TDecoder(bool json, TOutput& output) : json_(json), output_(output) {}

    // Prints every message the reader has complete; false when the output failed or a message is too large.
    bool Drain(halcyra::TCaptureReader& reader)
    {
        halcyra::TCapturedText message;
        while (true) {
            switch (reader.Next(message)) {
                case halcyra::TCaptureReader::Message:
                    if (!Print(message)) return false;
                    break;
                case halcyra::TCaptureReader::TooLarge:
                    std::fprintf(stderr,
                                 "halcyra-hl7: message %d is longer than %zu bytes, or that many bytes came without "
                                 "the end of a message: stopped\n",
                                 number_ + 1, reader.MaxMessage());
                    return false;
                case halcyra::TCaptureReader::NeedMore:
                case halcyra::TCaptureReader::End:
                    return output_.Flush();
            }
        }
    }
    int Count() const { return number_; }

private:
    bool Print(const halcyra::TCapturedText& message)
    {
        ++number_;
        if (message.badEnd)
            std::fprintf(
                stderr,
                "halcyra-hl7: message %d: the frame ends without a segment end (CR or CR LF) before 0x1C 0x0D, "
                "so Halcyra would not cut the message there\n",
                number_);
        if (message.form == halcyra::TStreamForm::Framed)
            index_.IndexFrame(message.text);
        else
            index_.IndexLines(message.text);
        halcyra::ReadMessageFields(index_, fields_);
        return output_.Write(json_ ? halcyra::SummaryToJson(fields_) + '\n'
                                   : halcyra::SummaryToText(number_, fields_) + '\n');
    }

    bool json_;
    TOutput& output_;
    halcyra::TMessageIndex index_;
    halcyra::TMessageFields fields_;
    int number_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("halcyra-hl7");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows what Halcyra takes from a captured HL7 stream, framed (0x0B ... 0x1C 0x0D) or plain text "
        "(one segment per line, each message starting at MSH).");
    parser.addHelpOption();
    parser.addPositionalArgument("command", "decode");
    parser.addPositionalArgument("file", "The captured stream; standard input when absent.", "[FILE]");
    const QCommandLineOption jsonOption("json", "One JSON object per message and line.");
    parser.addOption(jsonOption);
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.first() != "decode" || args.size() > 2) {
        std::fprintf(stderr, "halcyra-hl7: usage: halcyra-hl7 decode [FILE] [--json]\n");
        return 2;
    }
    const QString path = args.size() == 2 ? args.at(1) : QString();
    const bool fromStdin = path.isEmpty() || path == "-";
    const std::string inputName = fromStdin ? std::string("standard input") : path.toStdString();

    // A reader that has gone away is reported like any other failed write, not by a silent signal.
    std::signal(SIGPIPE, SIG_IGN);

    const int fd = fromStdin ? STDIN_FILENO : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "halcyra-hl7: cannot read %s: %s\n", inputName.c_str(), std::strerror(errno));
        return 1;
    }

    TOutput output;
    TDecoder decoder(parser.isSet(jsonOption), output);
    halcyra::TCaptureReader reader(kMaxMessage);
    std::string chunk(kReadSize, '\0');
    while (true) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            std::fprintf(stderr, "halcyra-hl7: cannot read %s: %s\n", inputName.c_str(), std::strerror(errno));
            return 1;
        }
        if (got == 0) break;
        reader.Append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        if (!decoder.Drain(reader)) return 1;
    }
    reader.Finish();
    if (!decoder.Drain(reader)) return 1;
    if (decoder.Count() == 0) std::fprintf(stderr, "halcyra-hl7: no message found\n");
    return output.Flush() ? 0 : 1;
}
