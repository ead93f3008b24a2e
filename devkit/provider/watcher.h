// Watches the advised folders of a store and turns what changes on disk into notices.
//
// Each watched folder has a thread that waits, without using any time, on three directory
// handles: the folder itself (subfolders come and go), its new/ and its cur/. A message that
// moves between directories shows up as a removal in one and an addition in another, in either
// order, so removals wait a moment for their other half before they count as deletions.
#pragma once
#include "notifier.h"

#include <functional>
#include <thread>

namespace maildir {

// What a watched folder holds: where each message is, kept as 64-bit hashes of its unique name
// and of its place, 16 bytes a message, since a folder may hold many thousands.
class MessageIndex {
public:
    static std::uint64_t hash(std::string_view text);
    // The hash of where the message is, or 0 when it is not known.
    std::uint64_t find(std::string_view unique) const;
    bool contains(std::string_view unique) const { return find(unique) != 0; }
    void set(std::string_view unique, std::string_view where);
    void erase(std::string_view unique);
    // Keeps only the messages whose unique names hash to one of `present` (sorted).
    void keepOnly(const std::vector<std::uint64_t>& present);

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries_; // sorted by name hash
};

class Watcher {
public:
    using Sink = std::function<void(std::vector<Notice>)>;
    Watcher(std::shared_ptr<Store> store, Sink sink);
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Starts watching a folder; changes from the moment it returns are seen, and messages
    // already there are not announced.
    bool watch(const std::string& folder);

    // One change reported for a directory of a watched folder.
    struct Change {
        std::string folder;
        std::string directory; // "", "new" or "cur"
        DWORD action;          // FILE_ACTION_...
        std::string name;
    };
    std::vector<Notice> interpret(const std::vector<Change>& changes);
    // Removals whose other half has not come within the grace period are deletions.
    std::vector<Notice> settle(bool all);
    // After lost changes: compares a folder with the disk.
    std::vector<Notice> rescan(const std::string& folder);

private:
    struct FolderWatch;
    void run(FolderWatch& watch);
    bool hasPending();

    std::shared_ptr<Store> store_;
    Sink sink_;
    HANDLE stop_ = nullptr;
    std::vector<std::unique_ptr<FolderWatch>> watches_;

    struct Pending {
        std::string folder, unique, where;
        ULONGLONG since;
    };
    std::mutex lock_;
    // Per watched folder: where each message is ("new/NAME" or "cur/NAME").
    std::map<std::string, MessageIndex> known_;
    std::vector<Pending> pending_;
};

} // namespace maildir
