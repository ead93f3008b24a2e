#include "transfer_encoding.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

TEST(QuotedPrintable, EscapesAndSoftBreaks) {
    EXPECT_EQ(decodeQuotedPrintable("a=3Db =C3=A9"), "a=b \xc3\xa9");
    EXPECT_EQ(decodeQuotedPrintable("lower =c3=a9 case"), "lower \xc3\xa9 case");
    EXPECT_EQ(decodeQuotedPrintable("soft=\r\nbreak\r\nhard\r\n"), "softbreak\r\nhard\r\n");
    EXPECT_EQ(decodeQuotedPrintable("soft=  \nbreak"), "softbreak"); // blanks after '='
    EXPECT_EQ(decodeQuotedPrintable("ends with ="), "ends with ");
}

TEST(QuotedPrintable, TransportDamageAndStrayEquals) {
    EXPECT_EQ(decodeQuotedPrintable("trailing   \r\nnext"), "trailing\r\nnext");
    EXPECT_EQ(decodeQuotedPrintable("1+1=2"), "1+1=2");
    EXPECT_EQ(decodeQuotedPrintable("=G1 =4"), "=G1 =4");
    EXPECT_EQ(decodeQuotedPrintable("=\r\n=\r\n"), "");
}

TEST(QEncoding, UnderscoreIsSpace) {
    EXPECT_EQ(decodeQEncoding("a_b=5Fc=3f"), "a b_c?");
}

TEST(Base64, PaddingWhitespaceAndJunk) {
    EXPECT_EQ(decodeBase64("aGVsbG8="), "hello");
    EXPECT_EQ(decodeBase64("aGVsbG8"), "hello"); // padding missing
    EXPECT_EQ(decodeBase64("aGVs\r\n bG8=\r\n"), "hello");
    EXPECT_EQ(decodeBase64("aGV*sb!G8"), "hello"); // non-alphabet characters skipped
    EXPECT_EQ(decodeBase64("aGk=aGk="), "hihi");   // concatenated padded chunks
    EXPECT_EQ(decodeBase64("a"), "");              // a lone symbol carries no byte
    EXPECT_EQ(decodeBase64(""), "");
    EXPECT_EQ(decodeBase64("////"), "\xff\xff\xff");
}

TEST(TransferEncoding, SelectedByHeaderValue) {
    EXPECT_EQ(decodeTransferEncoding("aGk=", " BASE64 "), "hi");
    EXPECT_EQ(decodeTransferEncoding("a=3Db", "Quoted-Printable"), "a=b");
    EXPECT_EQ(decodeTransferEncoding("a=3Db", "8bit"), "a=3Db");
    EXPECT_EQ(decodeTransferEncoding("a=3Db", "x-uuencode"), "a=3Db");
}

} // namespace
} // namespace devkit
