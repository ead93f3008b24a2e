#include "charset.h"

#include <gtest/gtest.h>

#include "utf8.h"

namespace devkit {
namespace {

TEST(LookupCharset, LabelsAndAliases) {
    EXPECT_EQ(lookupCharset("UTF-8"), Charset::Utf8);
    EXPECT_EQ(lookupCharset("utf8"), Charset::Utf8);
    EXPECT_EQ(lookupCharset("US-ASCII"), Charset::UsAscii);
    EXPECT_EQ(lookupCharset(""), Charset::UsAscii);
    EXPECT_EQ(lookupCharset("ISO_8859-1"), Charset::Latin1);
    EXPECT_EQ(lookupCharset("latin1"), Charset::Latin1);
    EXPECT_EQ(lookupCharset("iso-8859-15"), Charset::Latin9);
    EXPECT_EQ(lookupCharset("ISO-8859-2"), Charset::Latin2);
    EXPECT_EQ(lookupCharset("Windows-1252"), Charset::Windows1252);
    EXPECT_EQ(lookupCharset("cp1252"), Charset::Windows1252);
    EXPECT_EQ(lookupCharset("koi8-r"), Charset::Unknown);
    EXPECT_EQ(lookupCharset(std::string(1000, 'a')), Charset::Unknown);
}

TEST(DecodeCharset, Utf8ErrorsBecomeReplacementCharacters) {
    EXPECT_EQ(decodeCharset("ok \xe2\x82\xac", Charset::Utf8), "ok \u20ac");
    EXPECT_EQ(decodeCharset("a\xff"
                            "b",
                            Charset::Utf8),
              "a\uFFFDb");
    EXPECT_EQ(decodeCharset("\xc0\xaf", Charset::Utf8), "\uFFFD\uFFFD");           // overlong
    EXPECT_EQ(decodeCharset("\xed\xa0\x80", Charset::Utf8), "\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(decodeCharset("\xe2\x82", Charset::Utf8), "\uFFFD");                 // truncated
    EXPECT_EQ(decodeCharset("\xf4\x90\x80\x80", Charset::Utf8),
              "\uFFFD\uFFFD\uFFFD\uFFFD"); // above U+10FFFF
    EXPECT_EQ(decodeCharset("\xf0\x9f\x98\x80", Charset::Utf8), "\U0001F600");
}

TEST(DecodeCharset, SingleByteCharsets) {
    EXPECT_EQ(decodeCharset("\x80\x93\x94\xe9", Charset::Windows1252), "\u20ac\u201c\u201d\u00e9");
    EXPECT_EQ(decodeCharset("\x81", Charset::Windows1252), "\uFFFD"); // unassigned
    EXPECT_EQ(decodeCharset("\xe9\xa4", Charset::Latin1), "\u00e9\u00a4");
    EXPECT_EQ(decodeCharset("\xa4\xbd\xe9", Charset::Latin9), "\u20ac\u0153\u00e9");
    EXPECT_EQ(decodeCharset("\xa3\xb1\xe8\xff", Charset::Latin2), "\u0141\u0105\u010d\u02d9");
    // C1 bytes in ISO-8859 text mean it was really windows-1252.
    EXPECT_EQ(decodeCharset("\x80\x96", Charset::Latin1), "\u20ac\u2013");
    EXPECT_EQ(decodeCharset("\x96", Charset::Latin9), "\u2013");
}

TEST(DecodeCharset, AsciiLabelAndUnknownCharsets) {
    // 8-bit bytes in "us-ascii" text: UTF-8 when they form UTF-8, else cp1252.
    EXPECT_EQ(decodeCharset("na\xc3\xafve", Charset::UsAscii), "na\u00efve");
    EXPECT_EQ(decodeCharset("na\xefve", Charset::UsAscii), "na\u00efve");
    EXPECT_EQ(decodeCharset("ab\xe9\x80", Charset::Unknown), "ab\uFFFD\uFFFD");
}

TEST(Utf8, PrefixLengthNeverSplitsACharacter) {
    const std::string text = "a\u00e9\u20ac"; // 1 + 2 + 3 bytes
    EXPECT_EQ(utf8PrefixLength(text, 2), 1u);
    EXPECT_EQ(utf8PrefixLength(text, 3), 3u);
    EXPECT_EQ(utf8PrefixLength(text, 5), 3u);
    EXPECT_EQ(utf8PrefixLength(text, 100), 6u);
}

} // namespace
} // namespace devkit
