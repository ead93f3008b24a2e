#include "notifier.h"

#include "calendar_watch.h"
#include "watcher.h"

#include <utility>

namespace maildir {

extern HINSTANCE providerModule;

namespace {

constexpr wchar_t windowClass[] = L"MaildirMapiNotifications";
constexpr UINT WM_NOTICES = WM_APP + 1;
constexpr UINT WM_DISPATCHED = WM_APP + 2; // lParam: the event that a waiting caller waits on

LRESULT CALLBACK notificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISPATCHED) {
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 0;
    }
    if (message != WM_NOTICES)
        return DefWindowProcW(window, message, wParam, lParam);
    Notifier::instance().deliverQueued();
    return 0;
}

} // namespace

Notifier& Notifier::instance() {
    static Notifier notifier; // lives until the process ends
    return notifier;
}

HRESULT Notifier::start(bool multithreaded) {
    std::lock_guard guard(lock_);
    multithreaded_ = multithreaded;
    if (multithreaded || window_)
        return S_OK;
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = notificationWindowProc;
    description.hInstance = providerModule;
    description.lpszClassName = windowClass;
    RegisterClassExW(&description); // fails harmlessly when it is registered already
    window_ = CreateWindowExW(0, windowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              providerModule, nullptr);
    return window_ ? S_OK : MAPI_E_CALL_FAILED;
}

void Notifier::configure(bool onWatcherThread, bool inCalls) {
    onWatcherThread_ = onWatcherThread;
    inCalls_ = inCalls;
}

