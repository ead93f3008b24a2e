#include "header_block.h"
#include "header_params.h"

#include <gtest/gtest.h>

#include <string>

namespace devkit {
namespace {

TEST(SplitEntity, FieldsAndBody) {
    const MimeEntity e = splitEntity("Subject: one\r\n\ttwo\r\n  three\r\n"
                                     "X-Old-Style : value \r\n"
                                     "\r\nbody\r\n");
    ASSERT_EQ(e.headers.size(), 2u);
    EXPECT_EQ(e.headers[0].value, "one\ttwo  three"); // only the line breaks go
    EXPECT_EQ(e.headers[1].name, "X-Old-Style");
    EXPECT_EQ(e.headers[1].value, "value");
    EXPECT_EQ(e.body, "body\r\n");
    ASSERT_NE(findHeader(e.headers, "x-old-style"), nullptr);
    EXPECT_EQ(findHeader(e.headers, "From"), nullptr);
}

TEST(SplitEntity, MissingBlankLineAndFieldFlood) {
    // A line that is not a field starts the body.
    const MimeEntity e = splitEntity("Subject: s\nHello there\nX: y\n");
    ASSERT_EQ(e.headers.size(), 1u);
    EXPECT_EQ(e.body, "Hello there\nX: y\n");
    EXPECT_EQ(splitEntity(" indented first line\n").body, " indented first line\n");

    std::string flood;
    for (int i = 0; i < 5000; ++i)
        flood += "X-Junk: " + std::to_string(i) + "\n continued\n";
    flood += "\nbody";
    const MimeEntity big = splitEntity(flood);
    EXPECT_EQ(big.headers.size(), kMaxHeaderFields);
    EXPECT_EQ(big.headers.back().value, "999 continued");
    EXPECT_EQ(big.body, "body");
}

TEST(ParseParameterizedValue, ContentTypeForms) {
    const ParameterizedValue v =
        parseParameterizedValue("Multipart/Alternative (comment); BOUNDARY=\"a \\\"b\\\"; c\";\n"
                                "\tcharset=UTF-8 ; broken; =x; format=flowed");
    EXPECT_EQ(v.value, "multipart/alternative");
    EXPECT_EQ(v.param("boundary"), "a \"b\"; c");
    EXPECT_EQ(v.param("charset"), "UTF-8");
    EXPECT_EQ(v.param("format"), "flowed");
    EXPECT_EQ(v.param("missing"), "");

    // Mailers often leave boundaries with '=' unquoted.
    EXPECT_EQ(
        parseParameterizedValue("multipart/mixed; boundary=----=_Part_0_1.2").param("boundary"),
        "----=_Part_0_1.2");
    EXPECT_EQ(parseParameterizedValue("text / html").value, "text/html");
    EXPECT_EQ(parseParameterizedValue("attachment; filename=\"a.pdf").param("filename"), "a.pdf");
    EXPECT_EQ(parseParameterizedValue("").value, "");
}

} // namespace
} // namespace devkit
