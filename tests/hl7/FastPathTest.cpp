// The fast path must give exactly what the grammar gives, on well-formed and malformed input alike.
#include "FastPathDiff.h"
#include "hl7/CaptureReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace halcyra {
namespace {

using ::testing::IsEmpty;

const std::string kTypical =
    "MSH|^~\\&|CENTRAL|WARD3|HALCYRA|HOSP|20240131120000||ORU^R01|7|P|2.3\r"
    "PID|||0123456789^^^^MR||Smith^John||19500101|M\r"
    "PV1||I|ICU^BED3^1\r"
    "OBR|1|||CS^MONITOR|||20240131120000\r"
    "OBX|1|NM|0002-4182^HR^MDIL||72|264864^/min^MDIL|||||F\r"
    "OBX|2|NM|0002-4B60^Temp^MDIL||36,8|268192^Cel^MDIL|||||F\r"
    "OBX|3|NM|0002-4A05^NBPs^MDIL||120|mmHg|||||F||APERIODIC|20240131115930\r"
    "OBX|4|NM|150456^PVC||0|/min|||||F\r";

TEST(Hl7FastPath, MessagesDecodeAsTheGrammarDecodesThem)
{
    const std::string cases[] = {
        kTypical,
        "",
        "\r",
        "\r\r\r",
        "MSH",
        "MSH|\r",
        "|||||||||||||\r",
        "MSH|^~\\&|||||||||P|2.3",                              // no segment end: nothing is a segment
        kTypical + "OBX|5|NM|1^A||2|u",                         // text after the last CR is dropped
        "MSH|a\r\nPID|||1||Doe John\r\nOBX|1|NM|1^A||2|u\r\n",  // CR LF: line feeds start the next segments
        "PID|||^^^^MR||\rPID|||..||...\rPID|||||Last^First\r",
        "PID||| \"*-/:<>?\\^|\x01\x1F||\xC4rger J\xFCrgen Ren\xE9\r",
        "PID|||MR||OnlyOneWord\rPID|||\x7F\x80\xFF||^\r",
        "OBR|1||||||2024013123\rOBR|1||||||20240230120000\rOBR|1||||||20241231235959.123+0100\r",
        "OBX|1|NM|0002-41^A||1e5|^\rOBX|2|NM|abc||-0|a^b^c\rOBX|3|NM|0002-4g82||1.2.3|\t unit \x01\r",
        "OBX|1|NM|FFFF-FFFF^MAX||12345678901234567890|x\rOBX|2|NM|2147483648||0.1\rOBX|3|NM|-2147483648||1e-400\r",
        "OBX|1|NM|1^A||1e400\rOBX|2|NM|1^A|| +.5 \rOBX|3|NM|1^A||5.\rOBX|4|NM|1^A||.\rOBX|5|NM|1^A||1e\r",
        "OBX|1|NM|1^A||1|u|||||F||APERIODIC\rOBX|2|NM|1^A||1|u|||||F||aperiodic|20240131\r",
        "OBX|1|NM|1^A||1|u|||||F||APERIODIC|garbage|||||||||||||||||||||\r",
        "obx|1|NM|1^A||1\rMSx|\rPI\rOB\r\x0BMSH|x\r",
        "MSH|^~\\&|||||||||P|2.3.1\rMSH|^~\\&|||||||||P|2.3\rPID|||1\rPID|||2\r",
    };
    for (const std::string& body : cases) EXPECT_THAT(MessageDifferences(body), IsEmpty()) << body;
}

// Bytes that matter to the grammar, dropped into a typical message at random places.
TEST(Hl7FastPath, MutatedMessagesDecodeAsTheGrammarDecodesThem)
{
    static constexpr char kBytes[] = "|^&\r\n\x0B\x1C \t0123456789.,-+eEAF^MSHPIDOBXROBR";
    std::mt19937 random(14);
    for (int round = 0; round < 1000; ++round) {
        std::string body = kTypical;
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits && !body.empty(); ++e) {
            const std::size_t at = random() % body.size();
            const char c = kBytes[random() % (sizeof kBytes - 1)];
            switch (random() % 3) {
                case 0:
                    body[at] = c;
                    break;
                case 1:
                    body.insert(at, 1, c);
                    break;
                default:
                    body.erase(at, 1 + random() % 8);
                    break;
            }
        }
        const auto differences = MessageDifferences(body);
        ASSERT_THAT(differences, IsEmpty()) << body;
    }
}

