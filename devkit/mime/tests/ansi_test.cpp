#include "ansi.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

TEST(Utf8ToWindows1252, RepresentableCharacters) {
    EXPECT_EQ(utf8ToWindows1252("plain ASCII"), "plain ASCII");
    EXPECT_EQ(utf8ToWindows1252("\u20ac"), "\x80");
    EXPECT_EQ(utf8ToWindows1252("\u201cq\u201d \u2013 \u2122"), "\x93q\x94 \x96 \x99");
    EXPECT_EQ(utf8ToWindows1252("caf\u00e9 \u00a0\u00ff"), "caf\xe9 \xa0\xff");
    EXPECT_EQ(utf8ToWindows1252("\u0160\u017e\u0178"), "\x8a\x9e\x9f");
}

TEST(Utf8ToWindows1252, OneReplacementPerUnrepresentableCharacter) {
    EXPECT_EQ(utf8ToWindows1252("\u4e2d\u6587"), "??");
    EXPECT_EQ(utf8ToWindows1252("a\U0001F600b"), "a?b");
    EXPECT_EQ(utf8ToWindows1252("\u0142\u0081", '_'), "__"); // C1 controls are not shown
    EXPECT_EQ(utf8ToWindows1252("bad\xff\xe2\x82"), "bad??");
}

TEST(Utf8ToUtf16, BmpAndSurrogatePairs) {
    EXPECT_EQ(utf8ToUtf16("a\u00e9\u20ac"), u"a\u00e9\u20ac");
    EXPECT_EQ(utf8ToUtf16("\U0001F600"), u"\U0001F600");
    EXPECT_EQ(utf8ToUtf16("x\xffy"), u"x\uFFFDy");
}

} // namespace
} // namespace devkit
