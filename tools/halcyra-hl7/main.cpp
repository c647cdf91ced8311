// halcyra-hl7 decode [FILE] [--json]: reads a captured central-station stream (standard input without
// FILE) and prints what the program takes from each message as soon as the message is complete.
#include "Hl7Report.h"
#include "ToolConventions.h"
#include "hl7/CaptureReader.h"
#include "hl7/MessageFields.h"
#include "hl7/MessageIndex.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using halcyra::tool::Complain;

// The program's own bound on a message; it also bounds the memory the tool needs for an input that never
// ends a message (a pipe of garbage, a file of lines without MSH).
constexpr std::size_t kMaxMessage = halcyra::kMaxMessageSize;
constexpr std::size_t kReadSize = 64 * 1024;

// Standard output that stops at the first failed write and keeps why it failed.
class TOutput {
public:
    bool Write(const std::string& text)
    {
        if (error_ == 0 && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) error_ = errno;
        return error_ == 0;
    }
    bool Flush()
    {
        if (error_ == 0 && std::fflush(stdout) != 0) error_ = errno;
        return error_ == 0;
    }
    int Error() const { return error_; }

private:
    int error_ = 0;
};

class TDecoder {
public:
    TDecoder(const QString& input, bool json, TOutput& output) : input_(input), json_(json), output_(output) {}

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
                    Complain(QStringLiteral("%1: message %2 is longer than %3 bytes, or that many bytes came without "
                                            "the end of a message: stopped")
                                 .arg(input_)
                                 .arg(number_ + 1)
                                 .arg(reader.MaxMessage()));
                    return false;
                case halcyra::TCaptureReader::NeedMore:
                case halcyra::TCaptureReader::End:
                    return output_.Flush();
            }
        }
    }
    // Messages with an MSH segment: an input without one holds no HL7 at all.
    int Hl7Messages() const { return hl7Messages_; }

private:
    bool Print(const halcyra::TCapturedText& message)
    {
        ++number_;
        if (message.badEnd)
            Complain(QStringLiteral("%1: message %2: the frame ends without a segment end (CR or CR LF) before 0x1C "
                                    "0x0D, so Halcyra would not cut the message there")
                         .arg(input_)
                         .arg(number_));
        if (message.form == halcyra::TStreamForm::Framed)
            index_.IndexFrame(message.text);
        else
            index_.IndexLines(message.text);
        halcyra::ReadMessageFields(index_, fields_);
        if (fields_.hasVersion) ++hl7Messages_;
        return output_.Write(json_ ? halcyra::SummaryToJson(fields_) + '\n'
                                   : halcyra::SummaryToText(number_, fields_) + '\n');
    }

    QString input_;
    bool json_;
    TOutput& output_;
    halcyra::TMessageIndex index_;
    halcyra::TMessageFields fields_;
    int number_ = 0;
    int hl7Messages_ = 0;
};

// The input's descriptor, or -1 after saying why there is none.
int OpenInput(const QString& path, const QString& shown)
{
    if (path.isEmpty() || path == QStringLiteral("-")) return STDIN_FILENO;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        Complain(shown + QStringLiteral(": is a folder, not a file"));
        return -1;
    }
    if (fd < 0) Complain(shown + QStringLiteral(": cannot read: ") + QString::fromLocal8Bit(std::strerror(errno)));
    return fd;
}

}  // namespace

int main(int argc, char** argv)
{
    namespace tool = halcyra::tool;
    QCoreApplication app(argc, argv);
    tool::Identify("halcyra-hl7");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Shows what Halcyra takes from a captured HL7 stream, framed (0x0B ... 0x1C 0x0D) or plain text "
        "(one segment per line, each message starting at MSH).\n"
        "Exit codes: 0 decoded, 1 the input cannot be read, holds no HL7 message or a message is too long, or the "
        "output cannot be written, 2 a wrong command line.");
    tool::AddStandardOptions(parser);
    parser.addPositionalArgument("command", "decode");
    parser.addPositionalArgument("file", "The captured stream; standard input when absent or -.", "[FILE]");
    const QCommandLineOption jsonOption("json", "One JSON object per message and line.");
    parser.addOption(jsonOption);
    tool::ParseOrExit(parser, QCoreApplication::arguments());

    const QStringList args = parser.positionalArguments();
    const QString usage = QStringLiteral("halcyra-hl7 decode [FILE] [--json]");
    if (args.isEmpty()) tool::UsageError(QStringLiteral("no command given: ") + usage);
    if (args.first() != "decode") tool::UsageError(QStringLiteral("unknown command '%1': %2").arg(args.first(), usage));
    if (args.size() > 2) tool::UsageError(QStringLiteral("more than one FILE: ") + usage);
    const QString path = args.size() == 2 ? args.at(1) : QString();
    const QString input = path.isEmpty() || path == "-" ? QStringLiteral("standard input") : path;

    tool::IgnoreSigpipe();
    const int fd = OpenInput(path, input);
    if (fd < 0) return tool::kExitProblem;

    TOutput output;
    TDecoder decoder(input, parser.isSet(jsonOption), output);
    halcyra::TCaptureReader reader(kMaxMessage);
    std::string chunk(kReadSize, '\0');
    bool more = true;
    while (more) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            Complain(input + QStringLiteral(": cannot read: ") + QString::fromLocal8Bit(std::strerror(errno)));
            return tool::kExitProblem;
        }
        if (got == 0) {
            reader.Finish();
            more = false;
        } else {
            reader.Append(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        }
        if (!decoder.Drain(reader))
            return output.Error() != 0 ? tool::OutputFailed(output.Error()) : tool::kExitProblem;
    }
    if (decoder.Hl7Messages() == 0) {
        Complain(input + QStringLiteral(": holds no HL7 message (no MSH segment)"));
        return tool::kExitProblem;
    }
    return tool::kExitOk;
}
