#include "notification_text.h"

#include <cstdio>
#include <limits>

std::string arrivalLine(int day, int month, int year, int hour, int minute,
                        std::string_view sender) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%02d/%02d/%04d %02d:%02d New mail from: ", day, month,
                  year, hour, minute);
    return prefix + std::string(sender);
}

void boundedCopy(char* target, std::size_t capacity, const char* text) {
    if (!target || capacity == 0)
        return;
    std::size_t i = 0;
    for (; text && i + 1 < capacity && text[i]; ++i)
        target[i] = text[i];
    target[i] = '\0';
}

std::int32_t blinkCountdown(std::uint32_t timer) {
    const double ticks = double(timer) * 1.4 + double(timer);
    // Converting a double beyond the target's range is undefined; hold the largest count.
    if (ticks >= double(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return std::int32_t(ticks);
}
