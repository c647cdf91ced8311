#include "FastPathDiff.h"

#include "hl7/CaptureReader.h"
#include "hl7/Items.h"
#include "hl7/MessageFields.h"
#include "hl7/MessageIndex.h"
#include "hl7/MessageSplitter.h"
#include "hl7/MessageSummary.h"
#include "hl7/Observation.h"

#include <locale.h>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace halcyra {
namespace {

// Longer than any field the program reads, so that fields past the last separator are compared too.
constexpr int kMaxFieldCompared = 20;

class TDiff {
public:
    explicit TDiff(std::vector<std::string>& out) : out_(out) {}
    void Add(const std::string& line) { out_.push_back(line); }

    template <class A, class B>
    void Same(const std::string& what, const A& fast, const B& grammar)
    {
        if (!(fast == grammar)) Report(what, Show(fast), Show(grammar));
    }
    // Doubles bit for bit: a different rounding or a lost sign of zero is a difference.
    void SameBits(const std::string& what, double fast, double grammar)
    {
        if (std::bit_cast<std::uint64_t>(fast) != std::bit_cast<std::uint64_t>(grammar))
            Report(what, Show(fast), Show(grammar));
    }
    void SameTime(const std::string& what, const std::optional<double>& fast, const std::optional<double>& grammar)
    {
        Same(what + " present", fast.has_value(), grammar.has_value());
        if (fast && grammar) SameBits(what, *fast, *grammar);
    }

private:
    template <class T>
    static std::string Show(const T& value)
    {
        std::ostringstream text;
        text.precision(17);
        text << value;
        return text.str();
    }
    void Report(const std::string& what, const std::string& fast, const std::string& grammar)
    {
        out_.push_back(what + ": fast '" + fast + "', grammar '" + grammar + "'");
    }
    std::vector<std::string>& out_;
};

void CompareFields(TDiff& diff, const TMessageFields& fast, const TMessageSummary& grammar)
{
    diff.Same("has version", fast.hasVersion, grammar.version.has_value());
    if (grammar.version) diff.Same("version", fast.version, *grammar.version);
    diff.Same("supported", fast.supported, grammar.supported);
    diff.Same("has patient", fast.hasPatient, grammar.hasPatient);
    diff.Same("patient id", fast.patientId, grammar.patientId);
    diff.Same("first name", fast.firstName, grammar.firstName);
    diff.Same("last name", fast.lastName, grammar.lastName);
    diff.Same("display name", fast.displayName, grammar.displayName);
    diff.Same("has observation time", fast.hasObservationTime, grammar.hasObservationTime);
    diff.Same("observation time text", fast.observationTimeText, grammar.observationTimeText);
    diff.SameTime("observation time", fast.observationTime, grammar.observationTime);
    diff.Same("observations", fast.observations.size(), grammar.observations.size());
    for (std::size_t i = 0; i < fast.observations.size() && i < grammar.observations.size(); ++i) {
        const TObservationFields& f = fast.observations[i];
        const TObservationSummary& g = grammar.observations[i];
        const std::string at = "OBX " + std::to_string(i + 1) + " ";
        diff.Same(at + "value type", f.valueType, g.valueType);
        diff.Same(at + "code", f.code, g.code);
        diff.Same(at + "label", f.label, g.label);
        diff.Same(at + "value text", f.valueText, g.valueText);
        diff.SameBits(at + "value", f.value, g.value);
        for (const std::string& line : ValueDifferences(g.valueText)) diff.Add(at + line);
        diff.Same(at + "unit", f.unit, g.unit);
        diff.Same(at + "aperiodic", f.aperiodic, g.aperiodic);
        diff.Same(at + "time text", f.timeText, g.timeText);
        diff.SameTime(at + "time", f.time, g.time);
    }
}

// The index against the segments the grammar cut, then the decoded values against SummarizeMessage.
void CompareMessage(TDiff& diff, const TMessageIndex& index, const TSegmentList& segments, TMessageFields& fields)
{
    diff.Same("segments", index.size(), segments.size());
    for (std::size_t i = 0; i < index.size() && i < segments.size(); ++i) {
        const std::string at = "segment " + std::to_string(i + 1);
        diff.Same(at, index.Segment(i), segments[i]);
        diff.Same(at + " kind", static_cast<int>(index.Kind(i)), static_cast<int>(GetSegmentKind(segments[i])));
        for (int k = -1; k <= kMaxFieldCompared; ++k)
            diff.Same(at + " field " + std::to_string(k), index.Field(i, k), GetField(segments[i], k));
    }
    ReadMessageFields(index, fields);
    CompareFields(diff, fields, SummarizeMessage(segments));
}

// The value text rebuilt as a number for std::from_chars and converted in full: what ValueToFloat must
// give however it gets there.
double ReferenceValueToFloat(std::string_view s, char decimalSeparator)
{
    const char other = decimalSeparator == '.' ? ',' : '.';
    std::string text(s);
    if (const std::size_t pos = text.find(other); pos != std::string::npos) text[pos] = decimalSeparator;
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    std::string number;
    std::size_t i = begin;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool digits = false;
    bool separator = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            number += c;
            digits = true;
        } else if (c == decimalSeparator && !separator) {
            number += '.';
            separator = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        number += 'e';
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) number += text[i++];
        bool exponentDigits = false;
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
            number += text[i];
            exponentDigits = true;
        }
        if (!exponentDigits) return 0;
    }
    if (i != end) return 0;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ptr != number.data() + number.size()) return 0;
    if (ec == std::errc::result_out_of_range) {
        // From the C library, whose result tells a number too small for a double (0) from one too large.
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
        if (std::isinf(strtod_l(number.c_str(), nullptr, c))) return 0;
        value = 0;
    } else if (ec != std::errc() || !std::isfinite(value)) {
        return 0;
    }
    return value == 0 ? 0.0 : value;  // no negative zero
}

}  // namespace