void Notifier::deliverWaitingInCall() {
    if (!inCalls_)
        return;
    HWND window;
    {
        std::lock_guard guard(lock_);
        window = window_;
    }
    if (window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        deliverQueued();
}

bool Notifier::awaitDispatch(DWORD limitMs) {
    HWND window;
    {
        std::lock_guard guard(lock_);
        window = window_;
    }
    if (!window || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
        return true;
    // One event per calling thread, kept for its life: a dispatch that comes after the time ran
    // out then sets an event that nothing closed, and the next wait resets it first.
    thread_local HANDLE dispatched = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!dispatched)
        return false;
    ResetEvent(dispatched);
    if (!PostMessageW(window, WM_DISPATCHED, 0, reinterpret_cast<LPARAM>(dispatched)))
        return false;
    return WaitForSingleObject(dispatched, limitMs) == WAIT_OBJECT_0;
}

void Notifier::stop() {
    std::vector<Registration> registrations;
    std::map<Store*, std::shared_ptr<Watcher>> watchers;
    std::map<Store*, std::shared_ptr<CalendarWatch>> calendarWatches;
    HWND window;
    {
        std::lock_guard guard(lock_);
        registrations.swap(registrations_);
        watchers.swap(watchers_);
        calendarWatches.swap(calendarWatches_);
        window = std::exchange(window_, nullptr);
    }
    watchers.clear(); // joins the threads: nothing is posted after this
    calendarWatches.clear();
    if (window)
        DestroyWindow(window);
    {
        std::lock_guard guard(lock_);
        queued_.clear();
        posted_ = false;
    }
    for (Registration& registration : registrations)
        registration.sink->Release();
}

std::shared_ptr<Watcher> Notifier::watcher(const std::shared_ptr<Store>& store) {
    std::lock_guard guard(lock_);
    auto& watcher = watchers_[store.get()];
    if (!watcher)
        watcher = std::make_shared<Watcher>(
            store, [this, store](std::vector<Notice> notices) { post(store, std::move(notices)); });
    return watcher;
}

std::shared_ptr<CalendarWatch> Notifier::calendarWatch(const std::shared_ptr<Store>& store) {
    auto watcher = this->watcher(store);
    std::lock_guard guard(lock_);
    auto& calendar = calendarWatches_[store.get()];
    if (!calendar)
        calendar = std::make_shared<CalendarWatch>(
            store, watcher,
            [this, store](std::vector<Notice> notices) { post(store, std::move(notices)); });
    return calendar;
}

HRESULT Notifier::advise(const std::shared_ptr<Store>& store,
                         const std::optional<std::string>& folder, ULONG mask,
                         IMAPIAdviseSink* sink, ULONG* connection) {
    {
        std::lock_guard guard(lock_);
        if (!window_ && !multithreaded_)
            return MAPI_E_NOT_INITIALIZED;
    }
    // Not under the lock: the watcher thread may be delivering to the sinks, which takes it.
    // A registration on the whole store watches the receive folder.
    // Calendar folders hold .ics files, and have reminders that move on.
    const bool calendar = folder && store->files().isCalendar(*folder);
    if (calendar ? !calendarWatch(store)->watch(*folder)
                 : !watcher(store)->watch(folder ? *folder : store->files().receiveFolder()))
        return MAPI_E_CALL_FAILED;
    std::lock_guard guard(lock_);
    sink->AddRef();
    registrations_.push_back({nextConnection_, store, folder, mask, sink});
    *connection = nextConnection_++;
    return S_OK;
}

HRESULT Notifier::unadvise(ULONG connection) {
    IMAPIAdviseSink* sink = nullptr;
    {
        std::lock_guard guard(lock_);
        for (auto it = registrations_.begin(); it != registrations_.end(); ++it)
            if (it->connection == connection) {
                sink = it->sink;
                registrations_.erase(it);
                break;
            }
    }
    if (!sink)
        return MAPI_E_NOT_FOUND;
    sink->Release();
    return S_OK;
}

void Notifier::post(const std::shared_ptr<Store>& store, std::vector<Notice> notices) {
    std::unique_lock guard(lock_);
    if (multithreaded_ || onWatcherThread_ || !window_) {
        guard.unlock();
        dispatch(store, notices);
        return;
    }
    // Everything that waits for the thread to dispatch goes out together, at its next message.
    if (queued_.empty() || queued_.back().first != store)
        queued_.emplace_back(store, std::vector<Notice>());
    auto& waiting = queued_.back().second;
    waiting.insert(waiting.end(), std::make_move_iterator(notices.begin()),
                   std::make_move_iterator(notices.end()));
    if (!posted_)
        posted_ = PostMessageW(window_, WM_NOTICES, 0, 0);
}

void Notifier::deliverQueued() {
    std::vector<std::pair<std::shared_ptr<Store>, std::vector<Notice>>> queued;
    {
        std::lock_guard guard(lock_);
        queued.swap(queued_);
        posted_ = false;
    }
    for (const auto& [store, notices] : queued)
        dispatch(store, notices);
}

void Notifier::dispatch(const std::shared_ptr<Store>& store, const std::vector<Notice>& notices) {
    // The identifiers live here while the sinks run.
    struct Identifiers {
        Bytes id, parent, oldId, oldParent;
    };
    std::vector<Identifiers> identifiers(notices.size());
    std::vector<NOTIFICATION> notifications(notices.size());
    static char messageClass[] = "IPM.Note";
    for (size_t i = 0; i < notices.size(); ++i) {
        const Notice& notice = notices[i];
        Identifiers& ids = identifiers[i];
        const bool isMessage = notice.objectType == MAPI_MESSAGE;
        ids.id = isMessage
                     ? store->messageId(notice.folder, notice.name)
                     : store->folderId(devkit::MaildirStore::join(notice.folder, notice.name));
        ids.parent = store->folderId(notice.folder);

        NOTIFICATION& notification = notifications[i];
        notification.ulEventType = notice.event;
        if (notice.event == fnevNewMail) {
            NEWMAIL_NOTIFICATION& mail = notification.info.newmail;
            mail.cbEntryID = ULONG(ids.id.size());
            mail.lpEntryID = reinterpret_cast<ENTRYID*>(ids.id.data());
            mail.cbParentID = ULONG(ids.parent.size());
            mail.lpParentID = reinterpret_cast<ENTRYID*>(ids.parent.data());
            mail.ulFlags = 0;
            mail.lpszMessageClass = messageClass;
            mail.ulMessageFlags = notice.messageFlags;
            continue;
        }
        OBJECT_NOTIFICATION& object = notification.info.obj;
        object.cbEntryID = ULONG(ids.id.size());
        object.lpEntryID = reinterpret_cast<ENTRYID*>(ids.id.data());
        object.ulObjType = notice.objectType;
        object.cbParentID = ULONG(ids.parent.size());
        object.lpParentID = reinterpret_cast<ENTRYID*>(ids.parent.data());
        if (notice.event == fnevObjectMoved) {
            ids.oldId =
                isMessage
                    ? store->messageId(notice.oldFolder, notice.oldName)
                    : store->folderId(devkit::MaildirStore::join(notice.oldFolder, notice.oldName));
            ids.oldParent = store->folderId(notice.oldFolder);
            object.cbOldID = ULONG(ids.oldId.size());
            object.lpOldID = reinterpret_cast<ENTRYID*>(ids.oldId.data());
            object.cbOldParentID = ULONG(ids.oldParent.size());
            object.lpOldParentID = reinterpret_cast<ENTRYID*>(ids.oldParent.data());
        }
    }

    // Each sink that asked for some of these gets them in one call, in order; it is held while
    // it runs, since OnNotify may unadvise it.
    std::vector<std::pair<IMAPIAdviseSink*, std::vector<NOTIFICATION>>> calls;
    {
        std::lock_guard guard(lock_);
        for (const Registration& registration : registrations_) {
            if (registration.store != store)
                continue;
            std::vector<NOTIFICATION> wanted;
            for (size_t i = 0; i < notices.size(); ++i) {
                const Notice& notice = notices[i];
                const bool here =
                    !registration.folder || *registration.folder == notice.folder ||
                    (notice.event == fnevObjectMoved && *registration.folder == notice.oldFolder);
                if (here && (registration.mask & notice.event))
                    wanted.push_back(notifications[i]);
            }
            if (wanted.empty())
                continue;
            registration.sink->AddRef();
            calls.emplace_back(registration.sink, std::move(wanted));
        }
    }
    for (auto& [sink, wanted] : calls) {
        sink->OnNotify(ULONG(wanted.size()), wanted.data());
        sink->Release();
    }
}

} // namespace maildir
