// What the calendar sink hands on: any change in a watched calendar folder.
#pragma once

// Rebuilds the reminders after a change in the calendar folder. Runs on the main thread, once
// for each call of the calendar sink, also while the program is paused.
void reloadCalendar();
