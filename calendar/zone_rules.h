// The zone rules that a calendar item carries (PidLidTimeZoneStruct, as mail clients write it):
// the offset from Greenwich in force at a moment, summer time included. Portable: no Windows
// API.
#pragma once
#include "reminder_time.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// A change between standard and summer time, as a SYSTEMTIME of the rules holds it: year 0 is a
// yearly rule, the `day`th (5: the last) `weekday` (0 Sunday) of `month`; another year is that
// date only. Month 0: no change. The time is the wall-clock time before the change.
struct ZoneChange {
    int year = 0;
    int month = 0;
    int weekday = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
};

// Minutes west of Greenwich: UTC = local time + bias + standardBias (or daylightBias).
struct ZoneRules {
    int bias = 0;
    int standardBias = 0;
    int daylightBias = 0;
    ZoneChange standardDate;
    ZoneChange daylightDate;
};

// The rules of a property value: 48 bytes, little-endian; nothing for another size or fields out
// of their ranges.
std::optional<ZoneRules> parseZoneRules(const std::uint8_t* bytes, std::size_t size);

// Minutes east of Greenwich in force at the moment (UTC).
int offsetMinutesAt(const ZoneRules& rules, Ticks moment);

// The offset a reminder's date line is shown in: by the item's rules when it carries them, else
// by its time-zone description (zoneOffsetMinutes), which holds the standard offset all year.
int reminderOffsetMinutes(const std::uint8_t* rules, std::size_t rulesSize,
                          std::string_view description, Ticks moment);
