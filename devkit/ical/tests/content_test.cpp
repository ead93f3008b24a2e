#include "content.h"

#include <gtest/gtest.h>

namespace devkit::ical {
namespace {

TEST(ContentLines, FoldedLinesParametersAndEscapedText) {
    const auto lines = unfoldLines("SUMMARY:Plan\r\n ning\r\nLOCATION:Room\n\t 4\nX:1");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "SUMMARY:Planning");
    EXPECT_EQ(lines[1], "LOCATION:Room 4");

    ContentLine line;
    ASSERT_TRUE(parseContentLine(
        R"(dtstart;tzid="America/New York; East:x";X-LIST=a,"b,c":20261207T090000)", line));
    EXPECT_EQ(line.name, "DTSTART");
    EXPECT_EQ(line.parameter("TZID"), "America/New York; East:x");
    ASSERT_EQ(line.parameters.size(), 2u);
    EXPECT_EQ(line.parameters[1].values, (std::vector<std::string>{"a", "b,c"}));
    EXPECT_EQ(line.value, "20261207T090000");

    EXPECT_EQ(unescapeText(R"(A\, B\; C\\D\nE\NF)"), "A, B; C\\D\nE\nF");
    EXPECT_EQ(splitList(R"(a\,b,c)"), (std::vector<std::string>{R"(a\,b)", "c"}));
}

TEST(ContentLines, MalformedStreamsAreRefusedWithAReason) {
    std::vector<Component> components;
    std::string error;
    for (const char* text : {"BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nEND:VCALENDAR\r\n",
                             "BEGIN:VCALENDAR\r\nSUMMARY no colon\r\nEND:VCALENDAR\r\n",
                             "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n", "SUMMARY:outside\r\n", "",
                             "BEGIN:VCALENDAR\r\nX;P=\"open:1\r\nEND:VCALENDAR\r\n"}) {
        error.clear();
        EXPECT_FALSE(parseComponents(text, components, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string deep;
    for (int i = 0; i <= kMaxComponentDepth; ++i)
        deep += "BEGIN:X\r\n";
    EXPECT_FALSE(parseComponents(deep, components, error));

    ASSERT_TRUE(parseComponents("begin:vcalendar\r\nBEGIN:VEVENT\r\nUID:1\r\nEND:VEVENT\r\n"
                                "END:VCALENDAR\r\n",
                                components, error));
    ASSERT_EQ(components.size(), 1u);
    EXPECT_EQ(components[0].name, "VCALENDAR");
    ASSERT_EQ(components[0].children.size(), 1u);
    EXPECT_EQ(components[0].children[0].find("UID")->value, "1");
}

} // namespace
} // namespace devkit::ical
