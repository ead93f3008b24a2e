#include "content.h"

#include <gtest/gtest.h>

namespace devkit::ical {
namespace {

TEST(ContentLines, FoldedLinesParametersAndEscapedText) {
    Document document;
    std::string error;
    ASSERT_TRUE(document.parse(
        "BEGIN:VEVENT\r\nSUMMARY:Plan\r\n ning\r\n\r\nLOCATION:Room\n\t 4\nDTST\r\n ART;tz"
        "id=\"America/New York; East:x\";X-LIST=a,\"b,c\";Y=:20261207T\r\n 090000\nX:1\r\n"
        "END:VEVENT",
        error))
        << error;
    const Document moved = std::move(document); // the views stay with the text
    const Component& event = moved.components()[0];
    EXPECT_EQ(event.find("SUMMARY")->value, "Planning");
    EXPECT_EQ(event.find("LOCATION")->value, "Room 4");
    const ContentLine* start = event.find("DTSTART");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->parameter("TZID"), "America/New York; East:x");
    EXPECT_EQ(start->parameter("X-LIST"), "a");
    EXPECT_EQ(start->parameter("Y"), "");
    EXPECT_EQ(start->parameter("EAST"), "");
    EXPECT_EQ(start->value, "20261207T090000");

    EXPECT_EQ(unescapeText(R"(A\, B\; C\\D\nE\NF)"), "A, B; C\\D\nE\nF");
    std::vector<std::string_view> items;
    forEachListItem(R"(a\,b,c,d)", [&](std::string_view item) {
        items.push_back(item);
        return items.size() < 2;
    });
    EXPECT_EQ(items, (std::vector<std::string_view>{R"(a\,b)", "c"}));
}

TEST(ContentLines, WhatIsNotSelectedIsCheckedButNotKept) {
    static constexpr std::string_view components[] = {"VCALENDAR", "VEVENT"};
    static constexpr std::string_view properties[] = {"UID", "DTSTART"};
    const Selection selection{components, properties};
    Document document;
    std::string error;
    ASSERT_TRUE(document.parse("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nUID:todo\r\nEND:VTODO\r\n"
                               "BEGIN:VEVENT\r\nDESCRIPTION:long\r\nUID:1\r\nBEGIN:VALARM\r\n"
                               "END:VALARM\r\nDTSTART:x\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
                               error, &selection))
        << error;
    const Component& calendar = document.components()[0];
    ASSERT_EQ(calendar.children.size(), 1u);
    const Component& event = calendar.children[0];
    EXPECT_EQ(event.name, "VEVENT");
    ASSERT_EQ(event.properties.size(), 2u);
    EXPECT_EQ(event.properties[0].value, "1");
    EXPECT_EQ(event.properties[1].value, "x");
    EXPECT_TRUE(event.children.empty());
    EXPECT_FALSE(document.parse("BEGIN:VCALENDAR\r\nBEGIN:VTODO\r\nnot a line\r\nEND:VTODO\r\n"
                                "END:VCALENDAR\r\n",
                                error, &selection));

    // Past the lines a stream may keep, the first are kept and the rest left out.
    std::string many = "BEGIN:VEVENT\r\n";
    for (std::size_t i = 0; i <= kMaxKeptLines; ++i)
        many += "UID:" + std::to_string(i) + "\r\n";
    ASSERT_TRUE(document.parse(many + "DTSTART:x\r\nEND:VEVENT\r\n", error, &selection));
    EXPECT_TRUE(document.truncated());
    const Component& full = document.components()[0];
    EXPECT_EQ(full.properties.front().value, "0");
    EXPECT_FALSE(full.find("DTSTART"));
}

TEST(ContentLines, MalformedStreamsAreRefusedWithAReason) {
    Document components;
    std::string error;
    for (const char* text : {"BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nEND:VCALENDAR\r\n",
                             "BEGIN:VCALENDAR\r\nSUMMARY no colon\r\nEND:VCALENDAR\r\n",
                             "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n", "SUMMARY:outside\r\n", "",
                             "BEGIN:VCALENDAR\r\nX;P=\"open:1\r\nEND:VCALENDAR\r\n"}) {
        error.clear();
        EXPECT_FALSE(components.parse(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string deep;
    for (int i = 0; i <= kMaxComponentDepth; ++i)
        deep += "BEGIN:X\r\n";
    EXPECT_FALSE(components.parse(deep, error));

    ASSERT_TRUE(components.parse("begin:vcalendar\r\nBEGIN:VEVENT\r\nUID:1\r\nEND:VEVENT\r\n"
                                 "END:VCALENDAR\r\n",
                                 error));
    ASSERT_EQ(components.components().size(), 1u);
    EXPECT_EQ(components.components()[0].name, "VCALENDAR");
    ASSERT_EQ(components.components()[0].children.size(), 1u);
    EXPECT_EQ(components.components()[0].children[0].find("UID")->value, "1");
}

} // namespace
} // namespace devkit::ical
