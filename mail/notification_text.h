// Texts and counts of a new-mail notification. Portable: no Windows API.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Capacities of the texts shown for a mail, terminator included.
inline constexpr std::size_t senderCapacity = 255;      // the new-mail handler's sender and subject
inline constexpr std::size_t historyTextCapacity = 256; // sender and subject of a history line
inline constexpr std::size_t bodyCopyLimit = 4090;      // the preview: at most 4089 characters

// "%02d/%02d/%04d %02d:%02d New mail from: %s": day, month, year, hour, minute, sender.
std::string arrivalLine(int day, int month, int year, int hour, int minute,
                        std::string_view sender);

// Copies at most capacity - 1 bytes of `text` and a terminator; an empty capacity copies
// nothing. Stops at the text's first zero byte.
void boundedCopy(char* target, std::size_t capacity, const char* text);

// The blink thread's auto-hide countdown: timer x 1.4 + timer in double precision, truncated,
// which is floor(12 x timer / 5). Values beyond a signed 32-bit count are held at its maximum.
std::int32_t blinkCountdown(std::uint32_t timer);
