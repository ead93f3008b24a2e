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

TEST(ParseParameterizedValue, ExtendedFormsAreJoinedAndDecoded) {
    // The charset prefix, percent escapes, and a value quoted though the form is a token.
    EXPECT_EQ(
        parseParameterizedValue("multipart/mixed; boundary*=\"us-ascii''abc\"").param("boundary"),
        "abc");
    EXPECT_EQ(parseParameterizedValue("attachment; filename*=iso-8859-1'fr'%E9t%E9.txt")
                  .param("filename"),
              "\xC3\xA9t\xC3\xA9.txt");
    // Sections in any order, encoded or not; only the first carries the charset.
    const auto joined =
        parseParameterizedValue("attachment; filename=\"fallback.txt\"; filename*1*=%C3%A9.txt; "
                                "filename*0*=utf-8''r%C3%A9sum;"
                                " title*0=\"A \"; title*3=\"after a gap\"; title*1=\"B\"");
    EXPECT_EQ(joined.param("filename"), "r\xC3\xA9sum\xC3\xA9.txt") << "wins over the plain one";
    EXPECT_EQ(joined.param("title"), "A B");
    // Not sections: a leading zero, letters. Without its charset prefix a value is its bytes.
    const auto odd = parseParameterizedValue("text/plain; a*01=x; b*z=y; c*=%41");
    EXPECT_EQ(odd.param("a"), "");
    EXPECT_EQ(odd.param("b"), "");
    EXPECT_EQ(odd.param("c"), "A");
}

} // namespace
} // namespace devkit