TEST(Hl7FastPath, ValuesConvertExactly)
{
    const char* const fixed[] = {
        "72",
        "36,8",
        "36.8",
        "-0",
        "+0.0",
        "0.1",
        "0,30000000000000004",
        "123456789012345",
        "1234567890123456",
        "9007199254740993",
        "1e22",
        "1e23",
        "4.35",
        "1.7976931348623157e308",
        "2.2250738585072014e-308",
        "5e-324",
        "1e-400",
        "1e400",
        " 36.5 ",
        "3,6.5",
        "00000000000000000000001.5",
        "0.000000000000000000000000001",
        "1.",
        ".5",
        "-.5e+2",
        "1e",
        "e5",
        "--1",
        "1 2",
        "",
    };
    for (const char* text : fixed) EXPECT_THAT(ValueDifferences(text), IsEmpty());
    for (const std::string& text : {std::string("-4e-400"), "0." + std::string(400, '0') + "1", std::string(400, '9'),
                                    "-" + std::string(330, '0') + "1e-330", std::string("4e-320")})
        EXPECT_THAT(ValueDifferences(text), IsEmpty()) << text;

    // Decimals of every length around the limits of the short conversion.
    std::mt19937_64 random(23);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        if (random() % 4 == 0) text += random() % 2 ? '-' : '+';
        const int digits = 1 + static_cast<int>(random() % 20);
        const int point = static_cast<int>(random() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point) text += random() % 2 ? '.' : ',';
            text += static_cast<char>('0' + random() % 10);
        }
        if (random() % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 60) - 30);
        ASSERT_THAT(ValueDifferences(text), IsEmpty()) << text;
    }
}

TEST(Hl7FastPath, CapturesCutAsTheGrammarCutsThem)
{
    const std::string framed = "\x0B" + kTypical + "\x1C\x0D";
    const std::string cases[] = {
        framed + framed + framed,
        "garbage" + framed + "between" + framed + "\x0BMSH|3\rincomplete",
        "\x0BMSH|cut\r" + framed + "\x0B\x1C\x0D\x0B\x1C\x0B\x1C\x0D",
        "\x0BOBX|a\x1C"
        "b\r\x1C\x0D\x0BMSH|1\r\nPID|x\r\n\x1C\x0D\x0BMSH|1\r\x1C",
        "PID|orphan\nMSH|1\r\nPID|a\rOBX|1\n\n\r\nMSH|2\rOBX|2",
        "MSH|1\rPID|||1||A^B\rOBX|1|NM|1^A||1,5|u\r\n\r\nMSH|2\nMSH|3",
        "\r\n\n\r",
        "",
        "MS\rH|\rMSH",
    };
    for (const std::string& bytes : cases)
        for (const std::size_t piece :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64}, bytes.size()})
            EXPECT_THAT(CaptureDifferences(bytes, piece), IsEmpty()) << "pieces of " << piece << ": " << bytes;
}

std::vector<TCaptureReader::TResult> ReadAll(TCaptureReader& reader, std::string_view bytes,
                                             std::vector<std::string>* messages = nullptr)
{
    std::vector<TCaptureReader::TResult> results;
    TCapturedText text;
    const auto drain = [&] {
        while (true) {
            const TCaptureReader::TResult result = reader.Next(text);
            if (result != TCaptureReader::NeedMore) results.push_back(result);
            if (result != TCaptureReader::Message) break;
            if (messages) messages->emplace_back(text.text);
        }
    };
    for (std::size_t pos = 0; pos < bytes.size() && (results.empty() || results.back() != TCaptureReader::TooLarge);
         pos += 5) {
        reader.Append(bytes.substr(pos, 5));
        drain();
    }
    if (results.empty() || results.back() != TCaptureReader::TooLarge) {
        reader.Finish();
        drain();
    }
    return results;
}

