// A mail client that is starting, or shows a dialog, rejects automation calls ("retry later")
// until it can serve them. For the length of one reading, a message filter has COM retry such
// calls, and a call that comes back rejected all the same (a COM runtime that does not consult
// the filter, as Wine's) is made again; both stop once the reading has waited 10 s.
#pragma once
#include <windows.h>
#include <objidl.h>

class BusyClientRetry {
public:
    BusyClientRetry();  // registers the filter on this thread and starts the clock
    ~BusyClientRetry(); // puts the previous filter back
    BusyClientRetry(const BusyClientRetry&) = delete;
    BusyClientRetry& operator=(const BusyClientRetry&) = delete;

    // Makes the call, and again while the client rejects it and time is left; its result.
    template <typename Call> HRESULT call(Call&& call) {
        HRESULT result = call();
        while (rejected(result) && waitBeforeRetry())
            result = call();
        return result;
    }

private:
    static bool rejected(HRESULT result);
    bool waitBeforeRetry() const; // false once the time is up

    ULONGLONG start_;
    IMessageFilter* previous_ = nullptr;
    bool registered_ = false;
};
