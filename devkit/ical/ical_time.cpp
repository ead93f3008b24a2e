#include "ical_time.h"

#include "ascii.h"

#include <cstdio>

namespace devkit::ical {

// Days since 1970-01-01 in the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = year - (month <= 2);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

CivilDate civilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = floorDiv(days, 146097);
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return {int(yearOfEra + era * 400 + (month <= 2)), month, day};
}

int daysInMonth(int year, int month) {
    static constexpr int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return lengths[month - 1];
}

int weekdayOfDays(std::int64_t days) {
    return int(days + 4 - floorDiv(days + 4, 7) * 7); // 1970-01-01 was a Thursday
}

namespace {

bool readDigits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isAsciiDigit(text[i]))
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::optional<DateTime> parseDateTime(std::string_view text) {
    int year, month, day;
    if (!readDigits(text, 0, 4, year) || !readDigits(text, 4, 2, month) ||
        !readDigits(text, 6, 2, day))
        return std::nullopt;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    DateTime value;
    value.wall = daysFromCivil(year, month, day) * kSecondsPerDay;
    if (text.size() == 8) {
        value.kind = DateTime::Kind::date;
        return value;
    }
    int hour, minute, second;
    if (text.size() < 15 || text[8] != 'T' || !readDigits(text, 9, 2, hour) ||
        !readDigits(text, 11, 2, minute) || !readDigits(text, 13, 2, second))
        return std::nullopt;
    if (hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    if (second == 60)
        second = 59;
    value.wall += hour * 3600 + minute * 60 + second;
    if (text.size() == 15) {
        value.kind = DateTime::Kind::floating;
    } else if (text.size() == 16 && (text[15] == 'Z' || text[15] == 'z')) {
        value.kind = DateTime::Kind::utc;
    } else {
        return std::nullopt;
    }
    return value;
}

std::optional<Duration> parseDuration(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || (text[0] != 'P' && text[0] != 'p'))
        return std::nullopt;
    text.remove_prefix(1);
    Duration duration;
    bool inTime = false, any = false;
    std::int64_t number = -1;
    for (char c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (isAsciiDigit(c)) {
            if (number > 100000000)
                return std::nullopt; // beyond any calendar
            number = (number < 0 ? 0 : number * 10) + (c - '0');
            continue;
        }
        if (c == 'T' && number < 0 && !inTime) {
            inTime = true;
            continue;
        }
        if (number < 0)
            return std::nullopt;
        if (!inTime && c == 'W')
            duration.days += number * 7;
        else if (!inTime && c == 'D')
            duration.days += number;
        else if (inTime && c == 'H')
            duration.seconds += number * 3600;
        else if (inTime && c == 'M')
            duration.seconds += number * 60;
        else if (inTime && c == 'S')
            duration.seconds += number;
        else
            return std::nullopt;
        number = -1;
        any = true;
    }
    if (!any || number >= 0)
        return std::nullopt;
    if (negative) {
        duration.days = -duration.days;
        duration.seconds = -duration.seconds;
    }
    return duration;
}

std::optional<int> parseUtcOffset(std::string_view text) {
    if (text.size() != 5 && text.size() != 7)
        return std::nullopt;
    if (text[0] != '+' && text[0] != '-')
        return std::nullopt;
    int hours, minutes, seconds = 0;
    if (!readDigits(text, 1, 2, hours) || !readDigits(text, 3, 2, minutes) ||
        (text.size() == 7 && !readDigits(text, 5, 2, seconds)))
        return std::nullopt;
    if (hours > 23 || minutes > 59 || seconds > 59)
        return std::nullopt;
    const int offset = hours * 3600 + minutes * 60 + seconds;
    return text[0] == '-' ? -offset : offset;
}

std::string formatMinute(std::int64_t seconds) {
    const CivilDate date = civilFromDays(dayOf(seconds));
    const std::int64_t time = secondOfDay(seconds);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", date.year, date.month, date.day,
                  int(time / 3600), int(time / 60 % 60));
    return text;
}

} // namespace devkit::ical
