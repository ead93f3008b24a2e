// The reminder clock: a thread that announces the reminders of the table as they fall due.
#pragma once
#include "reminder_time.h"

#include <windows.h>

// Every 20 seconds a pass over the table, until the stop event is set; asked to, it builds the
// table anew from the calendar folder between two passes, on its own thread, so that neither a
// large nor a hostile calendar holds up the window's thread (and new mail). A reload keeps the
// rhythm: the next pass comes at most 20 s after the previous one, whatever reloads happen
// between, and a clock started later makes its first pass when the previous clock's next one
// was due (at once when that moment has passed). While the table is empty it makes no passes.
DWORD WINAPI reminderClock(void*);

// One pass at the moment `now`: each reminder that is due and not yet announced is marked
// announced and, when its item can still be opened, shown in a reminder window of its own, in
// table order. False when a stop request ended the pass early; otherwise the pass's moment
// becomes the one a reload starts from.
bool reminderPass(Ticks now);

// Has the running clock make its next pass now; a clock started later makes its first pass at
// once. For the computer's resume: the wait does not count the time asleep.
void wakeReminderClock();

// Starts the clock thread, whose first work is to build the table, making the stop event on
// first use.
void startReminderClock();

// Asks the running clock to build its table anew and returns at once; starts a clock that
// loads when none runs.
void requestReminderReload();

// Whether the running clock has been asked to stop: its pass or its reload ends early.
bool reminderStopRequested();

// Asks the running clock to stop and waits for its thread to end: afterwards nothing reads the
// table and no further reminder window starts. Windows already open stay open. Does nothing
// when no clock runs. The calling thread's messages are dispatched while it waits, since the
// clock's store call may need them: a notification can come meanwhile.
void stopReminderClock();
// Whether a stop is waiting for the clock's thread (and dispatching meanwhile).
bool reminderClockStopping();
