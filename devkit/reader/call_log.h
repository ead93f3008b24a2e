// The reader's call log: one line for each call it receives, with its arguments in the order
// of the method's parameters, so that a test can tell a swapped argument order.
//   GetItemFromID("0A", "0000...") -> not found
#pragma once
#include <windows.h>

#include <string>

namespace reader {

void logLine(const std::string& line);
// An argument as the log shows it: a text quoted (a long one cut, with its length), "missing"
// for an optional argument not given, otherwise its variant type.
std::string describe(const VARIANT& argument);
std::string utf8(const wchar_t* text, size_t length);

} // namespace reader
