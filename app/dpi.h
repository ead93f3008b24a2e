// The display's scale. The program declares itself DPI-aware for the whole system (its
// manifest), so Windows neither stretches its windows nor lies about their sizes: everything the
// program places in pixels is scaled here by the display's DPI over 96. At 96 DPI every size
// stays what it is.
#pragma once

// The display's DPI (LOGPIXELSY of the screen), read once: it is the system's, fixed until the
// user logs on again.
int displayDpi();

// A size or place given for 96 DPI, for this display; rounded to the nearest pixel.
int scaled(int pixels);
