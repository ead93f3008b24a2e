#include "busy_filter.h"

#include "call_log.h"
#include "reader_settings.h"

#include <string>

namespace reader {

namespace {

unsigned rejectionsLeft = 0; // the apartment's one thread reads and writes it

class BusyFilter final : public IMessageFilter {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMessageFilter))
            return E_NOINTERFACE;
        *out = static_cast<IMessageFilter*>(this);
        return S_OK;
    }
    // The filter lives as long as the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // Only automation calls are turned away: the calls that make and release objects go on,
    // as a busy mail client's do. A real one answers SERVERCALL_RETRYLATER; Wine's COM serves
    // such a call all the same, so the reader rejects it, which a caller sees the same way
    // (RPC_E_CALL_REJECTED) unless its own filter retries.
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        if (rejectionsLeft == 0 || !call || !IsEqualIID(call->iid, IID_IDispatch))
            return SERVERCALL_ISHANDLED;
        --rejectionsLeft;
        logLine("Busy: call rejected (" + std::to_string(rejectionsLeft) + " more)");
        return SERVERCALL_REJECTED;
    }
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return DWORD(-1); }
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

} // namespace

void registerBusyFilter() {
    static BusyFilter filter;
    IMessageFilter* previous = nullptr;
    CoRegisterMessageFilter(&filter, &previous);
}

void resetBusyFilter() {
    rejectionsLeft = settings().rejectCalls;
}

} // namespace reader
