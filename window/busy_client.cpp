#include "busy_client.h"

namespace {

constexpr DWORD patienceMs = 10000;
constexpr DWORD retryDelayMs = 100;

// Asks COM to retry a call the client turned away as busy, until the patience is spent; a
// call the client refused outright is not retried.
class RetryingFilter final : public IMessageFilter {
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
    // One static object, for the life of the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejection) override {
        if (rejection == SERVERCALL_RETRYLATER && elapsedMs < patienceMs)
            return retryDelayMs;
        return DWORD(-1); // cancel: the call fails with RPC_E_CALL_REJECTED
    }
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

RetryingFilter filter;

} // namespace

BusyClientRetry::BusyClientRetry() : start_(GetTickCount64()) {
    registered_ = SUCCEEDED(CoRegisterMessageFilter(&filter, &previous_));
}

BusyClientRetry::~BusyClientRetry() {
    if (!registered_)
        return;
    IMessageFilter* ours = nullptr;
    CoRegisterMessageFilter(previous_, &ours);
    if (previous_)
        previous_->Release(); // the reference CoRegisterMessageFilter gave us
}

bool BusyClientRetry::rejected(HRESULT result) {
    return result == RPC_E_CALL_REJECTED || result == RPC_E_SERVERCALL_RETRYLATER;
}

bool BusyClientRetry::waitBeforeRetry() const {
    if (GetTickCount64() - start_ >= patienceMs)
        return false;
    Sleep(retryDelayMs);
    return true;
}
