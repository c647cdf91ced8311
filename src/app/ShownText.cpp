#include "app/ShownText.h"

#include "platform/Text.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>

#include <vector>

namespace halcyra {
namespace {

// The core's sentences as it words them (CentralStationReader, MessageHandler, PatientMonitorFile, Census,
// the collection cycle, the data-manager link, ...). A longer sentence comes before a shorter one it would
// also match.
const char* const kSources[] = {
    // The connection.
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Disconnected"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Expected lifetick is missing"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Bad HL7 Version ID = %1"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "%1 - Connected to  Central Station: %2 (%3)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "%1 - Connected to  Velgard: %2 (%3)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Central Station Data Client (Ver. %1)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Unknown version"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Collecting Central Station Data ( %1)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Collecting Central Station Data"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Central Station Settings %1"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Asynchronous socket error %1 (%2: %3)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Asynchronous socket error %1 (%2)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Asynchronous socket error %1"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "not an IPv4 address"),
    // The socket library's own reasons, as they come without its translations.
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Connection refused"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Host not found"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Host unreachable"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Network unreachable"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Network error"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Connection timed out"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Socket operation timed out"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "The remote host closed the connection"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Unknown error"),
    // Errors that reach the window's status line.
    QT_TRANSLATE_NOOP("halcyra::ShownText", "No parameters selected"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Exception: Could not Add Icon"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Exception: Could not Delete Icon"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Exception: Could not create directory"),
    // A patient's row: why values were not written.
    QT_TRANSLATE_NOOP("halcyra::ShownText",
                      "%1 holds %2 series, the most a file takes: the values of %3 are not written"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "No monitor-data file could be opened in %1"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Could not declare %1 and %2 other series in %3: %4"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Could not declare %1 in %2: %3"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "The values could not be appended to %1"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "%1 of patient %2 is set aside because %3; the values go to %4"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "it cannot be read"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "it cannot be opened (%1)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "it is damaged (%1)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "its series are not numbered in order"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "it was written by another monitor"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "it belongs to another patient"),
    QT_TRANSLATE_NOOP("halcyra::ShownText",
                      "Values of patient ID %1 are not written: the folder %2 belongs to patient ID %3"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "No patient could be created in %1"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "The patient has no folder in the data folder (%1)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "The value of %1 was empty"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "The value of %1 \"%2\" is not a number"),
    QT_TRANSLATE_NOOP("halcyra::ShownText",
                      "Values wait for the clock to pass %1: the file holds later points (the clock was set back)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Patient ID %1: no patient could be created in %2 (%3)"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "the folder could not be made"),
    // Why the data manager is lost.
    QT_TRANSLATE_NOOP("halcyra::ShownText", "the data manager left the D-Bus session bus"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "the D-Bus session bus closed the connection"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "no answer from the data manager within %1 s"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "no answer from the data manager"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "the data manager fell %1 calls behind"),
    QT_TRANSLATE_NOOP("halcyra::ShownText", "the data manager %1 is neither running nor installed on the session bus"),
    // Message boxes.
    QT_TRANSLATE_NOOP("halcyra::ShownText", "Unable to copy %1 => %2: %3"),
};

struct TPattern {
    const char* source;
    QRegularExpression match;  // the whole text, each part captured
    std::vector<int> numbers;  // the placeholder number of each capture
};

const std::vector<TPattern>& Patterns()
{
    static const std::vector<TPattern> patterns = [] {
        static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
        std::vector<TPattern> built;
        for (const char* source : kSources) {
            const QString text = QString::fromUtf8(source);
            QString expression = QStringLiteral("^");
            std::vector<int> numbers;
            qsizetype at = 0;
            for (auto it = placeholder.globalMatch(text); it.hasNext();) {
                const QRegularExpressionMatch m = it.next();
                expression +=
                    QRegularExpression::escape(text.mid(at, m.capturedStart() - at)) + QStringLiteral("(.*?)");
                numbers.push_back(m.captured(1).toInt());
                at = m.capturedEnd();
            }
            expression += QRegularExpression::escape(text.mid(at)) + QStringLiteral("$");
            built.push_back(TPattern{
                source, QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption), numbers});
        }
        return built;
    }();
    return patterns;
}

// `translated` with each %N replaced by parts[N - 1], in one pass, so a part holding "%2" stays as it is.
QString Fill(const QString& translated, const std::vector<QString>& parts)
{
    QString out;
    for (qsizetype i = 0; i < translated.size(); ++i) {
        const QChar c = translated.at(i);
        if (c == u'%' && i + 1 < translated.size()) {
            const int n = translated.at(i + 1).digitValue();
            if (n >= 1 && static_cast<std::size_t>(n) <= parts.size()) {
                out += parts[static_cast<std::size_t>(n - 1)];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QString Translate(const QString& text, int depth)
{
    // A reason inside a sentence inside a sentence is as deep as the core nests them.
    constexpr int kDeepest = 3;
    if (text.isEmpty() || depth > kDeepest) return text;
    for (const TPattern& pattern : Patterns()) {
        const QRegularExpressionMatch m = pattern.match.match(text);
        if (!m.hasMatch()) continue;
        std::vector<QString> parts(9);
        for (std::size_t k = 0; k < pattern.numbers.size(); ++k)
            parts[static_cast<std::size_t>(pattern.numbers[k] - 1)] =
                Translate(m.captured(static_cast<int>(k) + 1), depth + 1);
        return Fill(QCoreApplication::translate(kShownTextContext, pattern.source), parts);
    }
    return text;
}

}  // namespace

QString ShownText(std::string_view text)
{
    // The window asks for every row's warning on every tick: each text is matched once per language, the
    // language told by the first sentence's translation.
    constexpr qsizetype kRemembered = 512;
    static QHash<QByteArray, QString> shown;
    static QString language;
    const QString probe = QCoreApplication::translate(kShownTextContext, kSources[0]);
    if (probe != language) {
        shown.clear();
        language = probe;
    }
    const QByteArray key(text.data(), static_cast<qsizetype>(text.size()));
    if (const auto found = shown.constFind(key); found != shown.cend()) return *found;
    if (shown.size() >= kRemembered) shown.clear();
    return shown[key] = Translate(QString::fromStdString(Win1252ToUtf8(text)), 0);
}

QStringList ShownTextSources()
{
    QStringList sources;
    for (const char* source : kSources) sources << QString::fromUtf8(source);
    return sources;
}

}  // namespace halcyra
