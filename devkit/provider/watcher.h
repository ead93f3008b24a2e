// Watches the advised folders of a store and turns what changes on disk into notices.
//
// One thread per store waits, without using any time, on every watched directory: each has an
// overlapped ReadDirectoryChangesW whose completion routine runs on that thread during its
// alertable wait, so the thread count does not grow with the number of folders. A mail folder
// is three directories: the folder itself (subfolders come and go), its new/ and its cur/. A
// message that moves between directories shows up as a removal in one and an addition in
// another, in either order, so removals wait a moment for their other half before they count
// as deletions. What a folder holds when its watch begins is listed a moment later, when the
// thread has nothing else to do, so that a client registering on a thousand folders does not
// wait for a thousand listings; until then a change is read as coming after the watch began.
//
// A folder whose new/ or cur/ goes away (a sync tool re-creating the store, rm -rf and init)
// is watched again when it comes back: until then its nearest existing ancestor and that
// ancestor's parent are watched for names that come and go, which costs nothing while nothing
// happens. Messages that arrived meanwhile are found by comparing the folder with the disk.
#pragma once
#include "notifier.h"

#include <functional>
#include <list>

namespace maildir {

// What a watched folder holds: where each message is, kept as 64-bit hashes of its unique name
// and of its place, 16 bytes a message, since a folder may hold many thousands. A place is
// either announced (what the sinks were told) or only listed: found on disk when the folder was
// first listed, which happens after its watch began, so a message listed may still have arrived
// after the watch began and have its arrival still to come.
class MessageIndex {
public:
    static std::uint64_t hash(std::string_view text);
    // What is known of where the message is, or 0 when nothing is.
    std::uint64_t find(std::string_view unique) const;
    bool contains(std::string_view unique) const { return find(unique) != 0; }
    // Whether what find() gave is the place `where`, and whether it was only listed.
    static bool isAt(std::uint64_t known, std::string_view where) {
        return known && (known | listedBit) == (placeOf(where) | listedBit);
    }
    static bool isListed(std::uint64_t known) { return known & listedBit; }
    // Whether the message was announced at `where`.
    bool announcedAt(std::string_view unique, std::string_view where) const {
        const std::uint64_t known = find(unique);
        return isAt(known, where) && !isListed(known);
    }
    void set(std::string_view unique, std::string_view where, bool listed = false);
    void erase(std::string_view unique);
    // Keeps only the messages whose unique names hash to one of `present` (sorted).
    void keepOnly(const std::vector<std::uint64_t>& present);

private:
    static constexpr std::uint64_t listedBit = 1;
    static std::uint64_t placeOf(std::string_view where) {
        const std::uint64_t place = hash(where) & ~listedBit;
        return place ? place : 2;
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> entries_; // sorted by name hash
};

class Watcher {
public:
    // Receives the notices of one round on the watcher thread, in the order they happened.
    using Sink = std::function<void(std::vector<Notice>)>;
    Watcher(std::shared_ptr<Store> store, Sink sink);
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    // Starts watching a mail folder; changes from the moment it returns are seen, and messages
    // already there are not announced.
    bool watch(const std::string& folder);

    // One change reported for a watched directory.
    struct Change {
        std::string folder;    // the store folder the directory belongs to
        std::string directory; // the directory inside it: "", "new", "cur", ...
        DWORD action;          // FILE_ACTION_...
        std::string name;      // the file or directory name, UTF-8
    };
    // Turns the changes of one directory into notices; `lost` means more changed than could be
    // recorded and `changes` is empty: compare with the disk instead.
    using DirectoryHandler =
        std::function<std::vector<Notice>(const std::vector<Change>& changes, bool lost)>;

