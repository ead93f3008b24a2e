#include "reminder_clock.h"

#include "app/app_state.h"
#include "app/handles.h"
#include "app/mapi_thread.h"
#include "app/window_helpers.h"
#include "calendar_loading.h"
#include "file_time.h"
#include "reminder_text.h"
#include "reminder_window.h"
#include "zone_rules.h"

#include <mapicode.h>
#include <mapidefs.h>
#include <mapitags.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

namespace {

constexpr DWORD passInterval = 20000; // ms
constexpr ULONG openItemFlags = MAPI_MODIFY | MAPI_DEFERRED_ERRORS;
constexpr size_t zoneDescriptionLimit = 255;
bool stopping = false; // main thread only
// When the next pass is due (GetTickCount64), kept across the clocks of successive tables: a
// reload keeps the rhythm, so a calendar that changes more often than a pass interval cannot
// put the next pass off again and again. Zero until the first clock starts.
std::atomic<ULONGLONG> nextPassDue{0};

// How long the clock waits before its next pass: until the pass is due, at most an interval.
DWORD untilNextPass() {
    const ULONGLONG now = GetTickCount64(), due = nextPassDue;
    return due > now ? DWORD(std::min<ULONGLONG>(due - now, passInterval)) : 0;
}

// Set to have the clock make its pass now rather than at the end of its wait (after the
// computer resumed); auto-reset, made on first use, kept for the process.
HANDLE wakeEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

// Set to have the clock build its table anew from the calendar folder before its next pass;
// auto-reset, so that changes reported during a reload are read by one more reload.
HANDLE reloadEvent() {
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

} // namespace

bool reminderStopRequested() {
    return app->reminderStop && WaitForSingleObject(app->reminderStop, 0) == WAIT_OBJECT_0;
}

namespace {

// An item deleted since the table was read: a store may open it with deferred errors and answer
// only its first read.
bool isGone(HRESULT result) {
    return result == MAPI_E_NOT_FOUND || result == MAPI_E_INVALID_ENTRYID ||
           result == MAPI_E_OBJECT_DELETED;
}

const char* textOf(const SPropValue* values, size_t index, ULONG tag) {
    return values && tag && values[index].ulPropTag == tag ? values[index].Value.lpszA : nullptr;
}

// Reads the item's subject, reminder time, time-zone description, location and zone rules and
// starts its reminder window; the date line is the wall-clock time of the item's zone at the
// reminder, summer time included when the item carries its zone's rules. An item that can no
// longer be opened or read (removed before the reload reached the table) shows nothing; a
// missing property leaves its text empty, and without its own reminder time the table's is
// shown.
void announce(const BYTE* id, ULONG size, Ticks tableTime) {
    IMsgStore* store = app->store;
    ComPtr<IMessage> item;
    ULONG type = 0;
    if (!store ||
        FAILED(store->OpenEntry(size, reinterpret_cast<ENTRYID*>(const_cast<BYTE*>(id)), nullptr,
                                openItemFlags, &type, item.putAs<IUnknown>())) ||
        !item)
        return;
    const ULONG timeTag = app->reminderTimeTag, zoneTag = app->timeZoneTag,
                locationTag = app->locationTag, rulesTag = app->zoneRulesTag;
    struct {
        ULONG count = 5;
        ULONG tags[5];
    } wanted{5, {PR_SUBJECT_A, timeTag, zoneTag, locationTag, rulesTag}};
    ULONG count = 0;
    SPropValue* read = nullptr;
    const HRESULT result =
        item->GetProps(reinterpret_cast<SPropTagArray*>(&wanted), 0, &count, &read);
    MapiBuffer<SPropValue> values(read);
    if (isGone(result))
        return;
    if (FAILED(result) || count != 5)
        read = nullptr;

    const Ticks time =
        read && timeTag && read[1].ulPropTag == timeTag ? ticksOf(read[1].Value.ft) : tableTime;
    std::string_view zone;
    if (const char* description = textOf(read, 2, zoneTag))
        zone = std::string_view(description).substr(0, zoneDescriptionLimit);
    char* block = new (std::nothrow) char[reminderBlockSize];
    if (!block)
        return;
    const SBinary* rules =
        read && rulesTag && read[4].ulPropTag == rulesTag ? &read[4].Value.bin : nullptr;
    const int offset =
        reminderOffsetMinutes(rules ? rules->lpb : nullptr, rules ? rules->cb : 0, zone, time);
    writeReminderBlock(block, textOf(read, 0, PR_SUBJECT_A), textOf(read, 3, locationTag),
                       reminderDateLine(time, offset));
    showReminder(block);
}

// Waits for a thread to end while dispatching this thread's messages: the clock may be inside a
// store call that returns only once this thread has dispatched (a store that does its work on
// the thread that opened it, a call marshalled here). A quit message met meanwhile is posted
// again for the message loop.
void waitDispatching(HANDLE thread) {
    std::optional<WPARAM> quit;
    for (;;) {
        const DWORD woke =
            MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1)
            break; // the thread ended (or the handle is unusable: nothing to wait for)
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                quit = message.wParam;
            else
                DispatchMessageA(&message);
        }
    }
    if (quit)
        PostQuitMessage(int(*quit));
}

} // namespace

