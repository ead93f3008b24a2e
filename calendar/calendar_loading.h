// Calendar loading: the reminder table of the calendar folder's coming reminders.
#pragma once
#include "reminder_time.h"

// Stops the running reminder clock, builds the reminder table anew from the calendar folder and
// starts a clock when the table holds reminders. Runs on the main thread: at start-up, and for
// every change that the calendar sink reports.
void loadCalendar();

// Builds the table as loadCalendar does at the moment `now`, without starting a clock; the
// number of entries. The reminders come from the moment of the running clock's last complete
// pass on (from `now` when no clock ran), so none falls between two tables; those the previous
// table announced stay announced.
int buildReminderTable(Ticks now);
