// MAPI on a worker thread: MAPI requires MAPIInitialize on every thread that uses its objects
// (without it a store may answer MAPI_E_NOT_INITIALIZED), balanced by MAPIUninitialize when the
// thread ends. Only the main thread's initialisation chooses how notifications are delivered.
#pragma once
#include "failure_trace.h"

#include <mapix.h>

class MapiThread {
public:
    MapiThread() : ready_(!failed("MAPIInitialize", MAPIInitialize(nullptr))) {}
    ~MapiThread() {
        if (ready_)
            MAPIUninitialize();
    }
    MapiThread(const MapiThread&) = delete;
    MapiThread& operator=(const MapiThread&) = delete;

    bool ready() const { return ready_; }

private:
    bool ready_;
};
