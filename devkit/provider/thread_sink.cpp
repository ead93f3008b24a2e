// HrThisThreadAdviseSink: a sink that forwards every OnNotify to the thread that made it, as
// MAPI's own does, for clients whose sinks must run on their thread when a store calls from
// another. mapi32 forwards it to the provider under its decorated name.
#include "mapi.h"

#include "com_object.h"

#include <cstring>
#include <memory>
#include <vector>

namespace maildir {

extern HINSTANCE providerModule;

namespace {

constexpr wchar_t windowClass[] = L"MaildirMapiThreadSink";
constexpr UINT WM_FORWARD = WM_APP + 2;

// A batch of notifications copied with everything they point to, so that it outlives the call
// that gave it. Notifications of kinds the store never makes keep only their event type.
class CopiedBatch {
public:
    CopiedBatch(ULONG count, const NOTIFICATION* notifications) {
        for (ULONG i = 0; i < count; ++i)
            add(notifications[i]);
    }
    ULONG count() const { return ULONG(notifications_.size()); }
    NOTIFICATION* data() { return notifications_.data(); }

private:
    template <typename T> T* keep(const void* bytes, size_t size) {
        if (!bytes)
            return nullptr;
        auto& copy = buffers_.emplace_back(static_cast<const BYTE*>(bytes),
                                           static_cast<const BYTE*>(bytes) + size);
        copy.push_back(0); // an empty copy still has an address
        return reinterpret_cast<T*>(copy.data());
    }
    void add(const NOTIFICATION& from) {
        NOTIFICATION& to = notifications_.emplace_back();
        to.ulEventType = from.ulEventType;
        if (from.ulEventType == fnevNewMail) {
            const NEWMAIL_NOTIFICATION& mail = from.info.newmail;
            to.info.newmail = mail;
            to.info.newmail.lpEntryID = keep<ENTRYID>(mail.lpEntryID, mail.cbEntryID);
            to.info.newmail.lpParentID = keep<ENTRYID>(mail.lpParentID, mail.cbParentID);
            to.info.newmail.lpszMessageClass =
                mail.lpszMessageClass
                    ? keep<char>(mail.lpszMessageClass,
                                 (mail.ulFlags & MAPI_UNICODE)
                                     ? wcslen(reinterpret_cast<wchar_t*>(mail.lpszMessageClass)) *
                                           sizeof(wchar_t)
                                     : std::strlen(reinterpret_cast<char*>(mail.lpszMessageClass)))
                    : nullptr;
            if (to.info.newmail.lpszMessageClass && (mail.ulFlags & MAPI_UNICODE))
                buffers_.back().push_back(0); // a wide terminator
        } else if (from.ulEventType & (fnevObjectCreated | fnevObjectDeleted | fnevObjectModified |
                                       fnevObjectMoved | fnevObjectCopied | fnevSearchComplete)) {
            const OBJECT_NOTIFICATION& object = from.info.obj;
            to.info.obj = object;
            to.info.obj.lpEntryID = keep<ENTRYID>(object.lpEntryID, object.cbEntryID);
            to.info.obj.lpParentID = keep<ENTRYID>(object.lpParentID, object.cbParentID);
            to.info.obj.lpOldID = keep<ENTRYID>(object.lpOldID, object.cbOldID);
            to.info.obj.lpOldParentID = keep<ENTRYID>(object.lpOldParentID, object.cbOldParentID);
            to.info.obj.lpPropTagArray = nullptr;
        }
    }

    std::vector<NOTIFICATION> notifications_;
    std::vector<std::vector<BYTE>> buffers_;
};

class ThreadSink final : public ComObject<IMAPIAdviseSink> {
public:
    ThreadSink(IMAPIAdviseSink* target, HWND window) : target_(target), window_(window) {
        target_->AddRef();
    }
    ~ThreadSink() override { target_->Release(); }

    STDMETHODIMP_(ULONG) OnNotify(ULONG count, LPNOTIFICATION notifications) override {
        if (GetWindowThreadProcessId(window_, nullptr) == GetCurrentThreadId())
            return target_->OnNotify(count, notifications);
        if (!notifications || count == 0)
            return S_OK;
        auto call = std::make_unique<Call>(Call{this, CopiedBatch(count, notifications)});
        AddRef(); // held by the posted call
        if (PostMessageW(window_, WM_FORWARD, 0, reinterpret_cast<LPARAM>(call.get())))
            call.release();
        else
            Release(); // the thread is gone: nobody is left to tell
        return S_OK;
    }

    struct Call {
        ThreadSink* sink;
        CopiedBatch batch;
    };
    void forward(CopiedBatch& batch) { target_->OnNotify(batch.count(), batch.data()); }

private:
    bool answers(REFIID iid) const override { return IsEqualIID(iid, IID_IMAPIAdviseSink); }

    IMAPIAdviseSink* target_;
    HWND window_;
};

LRESULT CALLBACK forwardingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_FORWARD)
        return DefWindowProcW(window, message, wParam, lParam);
    const std::unique_ptr<ThreadSink::Call> call(reinterpret_cast<ThreadSink::Call*>(lParam));
    call->sink->forward(call->batch);
    call->sink->Release();
    return 0;
}

// One hidden window per thread that asked, living as long as the thread.
HWND forwardingWindow() {
    static thread_local HWND window = nullptr;
    if (window && IsWindow(window))
        return window;
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = forwardingWindowProc;
    description.hInstance = providerModule;
    description.lpszClassName = windowClass;
    RegisterClassExW(&description); // fails harmlessly when it is registered already
    window = CreateWindowExW(0, windowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             providerModule, nullptr);
    return window;
}

} // namespace

} // namespace maildir

// Exported as "HrThisThreadAdviseSink@8" (see maildirmapi.def), the name mapi32 looks for.
extern "C" HRESULT WINAPI threadAdviseSink(LPMAPIADVISESINK sink, LPMAPIADVISESINK* forwarder) {
    if (!sink || !forwarder)
        return MAPI_E_INVALID_PARAMETER;
    *forwarder = nullptr;
    const HWND window = maildir::forwardingWindow();
    if (!window)
        return MAPI_E_CALL_FAILED;
    *forwarder = maildir::make<maildir::ThreadSink>(sink, window);
    return *forwarder ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}