bool reminderPass(Ticks now) {
    const int count = app->reminderCount;
    const FILETIME* times = app->reminderTimes;
    BYTE* fired = app->reminderFired;
    BYTE* const* ids = app->reminderEntryIds;
    const ULONG* sizes = app->reminderEntryIdSizes;
    for (int i = 0; i < count; ++i) {
        const Ticks time = ticksOf(times[i]);
        if (fired[i] || !isDue(time, now))
            continue;
        if (reminderStopRequested())
            return false; // the rest of this pass is left to the next table's clock
        fired[i] = 1;     // before the item is read: a failing item is not retried
        announce(ids[i], sizes[i], time);
    }
    app->reminderCompared = now;
    return true;
}

DWORD WINAPI reminderClock(void*) {
    const MapiThread mapi;
    if (!mapi.ready())
        return 0; // traced: no reminder could be read on this thread
    for (;;) {
        trimWorkingSet();
        // An empty table has nothing to compare: the clock waits for a change or a stop.
        const HANDLE waits[] = {app->reminderStop, reloadEvent(), wakeEvent()};
        const DWORD woken = WaitForMultipleObjects(
            wakeEvent() ? 3 : 2, waits, FALSE, app->reminderCount > 0 ? untilNextPass() : INFINITE);
        if (woken == WAIT_OBJECT_0 + 1) {
            rebuildReminderTable(presentTicks());
            // A reload keeps the rhythm: a pass that fell due meanwhile is made now, so that
            // a calendar changing all the time still gets its passes.
            if (reminderStopRequested() || app->reminderCount == 0 || untilNextPass() > 0)
                continue;
        } else if (woken != WAIT_TIMEOUT && woken != WAIT_OBJECT_0 + 2)
            return 0;
        const ULONGLONG started = GetTickCount64();
        // A pass cut short by a stop stays due: the next clock makes it at once.
        if (reminderPass(presentTicks()))
            nextPassDue = started + passInterval;
    }
}

void wakeReminderClock() {
    if (HANDLE event = wakeEvent())
        SetEvent(event);
}

void startReminderClock() {
    stopReminderClock();
    if (!app->reminderStop)
        app->reminderStop = CreateEventA(nullptr, TRUE, FALSE, nullptr); // lives with the record
    ULONGLONG none = 0; // the first clock's first pass comes an interval after its start
    nextPassDue.compare_exchange_strong(none, GetTickCount64() + passInterval);
    // Without a stop event a clock could not be stopped, and without the request it would never
    // read the calendar: none starts.
    if (!app->reminderStop || !reloadEvent())
        return;
    SetEvent(reloadEvent()); // its first work is the table
    app->reminderThread = CreateThread(nullptr, 0, reminderClock, nullptr, 0, nullptr);
}

void requestReminderReload() {
    HANDLE thread = app->reminderThread;
    // A clock that ended by itself (no MAPI on its thread) is replaced by one that loads.
    if (!thread || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0 || !reloadEvent()) {
        startReminderClock();
        return;
    }
    SetEvent(reloadEvent());
}

void stopReminderClock() {
    // Taken out first: what is dispatched while waiting finds no clock to stop.
    const HANDLE thread = std::exchange(app->reminderThread, nullptr);
    if (!thread)
        return;
    SetEvent(app->reminderStop);
    stopping = true;
    waitDispatching(thread);
    stopping = false;
    CloseHandle(thread);
    ResetEvent(app->reminderStop);
}

bool reminderClockStopping() {
    return stopping;
}
