#include "calendar_reload.h"

#include "calendar_loading.h"
#include "reminder_clock.h"

// The old clock has ended before the table it reads is freed.
void reloadCalendar() {
    stopReminderClock();
    loadCalendar();
}
