#include "calendar_reload.h"

// Nothing to rebuild until reminders exist.
void reloadCalendar() {}