    // Watches any directory of the store for the changes `filter` names
    // (FILE_NOTIFY_CHANGE_FILE_NAME, ..._DIR_NAME, ..._LAST_WRITE) and calls `handler` on the
    // watcher thread with them, in order; the notices it returns go to the store's sinks like
    // those of mail folders. `directory` is inside `folder` ("" for the folder itself). For a
    // folder of files of another kind, e.g. the calendar's .ics files:
    //     watcher.watchDirectory("Calendar", "", FILE_NOTIFY_CHANGE_FILE_NAME |
    //                            FILE_NOTIFY_CHANGE_LAST_WRITE, [](const auto& changes, bool lost)
    //                            {
    //         ... FILE_ACTION_ADDED -> fnevObjectCreated, FILE_ACTION_MODIFIED ->
    //         fnevObjectModified, FILE_ACTION_REMOVED -> fnevObjectDeleted; on `lost`, list
    //         the folder again ...
    //     });
    // Like watch(), changes from the moment it returns are seen. A directory that goes away is
    // watched again when it comes back; each time it goes or comes, `handler` is called with
    // `lost` and watches() tells which. Watching the same directory twice keeps the first
    // handler. False when the directory cannot be opened or leads outside the store.
    bool watchDirectory(const std::string& folder, const std::string& directory, DWORD filter,
                        DirectoryHandler handler);
    // Whether a directory given to watchDirectory() is watched: not while it is away.
    // On the watcher thread, as from a handler.
    bool watches(const std::string& folder, const std::string& directory) const;

    std::vector<Notice> interpret(const std::vector<Change>& changes);
    // Removals whose other half has not come within the grace period are deletions.
    std::vector<Notice> settle(bool all);
    // After lost changes: compares a folder with the disk.
    std::vector<Notice> rescan(const std::string& folder);

private:
    struct Directory;
    struct MailFolder;
    struct Watched;

    void run();
    // Runs `work` on the watcher thread and waits for it.
    void onWatcherThread(const std::function<void()>& work);
    Directory* open(const std::string& folder, const std::string& directory,
                    const devkit::fs::path& path, DWORD filter, bool checked = false);
    // A directory above the store (when the whole store went), watched for names only.
    Directory* openAnywhere(const std::string& folder, const devkit::fs::path& path);
    // Watches `existing`, the nearest existing ancestor of something gone, and its parent for
    // names, until it comes back.
    std::vector<Directory*> waitAbove(const std::string& folder, const devkit::fs::path& existing);
    void close(Directory* directory);
    // Whether a file that arrived can be taken as a message; traces a delivery that cannot.
    bool canBeMessage(const std::string& folder, const std::string& where, bool named);
    void deliverChanges();
    // Mail folders
    bool openMailFolder(MailFolder& folder);
    void closeMailFolder(MailFolder& folder);
    std::vector<Notice> mailFolderChanged(MailFolder& folder, Directory& directory,
                                          const std::vector<Change>& changes, bool lost);
    std::vector<Notice> restore(MailFolder& folder);
    // Directories given to watchDirectory()
    bool openWatched(Watched& watched);
    void closeWatched(Watched& watched);
    std::vector<Notice> watchedChanged(Watched& watched, Directory& directory,
                                       const std::vector<Change>& changes, bool lost);
    bool hasPending();
    // Records where the messages of a folder are, as listed, before anything changed them;
    // those changed (moved into their directory) since `changedBefore`, a FILETIME, are left
    // out. Under lock_ and the store's lock.
    void list(const std::string& folder, std::uint64_t changedBefore = ~std::uint64_t{0});
    void listNext();
    bool hasUnlisted();

    std::shared_ptr<Store> store_;
    Sink sink_;
    HANDLE stop_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    // Owned and touched by the watcher thread only.
    std::list<std::unique_ptr<Directory>> directories_;
    std::list<std::unique_ptr<Directory>> closing_; // until their cancelled reads complete
    std::list<MailFolder> mailFolders_;
    std::list<Watched> watched_;

    struct Pending {
        std::string folder, unique, where;
        ULONGLONG since;
    };
    std::mutex lock_;
    // Per watched folder: where each message is ("new/NAME" or "cur/NAME").
    std::map<std::string, MessageIndex> known_;
    // Folders watched whose messages have not been listed yet, with when their watch began
    // (a FILETIME, a little early: file systems stamp changes with a coarser clock).
    std::map<std::string, std::uint64_t> unlisted_;
    std::vector<Pending> pending_;
};

} // namespace maildir