TEST(Hl7CaptureReader, DetectsTheFormAtTheFirstStartByteOrMshLine)
{
    struct Case {
        std::string bytes;
        TStreamForm form;
    };
    const Case cases[] = {
        {"noise\n\x0BMSH|1\r\x1C\x0D", TStreamForm::Framed},
        {std::string(500, 'g') + "\nPID|1\n\x0BMSH|1\r\x1C\x0D", TStreamForm::Framed},
        {"MSH|1\r\nOBX|\x0B\r\n", TStreamForm::PlainText},
        {"PID|1\nMSH|1\n", TStreamForm::PlainText},
        {"PID|1\nOBX|1", TStreamForm::PlainText},
    };
    for (const Case& c : cases) {
        TCaptureReader reader(1000);
        ReadAll(reader, c.bytes);
        ASSERT_TRUE(reader.Form().has_value()) << c.bytes;
        EXPECT_EQ(*reader.Form(), c.form) << c.bytes;
    }
}

TEST(Hl7CaptureReader, StopsAtAMessageLongerThanTheLimit)
{
    using R = TCaptureReader;
    using F = TStreamForm;
    struct Case {
        F form;
        std::string bytes;
        std::vector<R::TResult> results;
    };
    const std::string longFrame = "\x0B" + std::string(200, 'x') + "\r\x1C\x0D";
    const std::string shortFrame = "\x0BMSH|1\r\x1C\x0D";
    const Case cases[] = {
        // Bytes outside frames are not kept, so they do not count.
        {F::Framed, std::string(500, 'g') + shortFrame, {R::Message, R::End}},
        {F::Framed, "\x0B" + std::string(300, 'x') + shortFrame, {R::TooLarge}},
        {F::Framed, shortFrame + longFrame + shortFrame, {R::Message, R::TooLarge}},
        {F::Framed, shortFrame + "\x0B" + std::string(300, 'x'), {R::Message, R::TooLarge}},
        {F::PlainText, "MSH|1\r" + std::string(300, 'p') + "\rMSH|2\r", {R::TooLarge}},
        {F::PlainText,
         "MSH|1\rOBX|1\rMSH|2\r" + std::string(50, '\n') + "MSH|3\r",
         {R::Message, R::Message, R::Message, R::End}},
        {F::PlainText, std::string(300, 'p'), {R::TooLarge}},
    };
    for (const Case& c : cases) {
        TCaptureReader reader(100);
        reader.SetForm(c.form);
        EXPECT_EQ(ReadAll(reader, c.bytes), c.results) << c.bytes;
        TCapturedText text;
        if (c.results.back() == R::TooLarge) {
            EXPECT_EQ(reader.Next(text), R::TooLarge);
        }
    }
}

TEST(Hl7CaptureReader, HoldsNoMoreThanTheMessageBeingGathered)
{
    const std::string framed = "\x0B" + kTypical + "\x1C\x0D";
    std::string plain = kTypical;
    for (char& c : plain)
        if (c == '\r') c = '\n';
    for (const std::string& message : {framed, plain}) {
        std::string stream;
        for (int i = 0; i < 500; ++i) stream += message;
        constexpr std::size_t kPiece = 100;
        TCaptureReader reader(10 * message.size());
        TCapturedText text;
        std::size_t largest = 0;
        int count = 0;
        for (std::size_t pos = 0; pos < stream.size(); pos += kPiece) {
            reader.Append(std::string_view(stream).substr(pos, kPiece));
            largest = std::max(largest, reader.Buffered());
            while (reader.Next(text) == TCaptureReader::Message) ++count;
        }
        reader.Finish();
        while (reader.Next(text) == TCaptureReader::Message) ++count;
        EXPECT_EQ(count, 500);
        // A plain-text message is complete only when the next one's first line has come.
        EXPECT_LE(largest, 2 * message.size() + kPiece);
    }
}

}  // namespace
}  // namespace halcyra
