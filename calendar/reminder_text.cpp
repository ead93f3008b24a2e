#include "reminder_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Up to two decimal digits at `at`, after any blanks; `at` moves past them. No digit gives 0.
int leadingNumber(std::string_view text, std::size_t& at) {
    while (at < text.size() && text[at] == ' ')
        ++at;
    int value = 0;
    for (int digits = 0; digits < 2 && at < text.size() && text[at] >= '0' && text[at] <= '9';
         ++digits)
        value = value * 10 + (text[at++] - '0');
    return value;
}

} // namespace

int zoneOffsetMinutes(std::string_view description) {
    constexpr std::size_t signAt = 4; // after "(GMT" or "(UTC"
    if (description.size() <= signAt + 1)
        return 0;
    const int sign = description[signAt] == '-' ? -1 : 1;
    std::size_t at = signAt + 1;
    const int hours = leadingNumber(description, at);
    int minutes = 0;
    if (at < description.size() && description[at] == ':')
        minutes = leadingNumber(description, ++at);
    return sign * (hours * 60 + minutes);
}

std::string reminderDateLine(Ticks reminder, int offsetMinutes) {
    const std::int64_t shift = std::int64_t(offsetMinutes) * std::int64_t(ticksPerMinute);
    // Never before the first moment a FILETIME can count.
    const Ticks local = shift < 0 && reminder < Ticks(-shift) ? 0 : reminder + Ticks(shift);
    const CivilTime t = civilTime(local);
    char line[80];
    std::snprintf(line, sizeof line, "Date & Time : %02d-%02d-%04d  %02d:%02d", t.day, t.month,
                  t.year, t.hour, t.minute);
    return line;
}

void writeReminderBlock(char* block, const char* subject, const char* location,
                        std::string_view dateLine) {
    std::memset(block, 0, reminderBlockSize);
    std::snprintf(block + appointmentSlot, locationSlot - appointmentSlot, "Appointment: %s",
                  subject ? subject : "");
    std::snprintf(block + locationSlot, dateSlot - locationSlot, "Location: %s",
                  location ? location : "");
    const std::size_t dateRoom = reminderBlockSize - dateSlot - 1;
    std::memcpy(block + dateSlot, dateLine.data(), std::min(dateLine.size(), dateRoom));
}
