// The display's scale. The program declares itself DPI-aware for the whole system (its
// manifest), so Windows neither stretches its windows nor lies about their sizes: everything the
// program places in pixels is scaled here by the display's DPI over 96. At 96 DPI every size
// stays what it is.
#pragma once
#include <windows.h>

// The display's DPI (LOGPIXELSY of the screen), read once: it is the system's, fixed until the
// user logs on again.
int displayDpi();

// A size or place given for 96 DPI, for this display; rounded to the nearest pixel.
int scaled(int pixels);

// Lays a dialog made from a template out again as its 96-DPI layout scaled to the display, in
// a TrueType face (Tahoma) of the template's size. A template's dialog units follow its font,
// and "MS Sans Serif" is a bitmap font with faces for 96 and 120 DPI only: on a display of
// 192 DPI its dialogs would grow by 1.5 instead of 2. Nothing changes at 96 DPI. For the
// initialisation of a dialog, before the dialog sets fonts of its own.
void scaleDialogToDisplay(HWND dialog);
