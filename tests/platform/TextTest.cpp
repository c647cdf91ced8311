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
    EXPECT_EQ(Utf8ToWin1252("\xE6\x97\xA5"), "?");            // no single-byte form
    EXPECT_EQ(Utf8ToWin1252("a\xC3"), "a\xC3");               // truncated sequence kept as bytes
    EXPECT_EQ(Utf16LeToWin1252(std::string("A\0\xAC\x20", 4)), "A\x80");
}

TEST(Text, AsciiCaseOnly)
{
    EXPECT_TRUE(SameTextAscii("NoVelgard", "NOVELGARD"));
    EXPECT_FALSE(SameTextAscii("\xE9", "\xC9"));  // non-ASCII letters keep their case
    EXPECT_EQ(UpperAscii("novelgard\xE9"), "NOVELGARD\xE9");
    EXPECT_EQ(Trim("  a b \r\n"), "a b");
}

}  // namespace
}  // namespace halcyra