std::vector<std::string> ValueDifferences(std::string_view text)
{
    std::vector<std::string> out;
    TDiff diff(out);
    for (const char separator : {'.', ','})
        diff.SameBits("value of '" + std::string(text) + "' with '" + separator + "'", ValueToFloat(text, separator),
                      ReferenceValueToFloat(text, separator));
    return out;
}

std::vector<std::string> MessageDifferences(std::string_view body)
{
    std::vector<std::string> out;
    TDiff diff(out);
    TMessageIndex index;
    TMessageFields fields;
    index.IndexFrame(body);
    CompareMessage(diff, index, SplitSegments(body), fields);
    // Reused objects must give the same again, also after a different message.
    index.IndexFrame("MSH|^~\\&|||||||||P|2.3\rPID|||1||A^B\rOBX|1|NM|1^X||1|u\rOBX|2|NM|2^Y||2|u\r");
    ReadMessageFields(index, fields);
    index.IndexFrame(body);
    CompareMessage(diff, index, SplitSegments(body), fields);
    // The segment list as the reader hands it over.
    const TSegmentList segments = SplitSegments(body);
    index.IndexSegments(segments);
    CompareMessage(diff, index, segments, fields);
    return out;
}

std::vector<std::string> CaptureDifferences(std::string_view bytes, std::size_t piece)
{
    std::vector<std::string> out;
    TDiff diff(out);
    const TCapturedStream stream = SplitCapturedStream(bytes);
    TCaptureReader reader(bytes.size() + 1);
    reader.SetForm(stream.form);
    TMessageIndex index;
    TMessageFields fields;
    TCapturedText text;
    std::size_t count = 0;
    const auto drain = [&] {
        while (reader.Next(text) == TCaptureReader::Message) {
            const std::string at = "message " + std::to_string(count + 1) + ": ";
            if (count >= stream.messages.size()) {
                diff.Add(at + "not in the grammar's split");
            } else {
                const TCapturedMessage& message = stream.messages[count];
                diff.Same(at + "bad end", text.badEnd, message.badEnd);
                if (text.form == TStreamForm::Framed)
                    index.IndexFrame(text.text);
                else
                    index.IndexLines(text.text);
                std::vector<std::string> messageOut;
                TDiff messageDiff(messageOut);
                CompareMessage(messageDiff, index, message.segments, fields);
                for (const std::string& line : messageOut) diff.Add(at + line);
            }
            ++count;
        }
    };
    if (piece == 0) piece = 1;
    for (std::size_t pos = 0; pos < bytes.size(); pos += piece) {
        reader.Append(bytes.substr(pos, piece));
        drain();
    }
    reader.Finish();
    drain();
    diff.Same("messages", count, stream.messages.size());
    return out;
}

}  // namespace halcyra
