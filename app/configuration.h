// The configuration: one registry key of the current user, read into the state record.
#pragma once
#include <windows.h>

// Registry names, in one place; the setup dialog writes what loadConfiguration reads.
namespace registry {
inline constexpr char keyPath[] = "Software\\Brunok\\Tavinel";
inline constexpr DWORD formatVersion = 12;

inline constexpr char version[] = "Version";
inline constexpr char timerEnabled[] = "TimerEnabled";
inline constexpr char msMailServer[] = "MSMailServer";
inline constexpr char outlook[] = "OutLook";
inline constexpr char wavFile[] = "WavFile";
inline constexpr char mailReaderPath[] = "MailReaderPath";
inline constexpr char playSound[] = "PlaySound";
inline constexpr char displayWindow[] = "DisplayWindow";
inline constexpr char calendar[] = "Calendar";
inline constexpr char msMailServerTime[] = "MSMailServerTime";
inline constexpr char timer[] = "Timer";
} // namespace registry

// Copies the stored values into the configuration fields of the state record. Returns 1 when
// the key opened and its format version is 12, else 0. Absent values leave their fields as
// they were; "TimerEnabled" is read before the version is checked.
int loadConfiguration();
