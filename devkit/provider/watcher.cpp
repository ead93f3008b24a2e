#include "watcher.h"

#include "failure_trace.h"
#include "faults.h"
#include "maildir_name.h"
#include "properties.h"
#include "read_buffer.h"
#include "threads.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace maildir {

namespace {

// Room for the changes of one read. A store may watch a thousand folders, and every read in
// flight costs a page on Wine's side whatever its buffer, so each directory starts with one
// page of its own, which costs nothing until a change is written into it (read_buffer.h). A
// directory whose changes did not fit is found by comparing with the disk, and from then on
// reads with a buffer four times larger, up to the largest, as deliveries in bursts to new/
// need.
constexpr DWORD firstBufferSize = 4 * 1024;
constexpr DWORD largestBufferSize = 64 * 1024;
constexpr DWORD watchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
constexpr ULONGLONG gracePeriod = 150; // ms for the other half of a move
constexpr DWORD settleInterval = 50;
constexpr DWORD quietInterval = 5; // ms without a change or a registration
// How much earlier than the clock a file system may stamp a change, in FILETIME units (100 ms).
constexpr std::uint64_t clockMargin = 1000000;

// Where a message is: its path in the folder, "new/NAME" or "cur/NAME".
std::string placeOf(const devkit::MessageFile& message) {
    return (message.isNew ? "new/" : "cur/") + message.name;
}

bool isNew(const std::string& where) {
    return where.compare(0, 4, "new/") == 0;
}

ULONG flagsOf(const std::string& where) {
    const bool read = devkit::hasFlag(devkit::splitMaildirName(where.substr(4)).flags, 'S');
    return MSGFLAG_UNMODIFIED | (read ? MSGFLAG_READ : 0);
}

Notice messageNotice(ULONG event, const std::string& folder, const std::string& unique,
                     const std::string& where) {
    return {event, MAPI_MESSAGE, folder, unique, {}, {}, flagsOf(where)};
}

bool isChildFolderName(const std::string& name) {
    return !name.empty() && name[0] != '.' && name != "new" && name != "cur" && name != "tmp";
}

// The deepest directory on the way to `path` that exists.
devkit::fs::path nearestExisting(devkit::fs::path path) {
    std::error_code error;
    while (path.has_relative_path() && !devkit::fs::is_directory(path, error))
        path = path.parent_path();
    return path;
}

// Calls `found(name, time of its last change)` for each file in `directory`, when it leads inside
// the store. Listed through a handle of its own, closed at once: Wine keeps a copy of a directory's
// names for as long as a handle it listed stays open, which would be for life on a watched one.
template <typename Found>
void forEachFileInside(const devkit::MaildirStore& files, const devkit::fs::path& directory,
                       Found found) {
    HANDLE handle = CreateFileW(directory.c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    if (files.leadsInside(static_cast<void*>(handle))) {
        std::vector<std::uint64_t> listing(2048); // 16 KiB, aligned for the records
        for (bool first = true; GetFileInformationByHandleEx(
                 handle, first ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo,
                 listing.data(), DWORD(listing.size() * sizeof listing[0]));
             first = false) {
            const auto* start = reinterpret_cast<const std::uint8_t*>(listing.data());
            for (DWORD offset = 0;;) {
                const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFO*>(start + offset);
                if (!(entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    found(wideToUtf8(
                              std::wstring(entry->FileName, entry->FileNameLength / sizeof(wchar_t))
                                  .c_str()),
                          std::uint64_t(entry->ChangeTime.QuadPart));
                if (!entry->NextEntryOffset)
                    break;
                offset += entry->NextEntryOffset;
            }
        }
    }
    CloseHandle(handle);
}

} // namespace

std::uint64_t MessageIndex::hash(std::string_view text) {
    std::uint64_t value = 14695981039346656037ULL; // FNV-1a
    for (unsigned char c : text)
        value = (value ^ c) * 1099511628211ULL;
    return value ? value : 1; // 0 means "not known"
}

std::uint64_t MessageIndex::find(std::string_view unique) const {
    const std::uint64_t key = hash(unique);
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(key, std::uint64_t{0}));
    return it != entries_.end() && it->first == key ? it->second : 0;
}

void MessageIndex::set(std::string_view unique, std::string_view where, bool listed) {
    const std::uint64_t key = hash(unique);
    const std::uint64_t place = placeOf(where) | (listed ? listedBit : 0);
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(key, std::uint64_t{0}));
    if (it != entries_.end() && it->first == key)
        it->second = place;
    else
        entries_.insert(it, {key, place});
}

void MessageIndex::erase(std::string_view unique) {
    const std::uint64_t key = hash(unique);
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(key, std::uint64_t{0}));
    if (it != entries_.end() && it->first == key)
        entries_.erase(it);
}

