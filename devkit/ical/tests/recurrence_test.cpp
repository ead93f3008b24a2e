#include "recurrence.h"

#include "calendar_text.h"

#include <gtest/gtest.h>

namespace devkit::ical {
namespace {

using test::utc;

// The first `limit` occurrences as "YYYY-MM-DD HH:MM".
std::vector<std::string> expand(const std::string& text, std::int64_t start, int limit = 8,
                                std::int64_t skipTo = 0) {
    const auto rule = parseRecurrenceRule(text);
    EXPECT_TRUE(rule) << text;
    if (!rule)
        return {};
    const std::optional<DateTime> until = rule->until;
    Recurrence occurrences(*rule, start, [&](std::int64_t wall) { return wall > until->wall; });
    if (skipTo)
        occurrences.skipTo(skipTo);
    std::vector<std::string> found;
    while (int(found.size()) < limit)
        if (auto next = occurrences.next())
            found.push_back(formatMinute(*next));
        else
            break;
    return found;
}

using List = std::vector<std::string>;

TEST(Recurrence, WeeklyAndDaily) {
    // Monday 2026-12-07.
    EXPECT_EQ(expand("FREQ=WEEKLY;BYDAY=MO,WE;COUNT=5", utc(2026, 12, 7, 9, 30)),
              (List{"2026-12-07 09:30", "2026-12-09 09:30", "2026-12-14 09:30", "2026-12-16 09:30",
                    "2026-12-21 09:30"}));
    EXPECT_EQ(expand("FREQ=WEEKLY;INTERVAL=2;UNTIL=20270105T000000", utc(2026, 12, 10, 14, 0)),
              (List{"2026-12-10 14:00", "2026-12-24 14:00"}));
    // A start that the rule does not produce is still the first occurrence.
    EXPECT_EQ(expand("FREQ=DAILY;BYDAY=SA,SU;COUNT=3", utc(2026, 12, 9, 8, 0)),
              (List{"2026-12-09 08:00", "2026-12-12 08:00", "2026-12-13 08:00"}));
}

TEST(Recurrence, MonthlyAndYearly) {
    EXPECT_EQ(expand("FREQ=MONTHLY;BYDAY=-1FR;COUNT=3", utc(2026, 11, 27, 16, 0)),
              (List{"2026-11-27 16:00", "2026-12-25 16:00", "2027-01-29 16:00"}));
    EXPECT_EQ(expand("FREQ=MONTHLY;BYDAY=2TU;COUNT=3", utc(2026, 12, 8, 10, 0)),
              (List{"2026-12-08 10:00", "2027-01-12 10:00", "2027-02-09 10:00"}));
    // Months without a 31st are left out, not moved.
    EXPECT_EQ(expand("FREQ=MONTHLY;BYMONTHDAY=31;COUNT=3", utc(2027, 1, 31, 7, 0)),
              (List{"2027-01-31 07:00", "2027-03-31 07:00", "2027-05-31 07:00"}));
    EXPECT_EQ(expand("FREQ=MONTHLY;BYMONTHDAY=-1;BYMONTH=2,6;COUNT=3", utc(2027, 2, 28, 7, 0)),
              (List{"2027-02-28 07:00", "2027-06-30 07:00", "2028-02-29 07:00"}));
    // The last working day of each month.
    EXPECT_EQ(
        expand("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1;COUNT=3", utc(2027, 1, 29, 17, 0)),
        (List{"2027-01-29 17:00", "2027-02-26 17:00", "2027-03-31 17:00"}));
    EXPECT_EQ(expand("FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU;COUNT=3", utc(2026, 3, 29, 2, 0)),
              (List{"2026-03-29 02:00", "2027-03-28 02:00", "2028-03-26 02:00"}));
    EXPECT_EQ(expand("FREQ=YEARLY;COUNT=3", utc(2028, 2, 29, 12, 0)),
              (List{"2028-02-29 12:00", "2032-02-29 12:00", "2036-02-29 12:00"}));
}

TEST(Recurrence, SkippingAheadFindsWhatIteratingFinds) {
    const std::int64_t start = utc(2020, 1, 6, 9, 0);
    const std::int64_t target = utc(2026, 12, 9, 0, 0);
    for (const char* rule :
         {"FREQ=WEEKLY;BYDAY=MO,TH", "FREQ=MONTHLY;BYDAY=1MO", "FREQ=DAILY;INTERVAL=3",
          "FREQ=YEARLY;BYMONTH=12;BYMONTHDAY=10", "FREQ=HOURLY;INTERVAL=7",
          "FREQ=HOURLY;INTERVAL=5;BYDAY=TU", "FREQ=DAILY;INTERVAL=3;COUNT=1000",
          "FREQ=HOURLY;INTERVAL=7;COUNT=9000"}) {
        const auto all = expand(rule, start, 12000);
        const auto skipped = expand(rule, start, 12000, target);
        auto firstAfter = [&](const List& list) {
            for (const auto& item : list)
                if (item >= formatMinute(target))
                    return item;
            return std::string();
        };
        EXPECT_EQ(firstAfter(skipped), firstAfter(all)) << rule;
        EXPECT_FALSE(firstAfter(all).empty()) << rule;
    }
}

TEST(Recurrence, RulesThatCannotBeExpandedAreRefused) {
    for (const char* text :
         {"", "INTERVAL=2", "FREQ=FORTNIGHTLY", "FREQ=WEEKLY;BYDAY=XX", "FREQ=MONTHLY;BYMONTH=13",
          "FREQ=DAILY;INTERVAL=0", "FREQ=DAILY;COUNT=-1", "FREQ=MONTHLY;BYMONTHDAY=0",
          "FREQ=DAILY;UNTIL=tomorrow", "FREQ=WEEKLY;BYDAY=0MO"})
        EXPECT_FALSE(parseRecurrenceRule(text)) << text;
    // Rules that produce nothing end instead of searching for ever.
    EXPECT_EQ(expand("FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30", utc(2026, 1, 1, 0, 0)).size(), 1u);
}

} // namespace
} // namespace devkit::ical
