// The life of the reader's server process: it runs while an automation object lives, a reader
// window is open or a client holds a lock, and ends a short while after the last one goes.
#pragma once

namespace reader {

void objectCreated();
void objectDestroyed();
void windowOpened();
void windowClosed();
void serverLocked(bool lock);
long liveObjects();

} // namespace reader
