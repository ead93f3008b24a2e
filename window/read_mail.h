// Read now: the mail now shown opened in the mail client through its automation object, or
// the external mail reader started.
#pragma once
#include <windows.h>

#include <string>

// Opens the mail now shown in the mail client. Every failure ends in "No mail to read", owned
// by `window`; every reference is released before it returns.
void readMailInOutlook(HWND window);

// Starts the configured reader program with nothing about the mail; when it cannot be started,
// says why in a box of its own.
void startMailReader();

// An identifier as the mail client takes it: two upper-case hexadecimal digits a byte.
std::string hexIdentifierText(const BYTE* bytes, uint32_t size);
