#include "date_time.h"

#include <gtest/gtest.h>

namespace devkit {
namespace {

constexpr std::int64_t kJun3At0905Utc = 1212483930; // 2008-06-03 09:05:30 UTC

TEST(ParseDateTime, TimeZones) {
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 11:05:30 +0200"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 04:05:30 -0500"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 09:05:30 GMT"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 09:05:30 UT"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 05:05:30 EDT"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 02:05:30 PDT"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 14:35:30 +0530"), kJun3At0905Utc);
    // No zone at all, and zones that carry no usable offset: taken as UTC.
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 09:05:30"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 09:05:30 A"), kJun3At0905Utc);
    // The offset wins over a zone name in a comment.
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 2008 11:05:30 +0200 (CEST)"), kJun3At0905Utc);
    // A zone crossing midnight and the year boundary.
    EXPECT_EQ(parseDateTime("Thu, 1 Jan 1970 01:00:00 +0100"), 0);
    EXPECT_EQ(parseDateTime("Wed, 31 Dec 1969 19:00:00 -0500"), 0);
}

TEST(ParseDateTime, LenientForms) {
    EXPECT_EQ(parseDateTime("3 Jun 2008 09:05:30 +0000"), kJun3At0905Utc); // no day name
    EXPECT_EQ(parseDateTime("Tue,  03 June 2008 09:05 +0000"), kJun3At0905Utc - 30);
    EXPECT_EQ(parseDateTime("Tue, 3 Jun 08 09:05:30 +0000"), kJun3At0905Utc);
    EXPECT_EQ(parseDateTime("Tue Jun  3 09:05:30 2008"), kJun3At0905Utc); // asctime
    EXPECT_EQ(parseDateTime("Sat, 1 Jan 100 00:00:00 GMT"), 946684800);   // 3 digits: 1900 + 100
    EXPECT_EQ(parseDateTime("Tue, 29 Feb 2000 00:00:00 +0000"), 951782400);
    EXPECT_EQ(parseDateTime("Wed, 31 Dec 2031 23:59:60 +0000"), 1956528000); // leap second
}

TEST(ParseDateTime, UnparseableIsEmpty) {
    EXPECT_FALSE(parseDateTime(""));
    EXPECT_FALSE(parseDateTime("yesterday"));
    EXPECT_FALSE(parseDateTime("Tue, 3 Jun 2008"));           // no time
    EXPECT_FALSE(parseDateTime("Tue, 3 2008 09:05:30"));      // no month
    EXPECT_FALSE(parseDateTime("Tue, 30 Feb 2008 09:05:30")); // no such day
    EXPECT_FALSE(parseDateTime("Tue, 29 Feb 1900 09:05:30")); // 1900 was not a leap year
    EXPECT_FALSE(parseDateTime("Tue, 3 Jun 2008 24:00:00"));
    EXPECT_FALSE(parseDateTime("Tue, 3 Jun 2008 09:05:30 +0960"));
    EXPECT_FALSE(parseDateTime("Tue, 3 Jun 99999999999 09:05:30"));
}

} // namespace
} // namespace devkit
