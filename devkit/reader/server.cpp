// maildirreader.exe: the out-of-process server of the reader's application object, started by
// COM with -Embedding. One apartment thread serves every object and every reader window.
#include "automation.h"
#include "busy_filter.h"
#include "call_log.h"
#include "reader_class.h"
#include "reader_settings.h"
#include "server.h"

namespace reader {

namespace {

// How long the server waits, with nothing to serve, before it ends; a reading that follows
// soon finds it running.
constexpr UINT idleMilliseconds = 5000;

long objects = 0, windows = 0, locks = 0;
UINT_PTR idleTimer = 0;

void CALLBACK idleCheck(HWND, UINT, UINT_PTR, DWORD);

void armIdleTimer() {
    if (objects == 0 && windows == 0 && locks == 0)
        idleTimer = SetTimer(nullptr, idleTimer, idleMilliseconds, idleCheck);
}

void CALLBACK idleCheck(HWND, UINT, UINT_PTR, DWORD) {
    KillTimer(nullptr, idleTimer);
    idleTimer = 0;
    if (objects == 0 && windows == 0 && locks == 0)
        PostQuitMessage(0);
}

class ClassFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
            return E_NOINTERFACE;
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // The factory lives as long as the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        reloadSettings();
        resetBusyFilter();
        IDispatch* application = newApplication();
        if (!application)
            return E_OUTOFMEMORY;
        logLine("CreateInstance Application (objects " + std::to_string(objects) + ")");
        const HRESULT result = application->QueryInterface(iid, out);
        application->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        serverLocked(lock != FALSE);
        return S_OK;
    }
};

} // namespace

void objectCreated() {
    ++objects;
}
void objectDestroyed() {
    --objects;
    armIdleTimer();
}
void windowOpened() {
    ++windows;
}
void windowClosed() {
    --windows;
    armIdleTimer();
}
void serverLocked(bool lock) {
    locks += lock ? 1 : -1;
    armIdleTimer();
}
long liveObjects() {
    return objects;
}

} // namespace reader

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (FAILED(CoInitialize(nullptr)))
        return 1;
    reader::reloadSettings();
    reader::registerBusyFilter();
    static reader::ClassFactory factory;
    DWORD registration = 0;
    if (FAILED(CoRegisterClassObject(reader::readerClassId, &factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &registration))) {
        CoUninitialize();
        return 2;
    }
    reader::armIdleTimer(); // started by hand, or by a client that went away
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(registration);
    CoUninitialize();
    return 0;
}