void MessageIndex::keepOnly(const std::vector<std::uint64_t>& present) {
    std::erase_if(entries_, [&](const auto& entry) {
        return !std::binary_search(present.begin(), present.end(), entry.first);
    });
}

// One watched directory: its handle, the read in flight and what its completions reported.
// The completion routine runs on the watcher thread during its alertable wait; it only records
// the changes and issues the next read at once, so that nothing happens between two reads.
struct Watcher::Directory {
    std::string folder, directory;
    DWORD filter = 0;
    MailFolder* mail = nullptr; // or one of these: whose directory this is
    Watched* watched = nullptr;
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    ReadBuffer buffer;
    bool reading = false; // a read is in flight: the buffer must stay
    bool lost = false;    // more changed than the buffer held
    bool gone = false;    // no further read: the directory went away
    bool closed = false;
    std::vector<Change> changes;

    bool read() {
        overlapped = {};
        overlapped.hEvent = this; // free for the caller's use when a completion routine is given
        reading = ReadDirectoryChangesW(handle, buffer.data(), buffer.size(), FALSE, filter,
                                        nullptr, &overlapped, completed);
        return reading;
    }

    static void CALLBACK completed(DWORD error, DWORD bytes, OVERLAPPED* overlapped) {
        auto* self = static_cast<Directory*>(overlapped->hEvent);
        self->reading = false;
        if (self->closed || error == ERROR_OPERATION_ABORTED)
            return;
        if (error == ERROR_NOTIFY_ENUM_DIR || (error == ERROR_SUCCESS && bytes == 0)) {
            self->lost = true;
            self->grow();
        } else if (FAILED(injectedFault("ReadDirectoryChangesW"))) {
            self->lost = true;
        } else if (error != ERROR_SUCCESS)
            self->gone = true;
        else
            self->take(bytes);
        if (!self->gone && !self->read())
            self->gone = true;
    }

    // No read is in flight: the buffer may be replaced.
    void grow() {
        if (buffer.size() >= largestBufferSize)
            return;
        if (ReadBuffer larger(std::min(buffer.size() * 4, largestBufferSize)); larger)
            buffer = std::move(larger);
    }

    void take(DWORD bytes) {
        const auto* start = static_cast<const std::uint8_t*>(buffer.data());
        for (DWORD offset = 0; offset < bytes;) {
            const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(start + offset);
            const std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
            changes.push_back({folder, directory, record->Action, wideToUtf8(name.c_str())});
            if (!record->NextEntryOffset)
                break;
            offset += record->NextEntryOffset;
        }
    }
};

// A mail folder's three directories, or, while it is away, the two it waits on.
struct Watcher::MailFolder {
    std::string folder;
    std::array<Directory*, 3> parts{}; // the folder, new/, cur/
    std::vector<Directory*> waiting;
};

// A directory given to watchDirectory(). Its own removal is reported to its parent only, so its
// parent is watched too, for its name; while it is away, its nearest existing ancestor and that
// one's parent are watched instead, until it comes back.
struct Watcher::Watched {
    std::string folder, directory;
    devkit::fs::path path;
    DWORD filter = 0;
    DirectoryHandler handler;
    Directory* itself = nullptr; // while it is there
    std::vector<Directory*> above;
};

