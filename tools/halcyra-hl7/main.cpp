// halcyra-hl7 decode [FILE] [--json]: reads a captured central-station stream (standard input without
// FILE) and prints what the program takes from each message.
#include "Hl7Report.h"
#include "hl7/MessageSplitter.h"
#include "hl7/MessageSummary.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

bool ReadInput(const QString& path, std::string& bytes, QString& error)
{
    QFile file;
    bool opened = false;
    if (path.isEmpty() || path == "-") {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(path);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened) {
        error = file.errorString();
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return false;
    }
    bytes.assign(data.constData(), static_cast<std::size_t>(data.size()));
    return true;
}

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

    std::string bytes;
    QString error;
    if (!ReadInput(path, bytes, error)) {
        std::fprintf(stderr, "halcyra-hl7: cannot read %s: %s\n", path.isEmpty() ? "standard input" : qPrintable(path),
                     qPrintable(error));
        return 1;
    }

    const halcyra::TCapturedStream stream = halcyra::SplitCapturedStream(bytes);
    const bool json = parser.isSet(jsonOption);
    int number = 0;
    for (const halcyra::TCapturedMessage& message : stream.messages) {
        ++number;
        if (message.badEnd)
            std::fprintf(stderr,
                         "halcyra-hl7: message %d: the frame ends without the carriage return before 0x1C 0x0D, "
                         "so Halcyra would not cut the message there\n",
                         number);
        const halcyra::TMessageSummary summary = halcyra::SummarizeMessage(message.segments);
        if (json)
            std::cout << halcyra::SummaryToJson(summary) << '\n';
        else
            std::cout << halcyra::SummaryToText(number, summary) << '\n';
    }
    if (stream.messages.empty()) std::fprintf(stderr, "halcyra-hl7: no message found\n");
    std::cout.flush();
    return std::cout ? 0 : 1;
}
