// Watches the advised calendar folders of a store: an .ics file added, changed or removed is
// reported as an appointment created, modified or deleted, and an appointment whose reminder
// moves on to its next alarm (a recurring one, or one with several alarms) as modified, at the
// moment it moves. The store's watcher sees the folders' directories; one thread for all
// calendar folders of a store waits, using no time, for what it hands over and on one timer
// set for the earliest moment a reminder moves.
#pragma once
#include "notifier.h"

#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "watcher.h"

namespace maildir {

class CalendarWatch {
public:
    using Sink = std::function<void(std::vector<Notice>)>;
    CalendarWatch(std::shared_ptr<Store> store, std::shared_ptr<Watcher> watcher, Sink sink);
    ~CalendarWatch();
    CalendarWatch(const CalendarWatch&) = delete;
    CalendarWatch& operator=(const CalendarWatch&) = delete;

    // Starts watching a calendar folder; changes from the moment it returns are reported, and
    // appointments already there are not. What the folder holds is read afterwards, on the
    // calendar thread.
    bool watch(const std::string& folder);

private:
    // What was last reported of an appointment.
    struct Known {
        std::uint64_t signature = 0;
        std::uint64_t digest = 0; // of the content: a rewrite may keep the signature
        std::optional<std::int64_t> reminder;
        std::optional<std::int64_t> movesAt;
        bool unknown = false; // changed before it was first looked at: what it held is not known
    };
    struct Folder;

    void run();
    // On the calendar thread: reads what a newly watched folder holds.
    void prime(Folder& folder);
    // On the watcher thread: notes the names that changed, for the calendar thread. `gone`:
    // the directory is away, and watched again only when it comes back.
    void changed(const std::string& folder, const std::vector<std::string>& names, bool lost,
                 bool gone);
    // Compares what the names (or, after lost changes, the whole folder) are now with what was
    // reported, and records the difference.
    std::vector<Notice> settle(Folder& folder, const std::set<std::string>& dirty, bool lost,
                               std::int64_t now);
    // `reported`: a change to the name was reported, so its file is read again even when its
    // size and time of writing are the same.
    std::vector<Notice> examine(Folder& folder, const std::string& name, std::int64_t now,
                                bool reported);
    // The same with the file as listed (nothing: gone).
    std::vector<Notice> compare(Folder& folder, const std::string& name,
                                const std::optional<devkit::CalendarFile>& file, std::int64_t now,
                                bool reported);
    std::vector<Notice> advance(const std::vector<Folder*>& folders, std::int64_t now);
    void arm();
    Known current(const devkit::CalendarFile& file, std::int64_t now, bool reported);

    std::shared_ptr<Store> store_;
    std::shared_ptr<Watcher> watcher_;
    Sink sink_;
    HANDLE stop_ = nullptr;
    HANDLE wake_ = nullptr;  // changes were noted
    HANDLE timer_ = nullptr; // the earliest moment a reminder moves on
    std::mutex lock_;
    std::list<Folder> folders_;
    std::thread thread_;
};

} // namespace maildir
