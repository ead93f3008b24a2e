#include "watcher.h"

#include "maildir_name.h"
#include "properties.h"

#include <algorithm>
#include <array>
#include <optional>

namespace maildir {

namespace {

constexpr DWORD bufferSize = 64 * 1024;
constexpr DWORD watchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME;
constexpr ULONGLONG gracePeriod = 150; // ms for the other half of a move
constexpr DWORD settleInterval = 50;

// Where a message is: its path in the folder, "new/NAME" or "cur/NAME".
std::string placeOf(const devkit::MessageFile& message) {
    const std::u8string name = message.file.filename().u8string();
    return (message.isNew ? "new/" : "cur/") + std::string(name.begin(), name.end());
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

void MessageIndex::set(std::string_view unique, std::string_view where) {
    const std::uint64_t key = hash(unique);
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), std::make_pair(key, std::uint64_t{0}));
    if (it != entries_.end() && it->first == key)
        it->second = hash(where);
    else
        entries_.insert(it, {key, hash(where)});
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

// The three directories of one folder and the thread that waits on them.
struct Watcher::FolderWatch {
    std::string folder;
    std::array<const char*, 3> directories{"", "new", "cur"};
    std::array<HANDLE, 3> handles{INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    std::array<HANDLE, 3> events{};
    std::array<OVERLAPPED, 3> overlapped{};
    std::array<std::vector<std::uint8_t>, 3> buffers;
    std::thread thread;

    bool read(size_t i) {
        ResetEvent(events[i]);
        overlapped[i] = {};
        overlapped[i].hEvent = events[i];
        return ReadDirectoryChangesW(handles[i], buffers[i].data(), bufferSize, FALSE,
                                     watchedChanges, nullptr, &overlapped[i], nullptr);
    }

    ~FolderWatch() {
        for (size_t i = 0; i < 3; ++i) {
            if (handles[i] != INVALID_HANDLE_VALUE) {
                CancelIo(handles[i]);
                CloseHandle(handles[i]);
            }
            if (events[i])
                CloseHandle(events[i]);
        }
    }
};

Watcher::Watcher(std::shared_ptr<Store> store, Sink sink)
    : store_(std::move(store)), sink_(std::move(sink)),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Watcher::~Watcher() {
    SetEvent(stop_);
    for (auto& watch : watches_)
        if (watch->thread.joinable())
            watch->thread.join();
    watches_.clear();
    CloseHandle(stop_);
}

bool Watcher::watch(const std::string& folder) {
    for (const auto& watch : watches_)
        if (watch->folder == folder)
            return true;
    auto watch = std::make_unique<FolderWatch>();
    watch->folder = folder;
    const devkit::fs::path directory = store_->files().directory(folder);
    for (size_t i = 0; i < 3; ++i) {
        const devkit::fs::path path = i ? directory / watch->directories[i] : directory;
        watch->handles[i] =
            CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (watch->handles[i] == INVALID_HANDLE_VALUE) {
            if (i == 0)
                return false;
            continue; // a folder that is not a Maildir has no new/ and cur/
        }
        watch->events[i] = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        watch->buffers[i].resize(bufferSize);
        if (!watch->events[i] || !watch->read(i))
            return false;
    }
    // The reads are issued: what changes from here on is seen. Now remember what is there.
    {
        std::lock_guard storeGuard(store_->lock);
        std::lock_guard guard(lock_);
        auto& known = known_[folder];
        for (const auto& message : store_->files().messages(folder))
            known.set(message.unique, placeOf(message));
    }
    FolderWatch& started = *watch;
    watches_.push_back(std::move(watch));
    started.thread = std::thread([this, &started] { run(started); });
    return true;
}

bool Watcher::hasPending() {
    std::lock_guard guard(lock_);
    return !pending_.empty();
}

void Watcher::run(FolderWatch& watch) {
    for (;;) {
        std::vector<HANDLE> waits{stop_};
        std::vector<size_t> index{0};
        for (size_t i = 0; i < 3; ++i)
            if (watch.events[i]) {
                waits.push_back(watch.events[i]);
                index.push_back(i);
            }
        const DWORD result = WaitForMultipleObjects(DWORD(waits.size()), waits.data(), FALSE,
                                                    hasPending() ? settleInterval : INFINITE);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED)
            return;

        std::vector<Change> changes;
        std::vector<Notice> notices;
        bool lost = false;
        for (size_t w = 1; w < waits.size(); ++w) {
            const size_t i = index[w];
            if (WaitForSingleObject(watch.events[i], 0) != WAIT_OBJECT_0)
                continue;
            DWORD bytes = 0;
            if (!GetOverlappedResult(watch.handles[i], &watch.overlapped[i], &bytes, FALSE))
                bytes = 0;
            lost |= bytes == 0; // more changes than the buffer holds
            for (DWORD offset = 0; bytes && offset < bytes;) {
                const auto* record =
                    reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(&watch.buffers[i][offset]);
                const std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
                changes.push_back(
                    {watch.folder, watch.directories[i], record->Action, wideToUtf8(name.c_str())});
                if (!record->NextEntryOffset)
                    break;
                offset += record->NextEntryOffset;
            }
            if (!watch.read(i)) {
                CloseHandle(watch.events[i]); // the directory is gone
                watch.events[i] = nullptr;
            }
        }
        notices = interpret(changes);
        if (lost) {
            auto found = rescan(watch.folder);
            notices.insert(notices.end(), found.begin(), found.end());
        }
        auto settled = settle(false);
        notices.insert(notices.end(), settled.begin(), settled.end());
        if (!notices.empty())
            sink_(std::move(notices));
    }
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
        const std::uint64_t before = known.find(unique);
        if (before == MessageIndex::hash(where))
            return; // announced already
        known.set(unique, where);
        notices.push_back(messageNotice(before         ? fnevObjectModified
                                        : isNew(where) ? fnevNewMail
                                                       : fnevObjectCreated,
                                        folder, unique, where));
    };
    auto disappeared = [&](const std::string& folder, const std::string& unique,
                           const std::string& where) {
        if (known_[folder].find(unique) == MessageIndex::hash(where)) // else it has moved on
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
        const devkit::MaildirName split = devkit::splitMaildirName(change.name);
        if (change.name.empty() || change.name[0] == '.' || !devkit::isSafeUniqueName(split.unique))
            continue;
        const std::string where = change.directory + "/" + change.name;
        switch (change.action) {
        case FILE_ACTION_ADDED:
        case FILE_ACTION_RENAMED_NEW_NAME:
            appeared(change.folder, split.unique, where);
            break;
        case FILE_ACTION_REMOVED:
        case FILE_ACTION_RENAMED_OLD_NAME:
            disappeared(change.folder, split.unique, where);
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
            if (known.find(pending.unique) != MessageIndex::hash(where)) {
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
    std::vector<Notice> notices;
    auto& known = known_[folder];
    std::vector<std::uint64_t> present;
    for (const auto& message : store_->files().messages(folder)) {
        const std::string where = placeOf(message);
        const std::uint64_t before = known.find(message.unique);
        present.push_back(MessageIndex::hash(message.unique));
        if (before == MessageIndex::hash(where))
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

} // namespace maildir
