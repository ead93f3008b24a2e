#include "date_time.h"

#include <array>
#include <cstddef>
#include <string>

#include "ascii.h"

namespace devkit {
namespace {

struct DateParts {
    int day = -1, month = -1, year = -1;
    int hour = -1, minute = -1, second = 0;
    int zoneMinutes = 0;
    bool haveZone = false;
    bool valid = true;
};

bool allDigits(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

int toNumber(std::string_view digits) { // callers bound the length to <= 4
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Days from 1970-01-01 to the given proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void parseTime(std::string_view token, DateParts& parts) {
    int fields[3] = {-1, -1, 0};
    std::size_t index = 0;
    std::size_t pos = 0;
    while (index < 3) {
        std::size_t end = pos;
        while (end < token.size() && isAsciiDigit(token[end]))
            ++end;
        if (end == pos || end - pos > 2) {
            parts.valid = false;
            return;
        }
        fields[index++] = toNumber(token.substr(pos, end - pos));
        if (end >= token.size() || token[end] != ':')
            break; // anything after the last field (e.g. ".123") is ignored
        pos = end + 1;
    }
    if (index < 2 || fields[0] > 23 || fields[1] > 59 || fields[2] > 60) {
        parts.valid = false;
        return;
    }
    parts.hour = fields[0];
    parts.minute = fields[1];
    parts.second = fields[2];
}

void parseNumericZone(std::string_view token, DateParts& parts) {
    std::string digits;
    for (char c : token.substr(1)) {
        if (c != ':')
            digits.push_back(c);
    }
    if (digits.size() != 4 || !allDigits(digits)) {
        parts.valid = false;
        return;
    }
    const int hours = toNumber(std::string_view(digits).substr(0, 2));
    const int minutes = toNumber(std::string_view(digits).substr(2, 2));
    if (hours > 23 || minutes > 59) {
        parts.valid = false;
        return;
    }
    parts.zoneMinutes = (token[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    parts.haveZone = true;
}

void parseWord(std::string_view token, DateParts& parts) {
    std::string word;
    for (char c : token)
        word.push_back(toLowerAscii(c));

    static constexpr std::array<std::string_view, 12> kMonths = {
        "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() >= 3 && word.size() <= 9 && parts.month < 0) {
        for (std::size_t i = 0; i < kMonths.size(); ++i) {
            if (word.compare(0, 3, kMonths[i]) == 0) {
                parts.month = static_cast<int>(i) + 1;
                return;
            }
        }
    }
    struct Zone {
        std::string_view name;
        int hours;
    };
    static constexpr Zone kZones[] = {{"ut", 0},   {"utc", 0},  {"gmt", 0},  {"z", 0},
                                      {"est", -5}, {"edt", -4}, {"cst", -6}, {"cdt", -5},
                                      {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}};
    for (const Zone& zone : kZones) {
        if (zone.name == word && !parts.haveZone) {
            parts.zoneMinutes = zone.hours * 60;
            parts.haveZone = true;
            return;
        }
    }
    // Day names, military zones (whose signs were historically mixed up, so
    // they carry no usable offset) and unknown zone names are ignored.
}

void parseToken(std::string_view token, DateParts& parts) {
    if (token.empty())
        return;
    if ((token[0] == '+' || token[0] == '-') && token.size() > 1 && isAsciiDigit(token[1])) {
        parseNumericZone(token, parts);
    } else if (token.find(':') != std::string_view::npos && isAsciiDigit(token[0])) {
        if (parts.hour >= 0)
            parts.valid = false;
        else
            parseTime(token, parts);
    } else if (allDigits(token)) {
        if (token.size() <= 2 && parts.day < 0) {
            parts.day = toNumber(token);
        } else if (token.size() <= 4 && parts.year < 0) {
            const int n = toNumber(token);
            // Obsolete forms: two digits 00-49 mean 2000-2049 and 50-99 mean
            // 1950-1999; three digits are counted from 1900.
            if (token.size() == 4)
                parts.year = n;
            else if (token.size() == 3)
                parts.year = 1900 + n;
            else
                parts.year = n < 50 ? 2000 + n : 1900 + n;
        } else {
            parts.valid = false;
        }
    } else if (isAsciiAlpha(token[0])) {
        parseWord(token, parts);
    }
}

} // namespace

std::optional<std::int64_t> parseDateTime(std::string_view value) {
    DateParts parts;
    std::size_t pos = 0;
    int commentDepth = 0;
    std::size_t tokenStart = 0;
    bool inToken = false;
    while (pos <= value.size() && parts.valid) {
        const char c = pos < value.size() ? value[pos] : ' ';
        const bool separator = commentDepth > 0 || c == ' ' || c == '\t' || c == '\r' ||
                               c == '\n' || c == ',' || c == '(' || c == ')';
        if (separator && inToken) {
            parseToken(value.substr(tokenStart, pos - tokenStart), parts);
            inToken = false;
        }
        if (c == '(') {
            ++commentDepth;
        } else if (c == ')' && commentDepth > 0) {
            --commentDepth;
        } else if (!separator && !inToken) {
            tokenStart = pos;
            inToken = true;
        }
        ++pos;
    }
    if (!parts.valid || parts.day < 1 || parts.month < 1 || parts.year < 1900 || parts.hour < 0)
        return std::nullopt;
    if (parts.day > daysInMonth(parts.year, parts.month))
        return std::nullopt;
    const std::int64_t days = daysFromCivil(parts.year, parts.month, parts.day);
    return days * 86400 + parts.hour * 3600 + parts.minute * 60 + parts.second -
           static_cast<std::int64_t>(parts.zoneMinutes) * 60;
}

} // namespace devkit
