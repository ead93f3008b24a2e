#include "calendar_watch.h"

#include "properties.h"
#include "threads.h"

#include <algorithm>
#include <utility>

namespace maildir {

namespace {

constexpr DWORD watchedChanges =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
// A writer's changes to one file come in several records: they are looked at once the folder
// has been quiet this long, or after at most the second value.
constexpr ULONGLONG quietPeriod = 100;
constexpr ULONGLONG longestDelay = 1000;

// The appointment's name when `file` is an .ics file of the folder.
std::optional<std::string> appointmentName(const std::string& file) {
    const std::string extension = devkit::calendarExtension;
    if (file.size() <= extension.size() || file[0] == '.' ||
        _stricmp(file.c_str() + file.size() - extension.size(), extension.c_str()) != 0 ||
        file.find('\\') != std::string::npos)
        return std::nullopt;
    std::string name = file.substr(0, file.size() - extension.size());
    if (!devkit::isSafeUniqueName(name))
        return std::nullopt;
    return name;
}

Notice appointmentNotice(ULONG event, const std::string& folder, const std::string& name) {
    return {event, MAPI_MESSAGE, folder, name, {}, {}, MSGFLAG_READ};
}

} // namespace

struct CalendarWatch::Folder {
    std::string path;
    std::map<std::string, Known> known;
    std::set<std::string> dirty; // names changed since they were last looked at
    bool lost = false;           // more changed than was recorded
    bool gone = false;           // the directory is away: no changes are seen until it is back
    bool priming = true;         // what it held when it was advised is not read yet
    std::vector<devkit::CalendarFile> unread; // that, as listed then
    ULONGLONG firstChange = 0, lastChange = 0;
};

CalendarWatch::CalendarWatch(std::shared_ptr<Store> store, std::shared_ptr<Watcher> watcher,
                             Sink sink)
    : store_(std::move(store)), watcher_(std::move(watcher)), sink_(std::move(sink)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      timer_(CreateWaitableTimerW(nullptr, FALSE, nullptr)) {
    thread_ = std::thread([this] {
        providerThread();
        run();
    });
}

CalendarWatch::~CalendarWatch() {
    SetEvent(stop_);
    thread_.join();
    for (const Folder& folder : folders_)
        store_->calendarLists().forget(folder.path); // no longer kept
    for (HANDLE handle : {stop_, wake_, timer_})
        if (handle)
            CloseHandle(handle);
}

bool CalendarWatch::watch(const std::string& path) {
    {
        std::lock_guard guard(lock_);
        for (const Folder& folder : folders_)
            if (folder.path == path)
                return true;
    }
    const bool watched = watcher_->watchDirectory(
        path, "", watchedChanges,
        [this, path](const std::vector<Watcher::Change>& changes, bool lost) {
            std::vector<std::string> names;
            for (const Watcher::Change& change : changes)
                if (auto name = appointmentName(change.name))
                    names.push_back(std::move(*name));
            changed(path, names, lost, lost && !watcher_->watches(path, ""));
            return std::vector<Notice>(); // told once the folder is quiet
        });
    if (!watched)
        return false;
    // Changes are seen from here on. Now remember what is there: listed now, checked and read
    // on the calendar thread, so that advising a calendar of thousands returns at once. Until
    // then a table reads the files of this list only through the store's checked reading.
    std::lock_guard guard(lock_);
    Folder& folder = folders_.emplace_back();
    folder.path = path;
    // Listings keep their own records: the store's lock is not needed, and not taken.
    folder.unread = store_->files().calendarFilesUnchecked(path);
    store_->calendarLists().track(path, folder.unread);
    SetEvent(wake_);
    return true;
}

// Reads the files a folder held when it was advised, outside the store's lock and outside the
// watch's own lock, which the watcher thread takes to note changes (new mail's among them): a
// calendar of thousands of items, or of costly ones, holds up neither. Changes noted meanwhile
// wait for the reading; a file among them is reported modified (or deleted) once they are
// looked at, since what it held when it was listed is not known.
void CalendarWatch::prime(Folder& folder) {
    std::vector<devkit::CalendarFile> files;
    {
        std::lock_guard guard(lock_);
        files.swap(folder.unread);
    }
    const std::int64_t now = unixNow();
    std::map<std::string, Known> known;
    for (const auto& file : files) {
        if (WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0)
            return;
        if (!store_->files().calendarFileInside(folder.path, file)) {
            store_->calendarLists().update(folder.path, file.name, std::nullopt);
            continue; // leads outside: neither read nor listed
        }
        known[file.name] = current(file, now, false);
    }
    std::lock_guard guard(lock_);
    for (auto& [name, item] : known) {
        item.unknown = folder.dirty.count(name) > 0;
        folder.known[name] = item;
    }
    folder.priming = false;
    arm();
}

void CalendarWatch::changed(const std::string& path, const std::vector<std::string>& names,
                            bool lost, bool gone) {
    if (names.empty() && !lost)
        return;
    std::lock_guard guard(lock_);
    if (gone)
        store_->calendarLists().forget(path);
    else
        store_->calendarLists().changing(path);
    for (Folder& folder : folders_) {
        if (folder.path != path)
            continue;
        folder.gone = gone; // it may have come back
        const ULONGLONG tick = GetTickCount64();
        if (folder.dirty.empty() && !folder.lost)
            folder.firstChange = tick;
        folder.lastChange = tick;
        folder.lost |= lost;
        folder.dirty.insert(names.begin(), names.end());
    }
    SetEvent(wake_);
}

CalendarWatch::Known CalendarWatch::current(const devkit::CalendarFile& file, std::int64_t now,
                                            bool reported) {
    Known known;
    known.signature = file.signature;
    devkit::CalendarItems& items = store_->calendar();
    const devkit::CalendarItem item = reported ? items.reload(file, now, store_->reminderLinger)
                                               : items.load(file, now, store_->reminderLinger);
    known.digest = item.digest;
    if (item.appointment) {
        if (item.reminder.alarm)
            known.reminder = item.reminder.alarm->at;
        known.movesAt = item.reminder.movesAt;
    }
    return known;
}

std::vector<Notice> CalendarWatch::examine(Folder& folder, const std::string& name,
                                           std::int64_t now, bool reported) {
    return compare(folder, name, store_->files().findCalendarFile(folder.path, name), now,
                   reported);
}

std::vector<Notice> CalendarWatch::compare(Folder& folder, const std::string& name,
                                           const std::optional<devkit::CalendarFile>& file,
                                           std::int64_t now, bool reported) {
    std::optional<Known> known;
    if (file)
        known = current(*file, now, reported); // outside the store's lock: it may cost
    else
        store_->calendar().forget(store_->files().directory(folder.path) /
                                  devkit::fs::path(utf8ToWide(name + devkit::calendarExtension)));
    store_->calendarLists().update(folder.path, name, file);
    auto before = folder.known.find(name);
    if (!file) {
        if (before == folder.known.end())
            return {};
        folder.known.erase(before);
        return {appointmentNotice(fnevObjectDeleted, folder.path, name)};
    }
    if (before == folder.known.end()) {
        folder.known[name] = *known;
        return {appointmentNotice(fnevObjectCreated, folder.path, name)};
    }
    const bool changed = before->second.unknown || before->second.signature != known->signature ||
                         before->second.digest != known->digest ||
                         before->second.reminder != known->reminder;
    before->second = *known;
    if (!changed)
        return {};
    return {appointmentNotice(fnevObjectModified, folder.path, name)};
}

std::vector<Notice> CalendarWatch::settle(Folder& folder, const std::set<std::string>& dirty,
                                          bool lost, std::int64_t now) {
    std::vector<Notice> notices;
    for (const std::string& name : dirty) {
        auto found = examine(folder, name, now, true);
        notices.insert(notices.end(), found.begin(), found.end());
    }
    if (lost) {
        // The changes that were lost are not known: every file is compared with what was
        // reported by its size and time of writing, and read again only when they differ, so
        // that a lost batch in a calendar of thousands costs one listing, not a reading of all.
        std::map<std::string, std::optional<devkit::CalendarFile>> files;
        for (const auto& [name, known] : folder.known)
            files[name]; // gone unless listed
        for (auto& file : store_->files().calendarFiles(folder.path))
            files[file.name] = std::move(file);
        for (const auto& [name, file] : files)
            if (!dirty.count(name)) {
                auto found = compare(folder, name, file, now, false);
                notices.insert(notices.end(), found.begin(), found.end());
            }
    }
    return notices;
}

std::vector<Notice> CalendarWatch::advance(const std::vector<Folder*>& folders, std::int64_t now) {
    std::vector<Notice> notices;
    for (Folder* folder : folders) {
        std::vector<std::string> due;
        for (const auto& [name, known] : folder->known)
            if (known.movesAt && *known.movesAt <= now)
                due.push_back(name);
        for (const std::string& name : due) {
            auto found = examine(*folder, name, now, false);
            notices.insert(notices.end(), found.begin(), found.end());
        }
    }
    return notices;
}

// One timer, set for the earliest moment a reminder moves on.
void CalendarWatch::arm() {
    std::optional<std::int64_t> earliest;
    for (const Folder& folder : folders_)
        for (const auto& [name, known] : folder.known)
            if (known.movesAt && (!earliest || *known.movesAt < *earliest))
                earliest = known.movesAt;
    if (!earliest) {
        CancelWaitableTimer(timer_);
        return;
    }
    const FILETIME at = fileTimeFromUnix(*earliest);
    LARGE_INTEGER due;
    // A little after the second begins, so that the clock read then has reached it.
    due.QuadPart = LONGLONG(ULONGLONG(at.dwHighDateTime) << 32 | at.dwLowDateTime) + 500000;
    SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
}

void CalendarWatch::run() {
    for (;;) {
        // Folders advised since: what they hold is read first.
        for (;;) {
            Folder* unread = nullptr;
            {
                std::lock_guard guard(lock_);
                for (Folder& folder : folders_)
                    if (folder.priming && !unread)
                        unread = &folder;
            }
            if (!unread || WaitForSingleObject(stop_, 0) == WAIT_OBJECT_0)
                break;
            prime(*unread);
        }
        HANDLE waits[] = {stop_, wake_, timer_};
        DWORD timeout = INFINITE;
        {
            std::lock_guard guard(lock_);
            const ULONGLONG tick = GetTickCount64();
            for (const Folder& folder : folders_)
                if ((!folder.dirty.empty() || folder.lost) && !folder.priming) {
                    const ULONGLONG due = std::min(folder.lastChange + quietPeriod,
                                                   folder.firstChange + longestDelay);
                    timeout = std::min<DWORD>(timeout, DWORD(due > tick ? due - tick : 0));
                }
        }
        const DWORD result = WaitForMultipleObjects(3, waits, FALSE, timeout);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED)
            return;

        // What is due is taken out under the lock and read outside it: the watcher thread
        // notes further changes (and announces mail) meanwhile. Only this thread reads and
        // writes what was reported of each appointment.
        struct Due {
            Folder* folder;
            std::set<std::string> names;
            bool lost;
        };
        std::vector<Due> due;
        std::vector<Folder*> watched;
        {
            std::lock_guard guard(lock_);
            const ULONGLONG tick = GetTickCount64();
            for (Folder& folder : folders_) {
                watched.push_back(&folder);
                if ((!folder.dirty.empty() || folder.lost) && !folder.priming &&
                    (tick >= folder.lastChange + quietPeriod ||
                     tick >= folder.firstChange + longestDelay))
                    due.push_back({&folder, std::exchange(folder.dirty, {}),
                                   std::exchange(folder.lost, false)});
            }
        }
        const std::int64_t now = unixNow();
        std::vector<Notice> notices;
        if (result == WAIT_OBJECT_0 + 2)
            notices = advance(watched, now);
        for (Due& folder : due) {
            auto found = settle(*folder.folder, folder.names, folder.lost, now);
            notices.insert(notices.end(), found.begin(), found.end());
        }
        {
            std::lock_guard guard(lock_);
            for (Due& folder : due) // current unless changes came meanwhile
                if (folder.folder->dirty.empty() && !folder.folder->lost && !folder.folder->gone)
                    store_->calendarLists().settled(folder.folder->path);
            arm();
        }
        if (!notices.empty())
            sink_(std::move(notices));
    }
}

} // namespace maildir
