// The reader's message filter: a mail client that is starting or shows a dialog rejects
// automation calls until it can serve them. With the RejectCalls setting the reader rejects
// that many IDispatch calls after each application object is made, then serves them.
#pragma once
#include <windows.h>

namespace reader {

// Registers the filter on the calling thread (the server's apartment).
void registerBusyFilter();
// Starts counting the calls to reject again, from the settings.
void resetBusyFilter();

} // namespace reader
