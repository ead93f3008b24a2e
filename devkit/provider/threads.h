// The rules of MAPI for threads, as the kit enforces them.
//
// Strict (on by default; setting "StrictThreads" = "off" switches it off): a thread that has not
// called MAPIInitialize, or has balanced every call with MAPIUninitialize, gets
// MAPI_E_NOT_INITIALIZED from every method of every object, as the MAPI documentation says.
// The kit's own threads (the watcher, the reminder timer) count as MAPI's: they call sinks.
//
// Marshalled (setting "ForeignThreadCalls" = "marshal"): a call made on another thread than the
// one MAPI delivers notifications on returns only once that thread has dispatched a message
// posted to it, as a call marshalled into a single-threaded apartment, or a provider that does
// its work on the thread that opened it. A thread that waits for the caller without
// dispatching deadlocks; the kit gives up after 30 s with MAPI_E_TIMEOUT so that a test ends.
#pragma once
#include "mapi.h"

namespace maildir {

struct ThreadRules {
    bool strict = true;
    bool marshal = false;
};
void setThreadRules(const ThreadRules& rules);

// MAPIInitialize and MAPIUninitialize count the calling thread's initialisations.
void threadInitialized();
void threadUninitialized();
// Called first on each thread of the kit.
void providerThread();

// Whether a method of an object may run on this thread now (S_OK), or its refusal; waits for
// the notification thread's dispatch when calls are marshalled.
HRESULT admitCall(const char* method);

} // namespace maildir
