#include "encoded_words.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

TEST(DecodeHeaderText, BothEncodingsInAnyCase) {
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?SsO2cmc=?="), "J\u00f6rg");
    EXPECT_EQ(decodeHeaderText("=?utf-8?b?SsO2cmc?="), "J\u00f6rg"); // padding missing
    EXPECT_EQ(decodeHeaderText("=?ISO-8859-1?Q?Caf=E9_cr=E8me?="), "Caf\u00e9 cr\u00e8me");
    EXPECT_EQ(decodeHeaderText("=?iso-8859-1?q?caf=e9?="), "caf\u00e9");
    EXPECT_EQ(decodeHeaderText("=?utf-8*de?q?=C3=BC?="), "\u00fc"); // language suffix
}

TEST(DecodeHeaderText, WhitespaceBetweenWords) {
    // Only whitespace between encoded words is dropped, folds included.
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?a?= =?utf-8?q?b?=\t =?utf-8?q?c?="), "abc");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?a?=\r\n =?utf-8?q?b?="), "ab");
    EXPECT_EQ(decodeHeaderText("Re: =?utf-8?q?a?= and =?utf-8?q?b?= end"), "Re: a and b end");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?a_?= =?utf-8?q?b?="), "a b"); // encoded space kept
}

TEST(DecodeHeaderText, CharacterSplitAcrossWords) {
    // "€" (E2 82 AC) cut in two by the sending mailer.
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?4oI=?= =?UTF-8?B?rA==?="), "\u20ac");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?=E2=82?= =?UTF-8?Q?=AC?="), "\u20ac");
}

TEST(DecodeHeaderText, MixedAndUnknownCharsets) {
    EXPECT_EQ(decodeHeaderText("=?iso-8859-2?q?=B3?= =?windows-1252?q?=80?="), "\u0142\u20ac");
    EXPECT_EQ(decodeHeaderText("=?x-klingon?q?ab=FFc?="), "ab\uFFFDc");
    // A byte from one charset must not be joined with bytes of another.
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?=E2=82?= =?iso-8859-1?q?=AC?="), "\uFFFD\u00ac");
}

TEST(DecodeHeaderText, MalformedWordsStayLiteral) {
    EXPECT_EQ(decodeHeaderText("=?utf-8?x?abc?="), "=?utf-8?x?abc?=");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?no end"), "=?utf-8?q?no end");
    EXPECT_EQ(decodeHeaderText("=??q?abc?="), "=??q?abc?=");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?has space?="), "=?utf-8?q?has space?=");
    EXPECT_EQ(decodeHeaderText("2+2=?"), "2+2=?");
}

TEST(DecodeHeaderText, RawEightBitText) {
    EXPECT_EQ(decodeHeaderText("Gr\xc3\xbc\xc3\x9f"
                               "e"),
              "Gr\u00fc\u00dfe"); // UTF-8 as sent
    EXPECT_EQ(decodeHeaderText("Gr\xfc\xdf"
                               "e"),
              "Gr\u00fc\u00dfe"); // legacy 8-bit
}

} // namespace
} // namespace devkit
