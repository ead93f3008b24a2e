#include "recurrence.h"

#include "ascii.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace devkit::ical {

namespace {

constexpr std::int64_t kMaxEmptyPeriods = 20000;
constexpr int kLastYear = 9999;

bool parseInt(std::string_view text, int& value) {
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Calls `visit` with each part of `text` between separators, until it answers false; false
// then.
template <class Visit> bool eachPart(std::string_view text, char separator, Visit&& visit) {
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        if (!visit(text.substr(start, end - start)))
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

int weekdayFromName(std::string_view name) {
    static constexpr std::string_view names[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
    for (int i = 0; i < 7; ++i)
        if (equalsIgnoreAsciiCase(name, names[i]))
            return i;
    return -1;
}

// A BY list is a set: a value listed again adds nothing (and costs no work later).
bool parseIntList(std::string_view text, int low, int high, bool allowNegative,
                  std::vector<int>& out) {
    std::vector<bool> seen(2 * std::size_t(high) + 1);
    return eachPart(text, ',', [&](std::string_view item) {
        int value;
        if (!parseInt(item, value))
            return false;
        const int magnitude = value < 0 ? -value : value;
        if (value == 0 || magnitude < low || magnitude > high || (value < 0 && !allowNegative))
            return false;
        if (!seen[std::size_t(value + high)]) {
            seen[std::size_t(value + high)] = true;
            out.push_back(value);
        }
        return true;
    });
}

std::int64_t unitSeconds(Frequency frequency) {
    switch (frequency) {
    case Frequency::secondly:
        return 1;
    case Frequency::minutely:
        return 60;
    case Frequency::hourly:
        return 3600;
    default:
        return kSecondsPerDay;
    }
}

// The days of [first, last] (day numbers) that BYDAY names, ordinals counted in that range.
void addWeekdays(const std::vector<WeekdayNumber>& byDay, std::int64_t first, std::int64_t last,
                 std::vector<std::int64_t>& days) {
    for (const WeekdayNumber& wanted : byDay) {
        const std::int64_t firstMatch = first + (wanted.weekday - weekdayOfDays(first) + 7) % 7;
        const std::int64_t lastMatch = last - (weekdayOfDays(last) - wanted.weekday + 7) % 7;
        if (wanted.ordinal == 0) {
            for (std::int64_t day = firstMatch; day <= last; day += 7)
                days.push_back(day);
        } else if (wanted.ordinal > 0) {
            const std::int64_t day = firstMatch + std::int64_t(wanted.ordinal - 1) * 7;
            if (day <= last)
                days.push_back(day);
        } else {
            const std::int64_t day = lastMatch - std::int64_t(-wanted.ordinal - 1) * 7;
            if (day >= first)
                days.push_back(day);
        }
    }
}

bool weekdayListed(const std::vector<WeekdayNumber>& byDay, std::int64_t day) {
    const int weekday = weekdayOfDays(day);
    return std::any_of(byDay.begin(), byDay.end(),
                       [&](const WeekdayNumber& w) { return w.weekday == weekday; });
}

bool monthDayListed(const std::vector<int>& byMonthDay, std::int64_t day) {
    const CivilDate date = civilFromDays(day);
    const int length = daysInMonth(date.year, date.month);
    return std::any_of(byMonthDay.begin(), byMonthDay.end(), [&](int wanted) {
        return wanted > 0 ? wanted == date.day : length + 1 + wanted == date.day;
    });
}

bool monthListed(const std::vector<int>& byMonth, std::int64_t day) {
    return byMonth.empty() ||
           std::find(byMonth.begin(), byMonth.end(), civilFromDays(day).month) != byMonth.end();
}

} // namespace

std::optional<RecurrenceRule> parseRecurrenceRule(std::string_view text) {
    RecurrenceRule rule;
    bool haveFrequency = false;
    const bool readable = eachPart(text, ';', [&](std::string_view part) {
        if (part.empty())
            return true;
        const std::size_t equals = part.find('=');
        if (equals == std::string_view::npos)
            return false;
        const std::string_view name = part.substr(0, equals);
        const std::string_view value = part.substr(equals + 1);
        if (equalsIgnoreAsciiCase(name, "FREQ")) {
            static constexpr std::string_view names[] = {"SECONDLY", "MINUTELY", "HOURLY", "DAILY",
                                                         "WEEKLY",   "MONTHLY",  "YEARLY"};
            haveFrequency = false;
            for (int i = 0; i < 7; ++i)
                if (equalsIgnoreAsciiCase(value, names[i])) {
                    rule.frequency = Frequency(i);
                    haveFrequency = true;
                }
            if (!haveFrequency)
                return false;
        } else if (equalsIgnoreAsciiCase(name, "INTERVAL")) {
            if (!parseInt(value, rule.interval) || rule.interval < 1 || rule.interval > 100000)
                return false;
        } else if (equalsIgnoreAsciiCase(name, "COUNT")) {
            int count;
            if (!parseInt(value, count) || count < 1)
                return false;
            rule.count = count;
        } else if (equalsIgnoreAsciiCase(name, "UNTIL")) {
            rule.until = parseDateTime(value);
            if (!rule.until)
                return false;
        } else if (equalsIgnoreAsciiCase(name, "BYDAY")) {
            std::vector<bool> seen(7 * 107);
            if (!eachPart(value, ',', [&](std::string_view item) {
                    if (item.size() < 2)
                        return false;
                    WeekdayNumber day;
                    day.weekday = weekdayFromName(item.substr(item.size() - 2));
                    const std::string_view ordinal = item.substr(0, item.size() - 2);
                    if (day.weekday < 0 ||
                        (!ordinal.empty() && (!parseInt(ordinal, day.ordinal) || day.ordinal == 0 ||
                                              day.ordinal > 53 || day.ordinal < -53)))
                        return false;
                    const std::size_t key = std::size_t(day.ordinal + 53) * 7 + day.weekday;
                    if (!seen[key]) {
                        seen[key] = true;
                        rule.byDay.push_back(day);
                    }
                    return true;
                }))
                return false;
        } else if (equalsIgnoreAsciiCase(name, "BYMONTHDAY")) {
            if (!parseIntList(value, 1, 31, true, rule.byMonthDay))
                return false;
        } else if (equalsIgnoreAsciiCase(name, "BYMONTH")) {
            if (!parseIntList(value, 1, 12, false, rule.byMonth))
                return false;
        } else if (equalsIgnoreAsciiCase(name, "BYSETPOS")) {
            if (!parseIntList(value, 1, 366, true, rule.bySetPos))
                return false;
        } else if (equalsIgnoreAsciiCase(name, "WKST")) {
            rule.weekStart = weekdayFromName(value);
            if (rule.weekStart < 0)
                return false;
        }
        return true;
    });
    if (!readable)
        return std::nullopt;
    if (!haveFrequency)
        return std::nullopt;
    return rule;
}

Recurrence::Recurrence(const RecurrenceRule& rule, std::int64_t startWall,
                       std::function<bool(std::int64_t)> beyondUntil)
    : rule_(rule), start_(startWall), beyondUntil_(std::move(beyondUntil)) {}

// The candidates of one period, sorted, before the start and COUNT are applied.
void Recurrence::fill(std::int64_t period) {
    ++expanded_;
    pending_.clear();
    pendingAt_ = 0;
    const std::int64_t step = period * rule_.interval;
    const std::int64_t startDay = dayOf(start_);
    const std::int64_t timeOfDay = secondOfDay(start_);
    const CivilDate startDate = civilFromDays(startDay);
    std::vector<std::int64_t> days;

    // The days of one month: BYMONTHDAY, then BYDAY (limiting it, or expanding the month).
    auto monthDays = [&](int year, int month) {
        const std::int64_t first = daysFromCivil(year, month, 1);
        const std::int64_t last = first + daysInMonth(year, month) - 1;
        if (!rule_.byMonthDay.empty()) {
            std::vector<std::int64_t> weekdays;
            if (!rule_.byDay.empty())
                addWeekdays(rule_.byDay, first, last, weekdays);
            for (int wanted : rule_.byMonthDay) {
                const std::int64_t day = wanted > 0 ? first + wanted - 1 : last + 1 + wanted;
                if (day >= first && day <= last &&
                    (rule_.byDay.empty() ||
                     std::find(weekdays.begin(), weekdays.end(), day) != weekdays.end()))
                    days.push_back(day);
            }
        } else if (!rule_.byDay.empty()) {
            addWeekdays(rule_.byDay, first, last, days);
        } else if (startDate.day <= daysInMonth(year, month)) {
            days.push_back(first + startDate.day - 1);
        }
    };

    switch (rule_.frequency) {
    case Frequency::yearly: {
        const std::int64_t year = startDate.year + step;
        if (year > kLastYear) {
            finished_ = true;
            return;
        }
        if (!rule_.byMonth.empty()) {
            for (int month : rule_.byMonth)
                monthDays(int(year), month);
        } else if (!rule_.byDay.empty() && rule_.byMonthDay.empty()) {
            addWeekdays(rule_.byDay, daysFromCivil(int(year), 1, 1),
                        daysFromCivil(int(year), 12, 31), days);
        } else if (!rule_.byMonthDay.empty()) {
            for (int month = 1; month <= 12; ++month)
                monthDays(int(year), month);
        } else if (startDate.day <= daysInMonth(int(year), startDate.month)) {
            days.push_back(daysFromCivil(int(year), startDate.month, startDate.day));
        }
        break;
    }
    case Frequency::monthly: {
        const std::int64_t months = std::int64_t(startDate.year) * 12 + startDate.month - 1 + step;
        const int year = int(floorDiv(months, 12)),
                  month = int(months - floorDiv(months, 12) * 12) + 1;
        if (year > kLastYear) {
            finished_ = true;
            return;
        }
        if (rule_.byMonth.empty() ||
            std::find(rule_.byMonth.begin(), rule_.byMonth.end(), month) != rule_.byMonth.end())
            monthDays(year, month);
        break;
    }
    case Frequency::weekly: {
        const std::int64_t firstWeek =
            startDay - (weekdayOfDays(startDay) - rule_.weekStart + 7) % 7;
        const std::int64_t week = firstWeek + step * 7;
        if (rule_.byDay.empty()) {
            days.push_back(week + (weekdayOfDays(startDay) - rule_.weekStart + 7) % 7);
        } else {
            for (const WeekdayNumber& wanted : rule_.byDay)
                days.push_back(week + (wanted.weekday - rule_.weekStart + 7) % 7);
        }
        std::erase_if(days, [&](std::int64_t day) {
            return !monthListed(rule_.byMonth, day) ||
                   (!rule_.byMonthDay.empty() && !monthDayListed(rule_.byMonthDay, day));
        });
        break;
    }
    case Frequency::daily: {
        const std::int64_t day = startDay + step;
        if (monthListed(rule_.byMonth, day) &&
            (rule_.byMonthDay.empty() || monthDayListed(rule_.byMonthDay, day)) &&
            (rule_.byDay.empty() || weekdayListed(rule_.byDay, day)))
            days.push_back(day);
        break;
    }
    default: { // secondly, minutely, hourly: the start's time advanced, limited by day
        const std::int64_t at = start_ + step * unitSeconds(rule_.frequency);
        const std::int64_t day = dayOf(at);
        if (civilFromDays(day).year > kLastYear) {
            finished_ = true;
            return;
        }
        if (monthListed(rule_.byMonth, day) &&
            (rule_.byMonthDay.empty() || monthDayListed(rule_.byMonthDay, day)) &&
            (rule_.byDay.empty() || weekdayListed(rule_.byDay, day))) {
            pending_.push_back(at);
        } else {
            // The rest of a day left out holds nothing either: on to the next day's first.
            const std::int64_t length = unitSeconds(rule_.frequency) * rule_.interval;
            period_ =
                std::max(period_, floorDiv((day + 1) * kSecondsPerDay - start_ - 1, length) + 1);
        }
        return;
    }
    }
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    if (!rule_.bySetPos.empty()) {
        std::vector<std::int64_t> chosen;
        const auto size = std::int64_t(days.size());
        for (int position : rule_.bySetPos) {
            const std::int64_t index = position > 0 ? position - 1 : size + position;
            if (index >= 0 && index < size)
                chosen.push_back(days[std::size_t(index)]);
        }
        std::sort(chosen.begin(), chosen.end());
        chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
        days = std::move(chosen);
    }
    for (std::int64_t day : days)
        pending_.push_back(day * kSecondsPerDay + timeOfDay);
}

std::optional<std::int64_t> Recurrence::next() {
    if (!startDone_) {
        startDone_ = true;
        ++emitted_;
        return start_;
    }
    std::int64_t empty = 0;
    while (!finished_) {
        if (rule_.count && emitted_ >= *rule_.count)
            break;
        if (pendingAt_ < pending_.size()) {
            const std::int64_t candidate = pending_[pendingAt_++];
            if (candidate <= start_)
                continue; // the start was given first
            if (beyondUntil_ && rule_.until && beyondUntil_(candidate))
                break;
            ++emitted_;
            return candidate;
        }
        if (++empty > kMaxEmptyPeriods)
            break;
        fill(period_++);
        if (!pending_.empty())
            empty = 0;
    }
    finished_ = true;
    return std::nullopt;
}

void Recurrence::skipTo(std::int64_t wall) {
    // With COUNT, only a rule that gives one occurrence in every period can tell how many
    // it passes over.
    const bool onePerPeriod = rule_.frequency <= Frequency::daily && rule_.byDay.empty() &&
                              rule_.byMonthDay.empty() && rule_.byMonth.empty() &&
                              rule_.bySetPos.empty();
    if ((rule_.count && !onePerPeriod) || wall <= start_ || finished_)
        return;
    std::int64_t period = 0;
    const std::int64_t startDay = dayOf(start_);
    const CivilDate from = civilFromDays(startDay), to = civilFromDays(dayOf(wall));
    switch (rule_.frequency) {
    case Frequency::yearly:
        period = (to.year - from.year) / rule_.interval;
        break;
    case Frequency::monthly:
        period =
            ((std::int64_t(to.year) - from.year) * 12 + to.month - from.month) / rule_.interval;
        break;
    case Frequency::weekly:
        period = (dayOf(wall) - startDay) / 7 / rule_.interval;
        break;
    case Frequency::daily:
        period = (dayOf(wall) - startDay) / rule_.interval;
        break;
    default:
        period = (wall - start_) / unitSeconds(rule_.frequency) / rule_.interval;
        break;
    }
    period -= 1; // the period before may still reach into the target
    if (period > period_) {
        period_ = period;
        pending_.clear();
        pendingAt_ = 0;
        startDone_ = true;
        // The start and one occurrence in each period after it, up to this one.
        if (rule_.count)
            emitted_ = int(std::min<std::int64_t>(period, INT_MAX));
    }
}

} // namespace devkit::ical
