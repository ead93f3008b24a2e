// The three lines of a reminder and the text block that carries them to the reminder window.
// Portable: no Windows API.
#pragma once
#include "reminder_time.h"

#include <cstddef>
#include <string>
#include <string_view>

// The block: three zero-terminated texts at fixed offsets. The first two slots hold 254
// characters and the terminator; the date line needs 31 and its terminator.
inline constexpr std::size_t appointmentSlot = 0;
inline constexpr std::size_t locationSlot = 255;
inline constexpr std::size_t dateSlot = 510;
inline constexpr std::size_t reminderBlockSize = dateSlot + 32;

// The offset from Greenwich time in minutes (east positive) that a time-zone description such
// as "(GMT+05:30) Asia/Kolkata" or "(UTC-03:30) Newfoundland" begins with: the sign is the
// fifth character, the hours follow it and the minutes, when present, a colon. A description
// without digits there, "(GMT) Greenwich Mean Time" for instance, gives 0.
int zoneOffsetMinutes(std::string_view description);

// "Date & Time : DD-MM-YYYY  HH:MM", the reminder moment shown in the zone of the given offset:
// the whole offset applies, and the date follows the hour across midnight.
std::string reminderDateLine(Ticks reminder, int offsetMinutes);

// Fills a block of reminderBlockSize bytes: "Appointment: " with the subject, "Location: "
// with the location, and the date line, each cut to its slot. A missing text counts as empty.
void writeReminderBlock(char* block, const char* subject, const char* location,
                        std::string_view dateLine);
