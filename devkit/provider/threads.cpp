#include "threads.h"

#include "notifier.h"

#include <atomic>

namespace maildir {

namespace {

constexpr DWORD marshalLimitMs = 30000;

std::atomic<bool> strict{true};
std::atomic<bool> marshal{false};
thread_local int initializations = 0;
thread_local bool ownThread = false;

} // namespace

void setThreadRules(const ThreadRules& rules) {
    strict = rules.strict;
    marshal = rules.marshal;
}

void threadInitialized() {
    ++initializations;
}

void threadUninitialized() {
    if (initializations > 0)
        --initializations;
}

void providerThread() {
    ownThread = true;
}

HRESULT admitCall(const char* method) {
    // The plain functions (MAPIAllocateBuffer, ...) have their own rules; objects' methods are
    // named "IInterface::Method".
    if (ownThread || !method || method[0] != 'I')
        return S_OK;
    if (strict && initializations == 0)
        return MAPI_E_NOT_INITIALIZED;
    if (marshal && !Notifier::instance().awaitDispatch(marshalLimitMs))
        return MAPI_E_TIMEOUT;
    return S_OK;
}

} // namespace maildir
