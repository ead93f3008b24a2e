#include "address.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

struct Case {
    const char* header;
    const char* name;
    const char* address;
};

template <size_t N> void expectMailboxes(const Case (&cases)[N]) {
    for (const Case& c : cases) {
        const Mailbox m = parseFirstMailbox(c.header);
        EXPECT_EQ(m.displayName, c.name) << c.header;
        EXPECT_EQ(m.address, c.address) << c.header;
    }
}

TEST(ParseFirstMailbox, CommonFromForms) {
    const Case cases[] = {
        {R"("John Smith" <john@example.com>)", "John Smith", "john@example.com"},
        {"John Smith <john@example.com>", "John Smith", "john@example.com"},
        {"<john@example.com>", "", "john@example.com"},
        {"john@example.com", "", "john@example.com"},
        {"john@example.com (John Smith)", "John Smith", "john@example.com"},
        {R"("Doe, \"JD\" John" <jd@example.com>)", R"(Doe, "JD" John)", "jd@example.com"},
        {"  John   Q.  Public  <jqp@example.com> ", "John Q. Public", "jqp@example.com"},
        {"John <john@example.com>, Mary <mary@example.com>", "John", "john@example.com"},
        {"MAILER-DAEMON", "", "MAILER-DAEMON"},
        {"", "", ""},
    };
    expectMailboxes(cases);
}

TEST(ParseFirstMailbox, GroupsAndRoutes) {
    const Case cases[] = {
        {"Team: ann@example.com, bob@example.com;", "", "ann@example.com"},
        {"Team: Ann <ann@example.com>;", "Ann", "ann@example.com"},
        {"undisclosed-recipients:;", "undisclosed-recipients", ""},
        {"<@relay.example:user@example.com>", "", "user@example.com"},
        {"MAILER-DAEMON <>", "MAILER-DAEMON", ""},
    };
    expectMailboxes(cases);
}

TEST(ParseFirstMailbox, EncodedAndUnusualNames) {
    EXPECT_EQ(parseFirstMailbox("=?iso-8859-1?Q?Andr=E9?= <a@b>").displayName, "Andr\u00e9");
    // Encoded words inside quotes are not allowed, but common; decode them anyway.
    EXPECT_EQ(parseFirstMailbox("\"=?utf-8?B?SsO2cmc=?=\" <j@b>").displayName, "J\u00f6rg");
    EXPECT_EQ(parseFirstMailbox("a@b (Comment (nested) =?utf-8?q?=C3=A9?=)").displayName,
              "Comment (nested) \u00e9");
    // A quoted local part stays quoted: it is part of the address.
    EXPECT_EQ(parseFirstMailbox(R"("john doe"@example.com)").address, R"("john doe"@example.com)");
    // Words without '@' or brackets are a name, not an address.
    const Mailbox nameOnly = parseFirstMailbox("John Smith");
    EXPECT_EQ(nameOnly.displayName, "John Smith");
    EXPECT_EQ(nameOnly.address, "");
}

TEST(ParseFirstMailbox, UnterminatedConstructsDoNotOverrun) {
    EXPECT_EQ(parseFirstMailbox("\"Open quote <a@b>").address, "");
    EXPECT_EQ(parseFirstMailbox("Name <a@b").address, "a@b");
    EXPECT_EQ(parseFirstMailbox("a@b (open comment").displayName, "open comment");
    EXPECT_EQ(parseFirstMailbox("\"trailing backslash\\").address, "");
}

} // namespace
} // namespace devkit
