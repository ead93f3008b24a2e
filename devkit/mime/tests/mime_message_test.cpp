#include "mime_message.h"

#include <gtest/gtest.h>

#include <string>

namespace devkit {
namespace {

std::string withCrlf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

TEST(ParseMessage, ThunderbirdAlternativeWithQuotedPrintable) {
    const std::string mail = withCrlf(R"(From: =?UTF-8?Q?J=C3=B6rg_M=C3=BCller?= <joerg@example.de>
To: team@example.com
Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=
Date: Tue, 3 Jun 2008 11:05:30 +0200
Message-ID: <4845A2B1.7050608@example.de>
MIME-Version: 1.0
Content-Type: multipart/alternative;
 boundary="------------000708020906060203030201"

This is a multi-part message in MIME format.
--------------000708020906060203030201
Content-Type: text/plain; charset=UTF-8; format=flowed
Content-Transfer-Encoding: quoted-printable

Hallo zusammen, die Gr=C3=B6=C3=9Fe ist 2=3D2 und diese Zeile ist sehr la=
ng.
Bis bald

--------------000708020906060203030201
Content-Type: text/html; charset=UTF-8

<html><body>Hallo <b>HTML</b></body></html>
--------------000708020906060203030201--
)");
    const ParsedMessage m = parseMessage(mail);
    EXPECT_EQ(m.senderName, "J\u00f6rg M\u00fcller");
    EXPECT_EQ(m.senderEmail, "joerg@example.de");
    EXPECT_EQ(m.subject, "Gr\u00fc\u00dfe aus M\u00fcnchen");
    EXPECT_EQ(m.body, "Hallo zusammen, die Gr\u00f6\u00dfe ist 2=2 und diese Zeile ist sehr "
                      "lang.\r\nBis bald\r\n");
    ASSERT_TRUE(m.deliveryTime.has_value());
    EXPECT_EQ(*m.deliveryTime, 1212483930); // 2008-06-03 09:05:30 UTC
    EXPECT_EQ(m.messageId, "<4845A2B1.7050608@example.de>");
}

TEST(ParseMessage, OutlookMixedWithAttachmentFirstAndNestedAlternative) {
    const std::string mail = withCrlf(R"(From: "Doe, Jane" <jane.doe@corp.example>
Subject: Quarterly numbers
Content-Type: multipart/mixed; boundary="_004_outer_"

--_004_outer_
Content-Type: text/plain; name="numbers.txt"
Content-Disposition: attachment; filename="numbers.txt"
Content-Transfer-Encoding: base64

U0VDUkVUIEFUVEFDSE1FTlQ=

--_004_outer_
Content-Type: multipart/alternative; boundary="_000_inner_"

--_000_inner_
Content-Type: text/plain; charset="windows-1252"
Content-Transfer-Encoding: quoted-printable

Costs rose 5 =80 =96 see attached.

--_000_inner_
Content-Type: text/html; charset="windows-1252"

<p>Costs rose</p>
--_000_inner_--

--_004_outer_--
)");
    const ParsedMessage m = parseMessage(mail);
    EXPECT_EQ(m.senderName, "Doe, Jane");
    EXPECT_EQ(m.senderEmail, "jane.doe@corp.example");
    EXPECT_EQ(m.body, "Costs rose 5 \u20ac \u2013 see attached.\r\n");
}

TEST(ParseMessage, GmailBase64Utf8Body) {
    const std::string mail = withCrlf(R"(From: Ana <ana@gmail.example>
Subject: =?UTF-8?B?wr9RdcOpIHRhbD8=?=
Content-Type: multipart/alternative; boundary="000000000000abcdef"

--000000000000abcdef
Content-Type: text/plain; charset="UTF-8"
Content-Transfer-Encoding: base64

wr9RdcOpIHRhbD8gTmnDsW8g
4pyTCg

--000000000000abcdef--
)");
    const ParsedMessage m = parseMessage(mail);
    EXPECT_EQ(m.subject, "\u00bfQu\u00e9 tal?");
    EXPECT_EQ(m.body, "\u00bfQu\u00e9 tal? Ni\u00f1o \u2713\r\n"); // padding was missing
}

TEST(ParseMessage, HtmlOnlyMailIsConvertedToText) {
    const std::string mail = withCrlf(R"(From: news@shop.example
Subject: Offer
Content-Type: text/html; charset=iso-8859-1
Content-Transfer-Encoding: quoted-printable

<html><head><title>Offer</title><style>p {color: red}</style></head>
<body><h1>Big&nbsp;sale</h1><p>Caf=E9 &amp; more<br>Today only</p>
<script>alert(1)</script><div>Bye</div></body></html>
)");
    const ParsedMessage m = parseMessage(mail);
    EXPECT_EQ(m.body, "Big sale\r\n\r\nCaf\u00e9 & more\r\nToday only\r\n\r\nBye");
}

TEST(ParseMessage, PlainPartWinsOverEarlierHtmlPart) {
    const std::string mail = "Content-Type: multipart/alternative; boundary=b\n\n"
                             "--b\nContent-Type: text/html\n\n<b>html</b>\n"
                             "--b\nContent-Type: text/plain\n\nplain\n--b--\n";
    EXPECT_EQ(parseMessage(mail).body, "plain");
}

TEST(ParseMessage, BoundaryInItsExtendedForm) {
    const std::string mail = "Content-Type: multipart/alternative; boundary*=\"us-ascii''abc\"\n\n"
                             "--abc\nContent-Type: text/plain\n\nplain\n--abc--\n";
    EXPECT_EQ(parseMessage(mail).body, "plain");
}

TEST(ParseMessage, MessageWithoutMimeHeaders) {
    const ParsedMessage m =
        parseMessage("From: old@host\nSubject: hi\n\nCaf\xe9 line one\nline two\n");
    EXPECT_EQ(m.senderName, "old@host");
    EXPECT_EQ(m.body, "Caf\u00e9 line one\r\nline two\r\n");
    EXPECT_FALSE(m.deliveryTime.has_value());
}

TEST(ParseMessage, MboxFromLineAndFoldedHeaders) {
    const ParsedMessage m = parseMessage("From someone@host Sat Jan  3 01:05:34 1996\n"
                                         "Subject: a very\n long\n\tsubject\n"
                                         "From: x@y\n\nbody");
    EXPECT_EQ(m.subject, "a very long subject");
    EXPECT_EQ(m.senderEmail, "x@y");
    EXPECT_EQ(m.body, "body");
}

TEST(ParseMessage, EncodedLineBreaksDoNotLeakIntoSingleLineFields) {
    const ParsedMessage m = parseMessage("Subject: =?utf-8?q?one=0D=0Atwo=00three?=\n\n");
    EXPECT_EQ(m.subject, "one two three");
}

TEST(ParseMessage, MalformedStructureDegradesGracefully) {
    // No boundary parameter: the raw text is shown instead of nothing.
    EXPECT_EQ(parseMessage("Content-Type: multipart/mixed\n\nraw").body, "raw");
    // Missing close delimiter: the last part runs to the end.
    EXPECT_EQ(parseMessage("Content-Type: multipart/mixed; boundary=x\n\n--x\n\nunterminated").body,
              "unterminated");
    // Body without headers and without the blank line.
    EXPECT_EQ(parseMessage("just text").body, "just text");
    EXPECT_EQ(parseMessage("").body, "");
    // NUL bytes would cut the text short in a C string.
    EXPECT_EQ(parseMessage(std::string("\na\0b", 4)).body, "a\uFFFDb");
}

TEST(ParseMessage, NestingBeyondLimitIsIgnored) {
    std::string deep;
    for (int i = 0; i < 100; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" +
                std::to_string(i) + "\n";
    deep += "Content-Type: text/plain\n\ntoo deep\n";
    EXPECT_EQ(parseMessage(deep).body, "");

    std::string shallow;
    for (int i = 0; i < 10; ++i)
        shallow += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" +
                   std::to_string(i) + "\n";
    shallow += "Content-Type: text/plain\n\nfound";
    EXPECT_EQ(parseMessage(shallow).body, "found");
}

TEST(ParseMessage, BodyIsCappedWithoutSplittingCharacters) {
    std::string mail = "Content-Type: text/plain; charset=utf-8\n\n";
    for (std::size_t i = 0; i < kMaxBodyBytes; ++i)
        mail += "\xe2\x82\xac"; // three bytes each
    const ParsedMessage m = parseMessage(mail);
    EXPECT_LE(m.body.size(), kMaxBodyBytes);
    EXPECT_GT(m.body.size(), kMaxBodyBytes - 3);
    EXPECT_EQ(m.body.size() % 3, 0u);
}

} // namespace
} // namespace devkit
