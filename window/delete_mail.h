// Delete: the mail now shown removed from its folder for good, after the user has confirmed it,
// and its line taken out of the history.
#pragma once
#include <windows.h>

// `window` owns the boxes and is the parent of any progress window of the store.
void deleteMail(HWND window);