Watcher::Watcher(std::shared_ptr<Store> store, Sink sink)
    : store_(std::move(store)), sink_(std::move(sink)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    // A small stack: the thread keeps its buffers on the heap.
    thread_ = CreateThread(
        nullptr, 256 * 1024,
        [](void* self) -> DWORD {
            providerThread();
            static_cast<Watcher*>(self)->run();
            return 0;
        },
        this, STACK_SIZE_PARAM_IS_A_RESERVATION, &threadId_);
}

Watcher::~Watcher() {
    SetEvent(stop_);
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    CloseHandle(stop_);
}

void Watcher::onWatcherThread(const std::function<void()>& work) {
    if (GetCurrentThreadId() == threadId_) { // a sink that advises from OnNotify
        work();
        return;
    }
    struct Call {
        const std::function<void()>* work;
        HANDLE done;
    } call{&work, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!call.done)
        return;
    const auto run = [](ULONG_PTR parameter) {
        auto* call = reinterpret_cast<Call*>(parameter);
        (*call->work)();
        SetEvent(call->done);
    };
    // The thread ends only in the destructor, so a queued call always runs.
    if (thread_ && QueueUserAPC(run, thread_, reinterpret_cast<ULONG_PTR>(&call)))
        WaitForSingleObject(call.done, INFINITE);
    CloseHandle(call.done);
}

bool Watcher::watch(const std::string& folder) {
    bool watching = false;
    onWatcherThread([&] {
        for (const MailFolder& known : mailFolders_)
            if (known.folder == folder) {
                watching = true;
                return;
            }
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        const std::uint64_t since =
            (std::uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime) - clockMargin;
        MailFolder& added = mailFolders_.emplace_back();
        added.folder = folder;
        if (!openMailFolder(added)) {
            closeMailFolder(added);
            mailFolders_.pop_back();
            return;
        }
        // The reads are issued: what changes from here on is seen. What is there already is
        // listed later, between changes, so that registering on many folders stays quick.
        std::lock_guard guard(lock_);
        unlisted_.emplace(folder, since);
        watching = true;
    });
    return watching;
}

bool Watcher::watchDirectory(const std::string& folder, const std::string& directory, DWORD filter,
                             DirectoryHandler handler) {
    bool watching = false;
    onWatcherThread([&] {
        for (const Watched& known : watched_)
            if (known.folder == folder && known.directory == directory) {
                watching = true;
                return;
            }
        Watched& added = watched_.emplace_back();
        added.folder = folder;
        added.directory = directory;
        added.path = store_->files().directory(
            directory.empty() ? folder : devkit::MaildirStore::join(folder, directory));
        added.filter = filter;
        added.handler = std::move(handler);
        if (!openWatched(added)) {
            closeWatched(added);
            watched_.pop_back();
            return;
        }
        watching = true;
    });
    return watching;
}

bool Watcher::watches(const std::string& folder, const std::string& directory) const {
    for (const Watched& known : watched_)
        if (known.folder == folder && known.directory == directory)
            return known.itself && !known.itself->closed;
    return false;
}

