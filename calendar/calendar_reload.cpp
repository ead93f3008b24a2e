#include "calendar_reload.h"

#include "calendar_loading.h"
#include "reminder_clock.h"

// The old clock has ended before the table it reads is freed. Stopping it dispatches messages,
// so a change can be notified while a clock is being stopped: that change is not reloaded
// there, inside the reload (or the load) that stops the clock, since the table that follows the
// stop is read after it anyway.
void reloadCalendar() {
    if (reminderClockStopping())
        return;
    stopReminderClock();
    loadCalendar();
}
