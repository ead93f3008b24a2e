#include "store_path.h"

#include <gtest/gtest.h>

#include <string>

namespace devkit {
namespace {

TEST(IsSafeRelativePath, Accepts) {
    for (const char* path : {
             "INBOX/cur/1700000000.P1Q2.host;2,S",
             "Archive 2024/new/msg",
             "Sent Items/cur/a#b&c (1)",
             "\xc3\x9c"
             "bersicht/\xe4\xb8\xad",
             ".hidden/cur/x",
             "console/nullable/com10/lpt/auxiliary",
             "a...b",
         }) {
        EXPECT_TRUE(isSafeRelativePath(path)) << path;
    }
    EXPECT_TRUE(isSafeRelativePath(std::string(kMaxStoreRelativePath, 'a')));
}

TEST(IsSafeRelativePath, RejectsEscapesFromTheStore) {
    for (const char* path : {"", "..", "../secret", "INBOX/../../etc/passwd", "a/..", "./a",
                             "a/./b", "/etc/passwd", "//server/share", "a//b", "a/"}) {
        EXPECT_FALSE(isSafeRelativePath(path)) << path;
    }
}

TEST(IsSafeRelativePath, RejectsWindowsTraps) {
    for (const char* path : {
             "C:",
             "C:/Windows",
             "c:secret",
             "INBOX/cur/msg:stream",
             "\\\\server\\share",
             "INBOX\\cur",
             "trailing.",
             "trailing ",
             "dir./x",
             "wild*card",
             "what?",
             "a<b",
             "a|b",
             "a\"b",
         }) {
        EXPECT_FALSE(isSafeRelativePath(path)) << path;
    }
}

TEST(IsSafeRelativePath, RejectsReservedDeviceNames) {
    for (const char* path : {"CON", "con", "PRN.txt", "INBOX/aux", "nul.tar.gz", "COM1", "com9.log",
                             "LPT3", "lpt1.x", "CONIN$", "conout$", "COM\xc2\xb9", "NUL .txt"}) {
        EXPECT_FALSE(isSafeRelativePath(path)) << path;
    }
}

TEST(IsSafeRelativePath, RejectsControlBytesOverlongAndBadUtf8) {
    EXPECT_FALSE(isSafeRelativePath(std::string("a\0b", 3)));
    EXPECT_FALSE(isSafeRelativePath("a\nb"));
    EXPECT_FALSE(isSafeRelativePath("a\x1f"
                                    "b"));
    EXPECT_FALSE(isSafeRelativePath("a\x7f"
                                    "b"));
    EXPECT_FALSE(isSafeRelativePath("bad\xff"));
    EXPECT_FALSE(isSafeRelativePath(std::string(kMaxStoreRelativePath + 1, 'a')));
}

} // namespace
} // namespace devkit