Watcher::Directory* Watcher::open(const std::string& folder, const std::string& directory,
                                  const devkit::fs::path& path, DWORD filter, bool checked) {
    HANDLE handle = CreateFileW(
        path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    // Checked on the very directory watched, which also spares opening it twice.
    if (!checked && !store_->files().leadsInside(static_cast<void*>(handle))) {
        CloseHandle(handle);
        return nullptr;
    }
    auto watched = std::make_unique<Directory>();
    watched->folder = folder;
    watched->directory = directory;
    watched->filter = filter;
    watched->handle = handle;
    watched->buffer = ReadBuffer(firstBufferSize);
    if (!watched->buffer || !watched->read()) {
        CloseHandle(handle);
        return nullptr;
    }
    directories_.push_back(std::move(watched));
    return directories_.back().get();
}

Watcher::Directory* Watcher::openAnywhere(const std::string& folder, const devkit::fs::path& path) {
    // Above the root nothing is opened but this directory, and only names are read from it.
    const auto root = store_->files().root().lexically_normal().native();
    const auto above = path.lexically_normal().native();
    const bool ancestor = root.size() > above.size() && root.compare(0, above.size(), above) == 0;
    return open(folder, "", path, watchedChanges, ancestor);
}

void Watcher::close(Directory* directory) {
    if (!directory || directory->closed)
        return;
    directory->closed = true;
    CancelIo(directory->handle); // the read was issued by this thread
    CloseHandle(directory->handle);
    for (auto it = directories_.begin(); it != directories_.end(); ++it)
        if (it->get() == directory) {
            closing_.splice(closing_.end(), directories_, it);
            break;
        }
}

void Watcher::run() {
    // Folders not listed yet are listed one at a time once nothing has happened for a moment,
    // so that a client registering on many folders does not wait for the listings.
    bool quiet = false;
    for (;;) {
        const bool unlisted = hasUnlisted();
        const DWORD timeout = unlisted       ? (quiet ? 0 : quietInterval)
                              : hasPending() ? settleInterval
                                             : INFINITE;
        const DWORD result = WaitForSingleObjectEx(stop_, timeout, TRUE);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED)
            break;
        deliverChanges();
        quiet = result == WAIT_TIMEOUT;
        if (unlisted && quiet)
            listNext();
    }
    while (!directories_.empty())
        close(directories_.front().get());
    // The cancelled reads complete through their routines: wait for them before the buffers
    // go. One that never completes keeps its buffer.
    for (int i = 0; i < 100; ++i) {
        std::erase_if(closing_, [](const auto& directory) { return !directory->reading; });
        if (closing_.empty())
            break;
        SleepEx(10, TRUE);
    }
    for (auto& directory : closing_)
        directory.release();
}

void Watcher::deliverChanges() {
    std::vector<Directory*> ready;
    for (const auto& directory : directories_)
        if (!directory->changes.empty() || directory->lost || directory->gone)
            ready.push_back(directory.get());
    std::vector<Notice> notices;
    for (Directory* directory : ready) {
        if (directory->closed) // by an earlier handler of this round
            continue;
        std::vector<Change> changes;
        changes.swap(directory->changes);
        const bool lost = std::exchange(directory->lost, false) || directory->gone;
        std::vector<Notice> found;
        if (directory->mail)
            found = mailFolderChanged(*directory->mail, *directory, changes, lost);
        else if (directory->watched)
            found = watchedChanged(*directory->watched, *directory, changes, lost);
        notices.insert(notices.end(), found.begin(), found.end());
    }
    auto settled = settle(false);
    notices.insert(notices.end(), settled.begin(), settled.end());
    if (!notices.empty())
        sink_(std::move(notices));
    std::erase_if(closing_, [](const auto& directory) { return !directory->reading; });
}

bool Watcher::openMailFolder(MailFolder& mail) {
    const devkit::fs::path path = store_->files().directory(mail.folder);
    const std::array<const char*, 3> names{"", "new", "cur"};
    for (size_t i = 0; i < 3; ++i) {
        mail.parts[i] = open(mail.folder, names[i], i ? path / names[i] : path, watchedChanges);
        if (mail.parts[i])
            mail.parts[i]->mail = &mail;
        else if (i == 0)
            return false;
        // else a folder that is not a Maildir (the root, IPM_SUBTREE) has no new/ and cur/
    }
    return true;
}

void Watcher::closeMailFolder(MailFolder& mail) {
    for (Directory*& part : mail.parts)
        close(std::exchange(part, nullptr));
    for (Directory* waiting : mail.waiting)
        close(waiting);
    mail.waiting.clear();
}

std::vector<Notice> Watcher::mailFolderChanged(MailFolder& mail, Directory& directory,
                                               const std::vector<Change>& changes, bool lost) {
    if (&directory != mail.parts[0] && &directory != mail.parts[1] &&
        &directory != mail.parts[2]) // waiting for the folder to come back
        return restore(mail);
    std::vector<Notice> notices = interpret(changes);
    bool reopen = directory.gone;
    if (&directory == mail.parts[0])
        for (const Change& change : changes) {
            const bool removed = change.action == FILE_ACTION_REMOVED ||
                                 change.action == FILE_ACTION_RENAMED_OLD_NAME;
            if (change.name == "new" || change.name == "cur")
                reopen |= removed || !mail.parts[change.name == "new" ? 1 : 2];
        }
    if (reopen) {
        auto found = restore(mail);
        notices.insert(notices.end(), found.begin(), found.end());
    } else if (lost) {
        auto found = rescan(mail.folder);
        notices.insert(notices.end(), found.begin(), found.end());
    }
    return notices;
}

