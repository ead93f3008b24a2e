// The application state record: all long-lived state, shared by every component.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>

struct IMAPISession;
struct IMsgStore;
class AdviseSink;

// Fields that a worker thread reads while the main thread may write them are atomics of the
// same width, so each is still one aligned value written whole; the rest belong to the main
// thread alone. Value-initialisation zeroes every field.
struct AppState {
    HWND mainWindow{};                    // the notification window
    std::atomic<HWND> dialogWindow{};     // hidden by the blink thread's auto-hide
    std::atomic<uint32_t> timerEnabled{}; // "TimerEnabled", tested for exactly 1
    std::atomic<HWND> splashWindow{};     // written by the splash thread
    HINSTANCE instance{};
    AdviseSink* inboxSink{};                  // the mail sink created last
    AdviseSink* calendarSink{};               // the calendar sink created last
    uint32_t msMailServer{};                  // "MSMailServer"
    std::atomic<uint32_t> playSound{};        // "PlaySound"; read by reminder windows
    std::atomic<char*> wavFile{};             // "WavFile"; old buffers are never freed
    uint32_t displayWindow{};                 // "DisplayWindow"
    uint32_t calendar{};                      // "Calendar"
    char* mailReaderPath{};                   // "MailReaderPath"
    std::atomic<uint32_t> msMailServerTime{}; // "MSMailServerTime", units of 6000 ms
    std::atomic<IMAPISession*> session{};     // read by forced delivery
    std::atomic<IMsgStore*> store{};          // read by the reminder clock
    std::atomic<uint32_t> mailPending{};      // tested for exactly 1; keeps blinking
    HICON trayIcons[4]{};                     // envelope, blank, envelope, blank
    HWND senderLabel{};
    HWND subjectLabel{};
    HWND previewEdit{};
    HWND historyList{};
    BYTE* currentEntryId{}; // the mail now shown
    uint32_t currentEntryIdSize{};
    BYTE* currentFolderId{};
    uint32_t currentFolderIdSize{};
    HWND animation{};
    BYTE* currentStoreId{};
    uint32_t currentStoreIdSize{};
    uint32_t outlook{}; // "OutLook", tested for exactly 1
    uint32_t calendarFolderIdSize{};
    BYTE* calendarFolderId{};               // never freed
    HANDLE reminderThread{};                // never closed
    uint8_t paused{};                       // the tray menu's Pause
    uint32_t expandedLayout{};              // 1 expanded, 0 collapsed
    std::atomic<FILETIME*> reminderTimes{}; // reminder table, read by the clock
    std::atomic<BYTE*> reminderFired{};
    std::atomic<int32_t> reminderCount{};
    std::atomic<BYTE**> reminderEntryIds{};
    std::atomic<ULONG*> reminderEntryIdSizes{}; // whole lengths: identifiers may be long
    std::atomic<ULONG> reminderTimeTag{};       // 0 until resolved
    std::atomic<ULONG> timeZoneTag{};
    std::atomic<ULONG> locationTag{};
    std::atomic<ULONG> reminderSetTag{}; // PidLidReminderSet: an item may switch its reminder off
    std::atomic<ULONG> zoneRulesTag{};   // PidLidTimeZoneStruct: the item's zone with summer time
    std::atomic<uint32_t> timer{};       // "Timer", auto-hide delay in seconds

    // The reminder clock's stop request (manual reset, made by the first calendar load), and
    // the moment of its last complete pass: a reload takes the table from there, so that no
    // reminder falls between two tables.
    HANDLE reminderStop{};
    std::atomic<uint64_t> reminderCompared{};
};

static_assert(std::atomic<uint32_t>::is_always_lock_free && sizeof(std::atomic<uint32_t>) == 4);
static_assert(std::atomic<HWND>::is_always_lock_free && sizeof(std::atomic<HWND>) == sizeof(HWND));

// The process-wide pointer, published once by start-up before the notification window exists.
// The record lives until the process ends.
extern AppState* app;

// Allocates a zeroed record and publishes it in `app`.
AppState* createAppState();
