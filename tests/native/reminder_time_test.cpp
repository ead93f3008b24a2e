// Reminder times without Windows: calendar fields, the clock's minute rule, and what a rebuilt
// table remembers of the reminders announced.
#include "calendar/reminder_time.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Ticks at(int year, int month, int day, int hour, int minute, int second = 0) {
    return ticksOf({year, month, day, hour, minute, second});
}

void expectFields(Ticks moment, CivilTime expected) {
    const CivilTime t = civilTime(moment);
    EXPECT_EQ(t.year, expected.year);
    EXPECT_EQ(t.month, expected.month);
    EXPECT_EQ(t.day, expected.day);
    EXPECT_EQ(t.hour, expected.hour);
    EXPECT_EQ(t.minute, expected.minute);
    EXPECT_EQ(t.second, expected.second);
}

TEST(CivilTime, CountsFromThe1601OriginAsAFileTimeDoes) {
    expectFields(0, {1601, 1, 1, 0, 0, 0});
    expectFields(116444736000000000ull, {1970, 1, 1, 0, 0, 0}); // the Unix epoch
    expectFields(116444736000000000ull + 1733566525ull * ticksPerSecond, {2024, 12, 7, 10, 15, 25});
}

TEST(CivilTime, LeapDaysAndTheirExceptions) {
    const Ticks day = 24 * 60 * ticksPerMinute;
    expectFields(at(2024, 2, 28, 12, 0) + day, {2024, 2, 29, 12, 0, 0});
    expectFields(at(2000, 2, 28, 12, 0) + day, {2000, 2, 29, 12, 0, 0}); // every 400 years
    expectFields(at(1900, 2, 28, 12, 0) + day, {1900, 3, 1, 12, 0, 0});  // not every 100
    expectFields(at(2026, 12, 31, 23, 59, 59) + ticksPerSecond, {2027, 1, 1, 0, 0, 0});
}

TEST(MinuteRule, AReminderIsDueFromTheStartOfItsMinute) {
    const Ticks reminder = at(2026, 3, 14, 14, 30, 50);
    EXPECT_FALSE(isDue(reminder, at(2026, 3, 14, 14, 29, 59)));
    EXPECT_TRUE(isDue(reminder, at(2026, 3, 14, 14, 30, 0)));
    EXPECT_TRUE(isDue(reminder, at(2026, 3, 14, 14, 30, 59)));
}

TEST(MinuteRule, AMinuteThatWentByWithoutAPassIsCaughtUpLater) {
    const Ticks reminder = at(2026, 3, 14, 14, 30, 50);
    EXPECT_TRUE(isDue(reminder, at(2026, 3, 14, 16, 31, 5))) << "after two hours asleep";
    EXPECT_FALSE(isDue(at(2026, 4, 14, 14, 30, 50), at(2026, 3, 14, 14, 30, 55)))
        << "same day and time a month later";
}

TEST(AnnouncedReminders, KnowsAnItemByItsIdentifierAndReminderTime) {
    const std::string ann = "calendar/ann.ics", bob = "calendar/bob.ics";
    auto id = [](const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); };
    const Ticks time = at(2026, 3, 14, 14, 30, 50);
    AnnouncedReminders announced;
    EXPECT_TRUE(announced.empty());
    announced.add(time, id(ann), ann.size());
    announced.add(time + ticksPerMinute, id(bob), bob.size());
    announced.add(time, id(ann), ann.size()); // once is enough

    EXPECT_TRUE(announced.contains(time, id(ann), ann.size()));
    EXPECT_TRUE(announced.contains(time + ticksPerMinute, id(bob), bob.size()));
    EXPECT_FALSE(announced.contains(time + ticksPerSecond, id(ann), ann.size()))
        << "moved to another time: a new reminder";
    EXPECT_FALSE(announced.contains(time, id(bob), bob.size()));
    EXPECT_FALSE(announced.contains(time, id(ann), ann.size() - 1)) << "a shorter identifier";
}

TEST(AnnouncedReminders, KeepsIdentifiersOfAnyLength) {
    const std::string longId(300, 'x'); // longer than an 8-bit size could say
    std::string other = longId;
    other[299] = 'y';
    auto id = [](const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); };
    AnnouncedReminders announced;
    announced.add(5 * ticksPerMinute, id(longId), longId.size());
    EXPECT_TRUE(announced.contains(5 * ticksPerMinute, id(longId), longId.size()));
    EXPECT_FALSE(announced.contains(5 * ticksPerMinute, id(other), other.size()));
}

} // namespace