std::vector<Notice> Watcher::restore(MailFolder& mail) {
    const devkit::fs::path path = store_->files().directory(mail.folder);
    // Things may be changing while this runs: a few tries, then the waiting watches call again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        closeMailFolder(mail);
        const devkit::fs::path existing = nearestExisting(path / "cur");
        if (existing == path / "cur" || existing == path) {
            // A Maildir half made is watched as it is: the folder's own watch sees the rest come.
            if (openMailFolder(mail))
                return rescan(mail.folder);
            continue;
        }
        mail.waiting = waitAbove(mail.folder, existing);
        for (Directory* waiting : mail.waiting)
            waiting->mail = &mail;
        if (nearestExisting(path / "cur") == existing) // nothing came between look and watch
            return {};
    }
    return {};
}

std::vector<Watcher::Directory*> Watcher::waitAbove(const std::string& folder,
                                                    const devkit::fs::path& existing) {
    // The removal of `existing` itself is reported to its parent only.
    std::vector<Directory*> waiting;
    for (const devkit::fs::path& waitOn : {existing, existing.parent_path()}) {
        if (Directory* directory = openAnywhere(folder, waitOn))
            waiting.push_back(directory);
        if (!waitOn.has_relative_path())
            break;
    }
    return waiting;
}

bool Watcher::openWatched(Watched& watched) {
    watched.itself = open(watched.folder, watched.directory, watched.path, watched.filter);
    if (!watched.itself)
        return false;
    watched.itself->watched = &watched;
    if (Directory* parent = openAnywhere(watched.folder, watched.path.parent_path())) {
        parent->watched = &watched;
        watched.above.push_back(parent);
    }
    return true;
}

void Watcher::closeWatched(Watched& watched) {
    close(std::exchange(watched.itself, nullptr));
    for (Directory* above : watched.above)
        close(above);
    watched.above.clear();
}

std::vector<Notice> Watcher::watchedChanged(Watched& watched, Directory& directory,
                                            const std::vector<Change>& changes, bool lost) {
    if (&directory == watched.itself && !directory.gone)
        return watched.handler(changes, lost);
    if (watched.itself && !directory.gone && !lost) {
        // Beside it, in its parent: only a change of its own name can concern it.
        const std::wstring name = watched.path.filename().native();
        const bool itself = std::any_of(changes.begin(), changes.end(), [&](const Change& change) {
            const std::wstring changed = utf8ToWide(change.name);
            return CompareStringOrdinal(changed.c_str(), int(changed.size()), name.c_str(),
                                        int(name.size()), TRUE) == CSTR_EQUAL;
        });
        if (!itself)
            return {};
    }
    // It went, came back, or may have: watch it as it now is, and let the handler compare with
    // the disk (watches() tells it whether the directory is there).
    for (int attempt = 0; attempt < 8; ++attempt) {
        closeWatched(watched);
        const devkit::fs::path existing = nearestExisting(watched.path);
        if (existing == watched.path) {
            if (openWatched(watched))
                break;
            continue;
        }
        watched.above = waitAbove(watched.folder, existing);
        for (Directory* waiting : watched.above)
            waiting->watched = &watched;
        if (nearestExisting(watched.path) == existing) // nothing came between look and watch
            break;
    }
    return watched.handler({}, true);
}

bool Watcher::canBeMessage(const std::string& folder, const std::string& where, bool named) {
    const size_t slash = where.find('/');
    const devkit::fs::path file = devkit::MaildirStore::openablePath(
        store_->files().directory(folder) / where.substr(0, slash), where.substr(slash + 1));
    const char* reason = nullptr;
    std::error_code error;
    if (!named)
        reason = "its name cannot be a message's";
    else if (devkit::fs::is_directory(file, error))
        reason = "it is a directory";
    else if (!store_->files().leadsInside(file))
        reason = "it is gone or leads outside the store";
    if (!reason)
        return true;
    if (isNew(where)) // a Maildir writer's delivery, not taken: say so
        traceFailure("not a message: " + folder + "/" + where + ": " + reason);
    return false;
}

