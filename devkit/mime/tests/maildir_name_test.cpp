#include "maildir_name.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

TEST(MaildirName, SplitsAnyInfoSeparator) {
    for (const char* name : {"1700000000.P12Q3.host:2,RS", "1700000000.P12Q3.host;2,RS",
                             "1700000000.P12Q3.host!2,RS"}) {
        const MaildirName split = splitMaildirName(name);
        EXPECT_EQ(split.unique, "1700000000.P12Q3.host") << name;
        EXPECT_EQ(split.flags, "RS") << name;
        EXPECT_TRUE(split.hasInfo) << name;
    }
}

TEST(MaildirName, NamesWithoutFlags) {
    const MaildirName fresh = splitMaildirName("1700000000.P12Q3.host"); // still in new/
    EXPECT_EQ(fresh.unique, "1700000000.P12Q3.host");
    EXPECT_FALSE(fresh.hasInfo);
    const MaildirName empty = splitMaildirName("1700000000.P12Q3.host;2,");
    EXPECT_EQ(empty.unique, "1700000000.P12Q3.host");
    EXPECT_EQ(empty.flags, "");
    EXPECT_TRUE(empty.hasInfo);
    // Dovecot's size fields are part of the unique name; only the last ":2," counts.
    EXPECT_EQ(splitMaildirName("123.M1P2.h,S=4711,W=4800:2,S").unique, "123.M1P2.h,S=4711,W=4800");
    EXPECT_EQ(splitMaildirName("odd:2x:2,F").unique, "odd:2x");
    EXPECT_EQ(splitMaildirName("exp:1,info").flags, "");
    EXPECT_EQ(splitMaildirName("exp:1,info").unique, "exp");
}

TEST(MaildirName, FlagChangesKeepTheUniquePart) {
    const std::string unique = makeUniqueName(1700000000, 4242, 7, "mailhost.example");
    EXPECT_EQ(unique, "1700000000.P4242Q7.mailhost.example");

    const std::string seen = makeMaildirName(unique, "S");
    const std::string replied = makeMaildirName(unique, "SRRxS");
    EXPECT_EQ(seen, unique + ";2,S");
    EXPECT_EQ(replied, unique + ";2,RSx");
    EXPECT_EQ(splitMaildirName(seen).unique, splitMaildirName(replied).unique);
    EXPECT_TRUE(hasFlag(splitMaildirName(replied).flags, 'R'));
    EXPECT_FALSE(hasFlag(splitMaildirName(seen).flags, 'T'));
}

TEST(MaildirName, HostIsSanitised) {
    EXPECT_EQ(sanitizeHostName("a/b\\c:d;e!f"), "a_b_c_d_e_f");
    EXPECT_EQ(sanitizeHostName("pc<1>|\"?*"), "pc_1_____");
    EXPECT_EQ(sanitizeHostName("host.example."), "host.example"); // Windows drops the dot
    EXPECT_EQ(sanitizeHostName("h\xc3\xa9\n"), "h___");
    EXPECT_EQ(sanitizeHostName(""), "localhost");
    EXPECT_EQ(sanitizeHostName(". ."), "localhost");
    EXPECT_EQ(sanitizeHostName(std::string(500, 'h')).size(), 64u);
    // Whatever the host, the name splits back to the same unique part.
    const std::string unique = makeUniqueName(1, 2, 3, "evil:2,S;2,T");
    EXPECT_EQ(splitMaildirName(makeMaildirName(unique, "F")).unique, unique);
}

} // namespace
} // namespace devkit
