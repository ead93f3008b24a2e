// Advise registrations and the delivery of notifications.
//
// As MAPI does on Windows: without MAPI_MULTITHREAD_NOTIFICATIONS, MAPIInitialize creates a
// hidden window on the calling thread; a watcher thread per store sees the changes on disk and
// posts them to that window, whose procedure calls the matching sinks' OnNotify. Notifications
// therefore arrive only while that thread dispatches messages. With the option, the watcher
// thread calls the sinks itself. As real stores do, each sink gets what waited for it in one
// OnNotify call, in order.
#pragma once
#include "mapi.h"
#include "store.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace maildir {

class Watcher;
class CalendarWatch;

// One change in a store, before it becomes a NOTIFICATION.
struct Notice {
    ULONG event;           // fnevNewMail, fnevObjectCreated, ...
    ULONG objectType;      // MAPI_MESSAGE or MAPI_FOLDER
    std::string folder;    // the parent folder
    std::string name;      // message unique name, or the folder's directory name
    std::string oldFolder; // for moves
    std::string oldName;
    ULONG messageFlags = 0;
};

class Notifier {
public:
    static Notifier& instance();

    HRESULT start(bool multithreaded);
    void stop();
    // The kit's settings: sinks called on the watcher thread; delivery inside calls.
    void configure(bool onWatcherThread, bool inCalls);
    // Inside a call that may deliver (see NotifyInCalls): when the calling thread is the one
    // notifications are delivered on, delivers what waits for it first.
    void deliverWaitingInCall();

    HRESULT advise(const std::shared_ptr<Store>& store, const std::optional<std::string>& folder,
                   ULONG mask, IMAPIAdviseSink* sink, ULONG* connection);
    HRESULT unadvise(ULONG connection);

    // The store's watcher, made on first use; its notices go to the store's sinks. Other
    // folders of the store (the calendar's) are watched through it with watchDirectory().
    std::shared_ptr<Watcher> watcher(const std::shared_ptr<Store>& store);
    // The store's calendar folders' watch, made on first use.
    std::shared_ptr<CalendarWatch> calendarWatch(const std::shared_ptr<Store>& store);

    // From a watcher thread: hands the notices to the notification thread.
    void post(const std::shared_ptr<Store>& store, std::vector<Notice> notices);
    // On the notification thread: delivers what was posted since the last time.
    void deliverQueued();
    // On the notification thread: calls the sinks that asked for these notices.
    void dispatch(const std::shared_ptr<Store>& store, const std::vector<Notice>& notices);
    // On any other thread: posts a message to the notification thread and waits until it has
    // been dispatched, at most `limitMs`; false when the time ran out. True at once on the
    // notification thread itself, or when notifications have no thread.
    bool awaitDispatch(DWORD limitMs);

private:
    struct Registration {
        ULONG connection;
        std::shared_ptr<Store> store;
        std::optional<std::string> folder; // none: the whole store
        ULONG mask;
        IMAPIAdviseSink* sink; // holds one reference
    };

    std::mutex lock_;
    std::vector<Registration> registrations_;
    std::map<Store*, std::shared_ptr<Watcher>> watchers_;
    std::map<Store*, std::shared_ptr<CalendarWatch>> calendarWatches_;
    ULONG nextConnection_ = 1;
    HWND window_ = nullptr;
    // Posted, not yet delivered: one message is in the queue for all of them.
    std::vector<std::pair<std::shared_ptr<Store>, std::vector<Notice>>> queued_;
    bool posted_ = false;
    bool multithreaded_ = false;
    std::atomic<bool> onWatcherThread_{false};
    std::atomic<bool> inCalls_{false};
};

} // namespace maildir
