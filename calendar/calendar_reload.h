// What the calendar sink hands on: any change in a watched calendar folder.
#pragma once

// Has the reminders rebuilt after a change in the calendar folder: asks the reminder clock to
// reload and returns at once. Runs on the main thread, once for each call of the calendar sink,
// also while the program is paused.
void reloadCalendar();