bool Watcher::hasPending() {
    std::lock_guard guard(lock_);
    return !pending_.empty();
}

std::vector<Notice> Watcher::interpret(const std::vector<Change>& changes) {
    std::lock_guard guard(lock_);
    std::vector<Notice> notices;

    auto appeared = [&](const std::string& folder, const std::string& unique,
                        const std::string& where) {
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (it->unique == unique) { // the other half of a move
                const std::string from = it->folder;
                pending_.erase(it);
                known_[from].erase(unique);
                known_[folder].set(unique, where);
                Notice notice = messageNotice(fnevObjectModified, folder, unique, where);
                if (from != folder) {
                    notice.event = fnevObjectMoved;
                    notice.oldFolder = from;
                    notice.oldName = unique;
                }
                notices.push_back(std::move(notice));
                return;
            }
        auto& known = known_[folder];
        if (!known.contains(unique))
            for (auto& [other, messages] : known_) { // moved in from another watched folder
                if (other == folder || !messages.contains(unique) ||
                    store_->files().findMessage(other, unique))
                    continue; // not there, or still there: a copy, not a move
                messages.erase(unique);
                known.set(unique, where);
                Notice notice = messageNotice(fnevObjectMoved, folder, unique, where);
                notice.oldFolder = other;
                notice.oldName = unique;
                notices.push_back(std::move(notice));
                return;
            }
        // A message only listed and not on its way from a removal above arrived after the
        // watch began: an arrival is reported only for what came after it.
        const std::uint64_t before = known.find(unique);
        const bool announced = before && !MessageIndex::isListed(before);
        if (announced && MessageIndex::isAt(before, where))
            return; // announced already
        known.set(unique, where);
        notices.push_back(messageNotice(announced      ? fnevObjectModified
                                        : isNew(where) ? fnevNewMail
                                                       : fnevObjectCreated,
                                        folder, unique, where));
    };
    auto disappeared = [&](const std::string& folder, const std::string& unique,
                           const std::string& where) {
        // Else it has moved on. A message only listed, or in a folder not listed yet, was there
        // before the watch began, and its listed place may be where it went.
        const std::uint64_t before = known_[folder].find(unique);
        if (MessageIndex::isAt(before, where) || MessageIndex::isListed(before) ||
            (!before && unlisted_.contains(folder)))
            pending_.push_back({folder, unique, where, GetTickCount64()});
    };

    std::optional<Change> renamedFrom;
    for (const Change& change : changes) {
        if (change.directory.empty()) { // a subfolder of the watched folder
            if (!isChildFolderName(change.name))
                continue;
            Notice notice{0, MAPI_FOLDER, change.folder, change.name, {}, {}, 0};
            if (change.action == FILE_ACTION_RENAMED_OLD_NAME) {
                renamedFrom = change;
                continue;
            }
            if (change.action == FILE_ACTION_RENAMED_NEW_NAME && renamedFrom) {
                notice.event = fnevObjectMoved;
                notice.oldFolder = change.folder;
                notice.oldName = renamedFrom->name;
                renamedFrom.reset();
            } else {
                notice.event =
                    change.action == FILE_ACTION_REMOVED ? fnevObjectDeleted : fnevObjectCreated;
            }
            if (change.action != FILE_ACTION_MODIFIED)
                notices.push_back(std::move(notice));
            continue;
        }
        if (change.name.empty() || change.name[0] == '.')
            continue;
        const auto unique = devkit::messageKey(devkit::splitMaildirName(change.name).unique);
        const std::string where = change.directory + "/" + change.name;
        const bool arrived =
            change.action == FILE_ACTION_ADDED || change.action == FILE_ACTION_RENAMED_NEW_NAME;
        if (arrived && !canBeMessage(change.folder, where, unique.has_value()))
            continue;
        if (!unique)
            continue;
        switch (change.action) {
        case FILE_ACTION_ADDED:
        case FILE_ACTION_RENAMED_NEW_NAME:
            appeared(change.folder, *unique, where);
            break;
        case FILE_ACTION_REMOVED:
        case FILE_ACTION_RENAMED_OLD_NAME:
            disappeared(change.folder, *unique, where);
            break;
        default: // FILE_ACTION_MODIFIED: a writer at work; Maildir writers finish in tmp/
            break;
        }
    }
    return notices;
}

