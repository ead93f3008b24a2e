// Forced delivery: with the MS-Mail Server option, a worker thread asks the spooler and every
// transport of the session to deliver what waits, once per polling interval. Mail that arrives
// this way is announced by the Inbox watch like any other.
#pragma once
#include <windows.h>

// The thread routine: a sleep of one interval, then one pass, for as long as the process lives.
DWORD WINAPI forcedDeliveryThread(LPVOID);
// Starts the thread; its handle is not kept.
void startForcedDelivery();

// Has the thread make its next pass now instead of at the end of its sleep. For the computer's
// resume: the sleep does not count the time asleep.
void wakeForcedDelivery();

// The sleep before the next pass, in milliseconds: "MSMailServerTime" units of 6 seconds, a
// zero stored back as 1. Computed in 64 bits and held below INFINITE, so that a large setting
// sleeps as long as Windows allows instead of wrapping to a short interval.
DWORD forcedDeliveryInterval();

// One pass: FlushQueues on every spooler and transport row of the session's status table, in
// table order; "error flush\n" on the debug output for each flush that fails. Nothing without
// a session or a status table.
void forceDelivery();
