#include "html_text.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

TEST(HtmlToText, LineStructure) {
    EXPECT_EQ(htmlToText("one<br>two<br/>three<BR >four"), "one\ntwo\nthree\nfour");
    EXPECT_EQ(htmlToText("<div>a</div><div>b</div>"), "a\nb");
    EXPECT_EQ(htmlToText("<p>para one</p><p>para two</p>"), "para one\n\npara two");
    EXPECT_EQ(htmlToText("<h2>Title</h2>text"), "Title\n\ntext");
    EXPECT_EQ(htmlToText("<ul><li>x</li><li>y</li></ul>"), "x\ny");
    EXPECT_EQ(htmlToText("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"),
              "a b\nc");
    EXPECT_EQ(htmlToText("a<br><br><br><br>b"), "a\n\nb"); // at most one blank line
}

TEST(HtmlToText, WhitespaceCollapses) {
    EXPECT_EQ(htmlToText("  <p>\n  Hello,\n\n   world  </p>\n "), "Hello, world");
    EXPECT_EQ(htmlToText("<pre>  x\n    y</pre>z"), "  x\n    y\nz");
}

TEST(HtmlToText, InvisibleContentIsDropped) {
    EXPECT_EQ(htmlToText("<head><title>T</title><style>p{}</style></head><body>x</body>"), "x");
    EXPECT_EQ(htmlToText("a<script type=\"text/javascript\">if (a < b) x();</script>b"), "ab");
    EXPECT_EQ(htmlToText("a<!-- <p>hidden</p> -->b"), "ab");
    EXPECT_EQ(htmlToText("<!DOCTYPE html><?xml version=\"1.0\"?>x"), "x");
    EXPECT_EQ(htmlToText("<a href=\"x?a=1&b=2>3\" title='>'>link</a>"), "link");
}

TEST(HtmlToText, CharacterReferences) {
    EXPECT_EQ(htmlToText("&amp; &lt; &gt; &quot; &apos;"), "& < > \" '");
    EXPECT_EQ(htmlToText("a&nbsp;&nbsp;b"), "a  b");
    EXPECT_EQ(htmlToText("&#233;&#xE9;&#XE9;&#8364;"), "\u00e9\u00e9\u00e9\u20ac");
    EXPECT_EQ(htmlToText("&#150;&#0;&#xD800;&#99999999999;"), "\u2013\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(htmlToText("&hellip;&euro;"), "\u2026\u20ac");
    EXPECT_EQ(htmlToText("AT&T &unknown; & &#;"), "AT&T &unknown; & &#;");
}

TEST(HtmlToText, BrokenMarkupDoesNotLoseOrOverrun) {
    EXPECT_EQ(htmlToText("a < b and 3<4"), "a < b and 3<4");
    EXPECT_EQ(htmlToText("text<"), "text<");
    EXPECT_EQ(htmlToText("x<script>never closed"), "x");
    EXPECT_EQ(htmlToText("x<!-- never closed"), "x");
    EXPECT_EQ(htmlToText("x<a href=\"never closed>y"), "x");
}

} // namespace
} // namespace devkit
