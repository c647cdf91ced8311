#include "platform/Text.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(Text, Windows1252RoundTripsThroughUtf8)
{
    const std::string single = "M\xFCller \x80 \x96 \xE9";
    const std::string utf8 = Win1252ToUtf8(single);
    EXPECT_EQ(utf8, "M\xC3\xBCller \xE2\x82\xAC \xE2\x80\x93 \xC3\xA9");
    EXPECT_EQ(Utf8ToWin1252(utf8), single);
}

TEST(Text, UnmappableAndMalformedUtf8)
{
    EXPECT_EQ(Utf8ToWin1252("\xE6\x97\xA5"), "?");  // no single-byte form
    EXPECT_EQ(Utf8ToWin1252("a\xC3"), "a\xC3");     // truncated sequence kept as bytes
    EXPECT_EQ(Utf16LeToWin1252(std::string("A\0\xAC\x20", 4)), "A\x80");
}

TEST(Text, AsciiCaseOnly)
{
    EXPECT_TRUE(SameTextAscii("NoVelgard", "NOVELGARD"));
    EXPECT_FALSE(SameTextAscii("\xE9", "\xC9"));  // non-ASCII letters keep their case
    EXPECT_EQ(UpperAscii("novelgard\xE9"), "NOVELGARD\xE9");
    EXPECT_EQ(Trim("  a b \r\n"), "a b");
}

TEST(Text, HostPathsCrossToSingleByteTextAndBack)
{
    const std::filesystem::path host = "/data/\xC3\x84rzte/M\xC3\xBCller";
    EXPECT_EQ(HostPathText(host), "/data/\xC4rzte/M\xFCller");
    EXPECT_EQ(HostPathFromText("/data/\xC4rzte/M\xFCller"), host);
    EXPECT_EQ(HostPathText("/\xE6\x97\xA5"), "/?");  // no single-byte form
}

TEST(Text, ControlCharactersAreEscaped)
{
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain C:\\KVD\\DATA\\ \xE4\x80", "plain C:\\KVD\\DATA\\ \xE4\x80"},
        {"line\r\nnext", "line\\x0D\\x0Anext"},
        {"\x1B[31mred\x7F", "\\x1B[31mred\\x7F"},
        {std::string("nul\0tab\t", 8), "nul\\x00tab\\x09"},
        {"\x81\x9D", "\\x81\\x9D"},  // undefined in Windows-1252: C1 controls
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeControlCharacters(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace halcyra