std::vector<Notice> Watcher::settle(bool all) {
    std::vector<Pending> due;
    {
        std::lock_guard guard(lock_);
        const ULONGLONG now = GetTickCount64();
        for (auto it = pending_.begin(); it != pending_.end();)
            if (all || now - it->since >= gracePeriod) {
                due.push_back(std::move(*it));
                it = pending_.erase(it);
            } else {
                ++it;
            }
    }
    std::vector<Notice> notices;
    for (const Pending& pending : due) {
        std::optional<devkit::MessageFile> found;
        {
            std::lock_guard storeGuard(store_->lock);
            found = store_->files().findMessage(pending.folder, pending.unique);
        }
        std::lock_guard guard(lock_);
        auto& known = known_[pending.folder];
        if (!found) {
            known.erase(pending.unique);
            notices.push_back(
                messageNotice(fnevObjectDeleted, pending.folder, pending.unique, pending.where));
        } else {
            const std::string where = placeOf(*found);
            if (!known.announcedAt(pending.unique, where)) {
                known.set(pending.unique, where);
                notices.push_back(
                    messageNotice(fnevObjectModified, pending.folder, pending.unique, where));
            }
        }
    }
    return notices;
}

// Deletions among the lost changes cannot be named from the index and go unannounced; new and
// changed messages are found on disk.
std::vector<Notice> Watcher::rescan(const std::string& folder) {
    std::lock_guard storeGuard(store_->lock);
    std::lock_guard guard(lock_);
    // What was there before the watch began must not count as new; what the lost changes
    // brought must, and is told apart by the time it came into its directory.
    if (auto unlisted = unlisted_.extract(folder))
        list(folder, unlisted.mapped());
    std::vector<Notice> notices;
    auto& known = known_[folder];
    std::vector<std::uint64_t> present;
    for (const auto& message : store_->files().messages(folder)) {
        const std::string where = placeOf(message);
        const std::uint64_t before = known.find(message.unique);
        present.push_back(MessageIndex::hash(message.unique));
        if (MessageIndex::isAt(before, where))
            continue;
        known.set(message.unique, where);
        notices.push_back(messageNotice(before         ? fnevObjectModified
                                        : isNew(where) ? fnevNewMail
                                                       : fnevObjectCreated,
                                        folder, message.unique, where));
    }
    std::sort(present.begin(), present.end());
    known.keepOnly(present);
    return notices;
}

void Watcher::list(const std::string& folder, std::uint64_t changedBefore) {
    auto& known = known_[folder];
    // Names only: none of the files is opened, so links among them need no check here.
    for (const std::string part : {"new", "cur"})
        forEachFileInside(store_->files(), store_->files().directory(folder) / part,
                          [&](const std::string& name, std::uint64_t changed) {
                              if (name.empty() || name[0] == '.' || changed >= changedBefore)
                                  return;
                              const auto unique =
                                  devkit::messageKey(devkit::splitMaildirName(name).unique);
                              // A change seen first has told where it is already.
                              if (unique && !known.contains(*unique))
                                  known.set(*unique, part + "/" + name, true);
                          });
}

void Watcher::listNext() {
    if (FAILED(injectedFault("Watcher::list"))) // held back, to see changes come first
        return;
    std::lock_guard storeGuard(store_->lock);
    std::lock_guard guard(lock_);
    if (!unlisted_.empty())
        list(unlisted_.extract(unlisted_.begin()).key());
}

bool Watcher::hasUnlisted() {
    std::lock_guard guard(lock_);
    return !unlisted_.empty();
}

} // namespace maildir
