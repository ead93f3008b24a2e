// Conversion of an HTML body into readable plain text.
#pragma once

#include <string>
#include <string_view>

namespace devkit {

// Converts UTF-8 HTML to UTF-8 plain text with '\n' line breaks:
//  - tags are removed; the contents of <script>, <style>, <title> and of
//    comments are dropped;
//  - <br> is a line break; block elements (div, li, tr, table, ...) start a
//    new line; paragraphs and headings are set off by a blank line;
//  - runs of whitespace collapse to one space (kept as is inside <pre>), at
//    most one blank line is kept, and leading and trailing blank space is
//    removed;
//  - character references: &amp; &lt; &gt; &quot; &apos; &nbsp;, a few common
//    typographic names, and &#NNN; / &#xHH;.
std::string htmlToText(std::string_view html);

} // namespace devkit
