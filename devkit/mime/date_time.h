// Parsing of the Date header into seconds since the Unix epoch (UTC).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace devkit {

// Accepts the RFC 5322 form "[Day,] DD Mon YYYY HH:MM[:SS] zone" and the usual
// deviations: two- and three-digit years, named zones (UT, GMT, EST, PDT, ...),
// military zones (taken as UTC), comments such as "(CEST)", a missing zone
// (taken as UTC) and the asctime order "Mon Jun  5 10:00:00 2008".
// Returns nullopt when the date or time is missing or out of range.
std::optional<std::int64_t> parseDateTime(std::string_view value);

} // namespace devkit
