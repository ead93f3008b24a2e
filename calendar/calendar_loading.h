// Calendar loading: the reminder table of the calendar folder's coming reminders.
#pragma once
#include "reminder_time.h"

// Starts the reminder clock, which builds the reminder table from the calendar folder on its own
// thread; returns at once. At start-up; each change that the calendar sink reports then asks
// the clock to load again (calendar_reload.h).
void loadCalendar();

// Builds the table anew at the moment `now`; the number of entries. The reminders come from the
// moment of the clock's last complete pass on (from `now` while the table was empty), so none
// falls between two tables; those the previous table announced stay announced. Runs on the
// clock's thread, which alone reads the table; a stop request leaves the table as it was.
int rebuildReminderTable(Ticks now);

// The same on the calling thread, the running clock stopped first (no clock is started).
int buildReminderTable(Ticks now);
