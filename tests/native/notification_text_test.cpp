// The texts and counts of a notification, without Windows.
#include "mail/notification_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(ArrivalLine, DayMonthYearHourMinuteThenTheSender) {
    EXPECT_EQ(arrivalLine(24, 3, 1998, 9, 5, "Help Desk"),
              "24/03/1998 09:05 New mail from: Help Desk");
    EXPECT_EQ(arrivalLine(1, 12, 2026, 23, 59, ""), "01/12/2026 23:59 New mail from: ");
}

TEST(ArrivalLine, KeepsALongSenderWhole) {
    const std::string sender(254, 'x');
    EXPECT_EQ(arrivalLine(1, 1, 2000, 0, 0, sender).size(), 32 + sender.size());
}

TEST(BoundedCopy, CutsToTheCapacityLessTheTerminator) {
    char subject[255];
    const std::string longSubject(300, 's');
    boundedCopy(subject, sizeof subject, longSubject.c_str());
    EXPECT_EQ(std::string(subject), std::string(254, 's'));

    static char body[4096];
    const std::string longBody(5000, 'b');
    boundedCopy(body, 4090, longBody.c_str());
    EXPECT_EQ(std::string(body).size(), 4089u);
}

TEST(BoundedCopy, ShortAndMissingTexts) {
    char text[8] = "garbage";
    boundedCopy(text, sizeof text, "hi");
    EXPECT_STREQ(text, "hi");
    boundedCopy(text, sizeof text, nullptr);
    EXPECT_STREQ(text, "");
    boundedCopy(text, 0, "untouched");
    EXPECT_STREQ(text, "");
}

TEST(BlinkCountdown, IsTwelveFifthsOfTheTimerRoundedDown) {
    EXPECT_EQ(blinkCountdown(10), 24);
    EXPECT_EQ(blinkCountdown(1), 2);
    EXPECT_EQ(blinkCountdown(0), 0);
    for (std::uint32_t timer = 0; timer < 200000; ++timer)
        ASSERT_EQ(blinkCountdown(timer), std::int32_t(12ULL * timer / 5)) << timer;
}

TEST(BlinkCountdown, HugeTimersHoldTheLargestCount) {
    EXPECT_EQ(blinkCountdown(894784853), std::int32_t(12ULL * 894784853 / 5));
    EXPECT_EQ(blinkCountdown(UINT_MAX), INT32_MAX);
    EXPECT_EQ(blinkCountdown(900000000), INT32_MAX);
}

} // namespace
