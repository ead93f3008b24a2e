#include "calendar_reload.h"

#include "reminder_clock.h"

// The clock reads the calendar on its own thread; the window's thread only asks it to. Stopping
// a clock dispatches messages, so a change can be notified while one is being stopped: that
// change is not handed on there, since the table that follows the stop is read after it anyway.
void reloadCalendar() {
    if (reminderClockStopping())
        return;
    requestReminderReload();
}
