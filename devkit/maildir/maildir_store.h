// A message store kept in a directory: a tree of folders, each a directory. Mail folders are
// Maildirs (cur/, new/, tmp/, one RFC 5322 file per message); other folders (the root, the
// calendar) hold only subfolders or files of their own kind. Store properties live in one
// small file at the root, replaced atomically.
#pragma once
#include "entry_id.h"
#include "store_boundary.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devkit {

namespace fs = std::filesystem;

struct FolderEntry {
    std::string path;        // directory path inside the store, '/'-separated
    std::string displayName; // decoded from the directory name
};

// An appointment of a calendar folder: the file NAME.ics, known by NAME.
struct CalendarFile {
    std::string name;
    fs::path file;
    std::uint64_t signature = 0; // changes whenever the file's size or time of writing does
    std::int64_t written = 0;    // last written, in 100 ns since 1601 (a Windows FILETIME)
};

// Which file a handle has open: a file swapped for another keeps neither.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct MessageFile {
    std::string unique;
    std::string flags;
    bool isNew = false; // still in new/
    fs::path file;      // what opens it: see MaildirStore::openablePath
    std::string name;   // its name in new/ or cur/, UTF-8
};

class MaildirStore {
public:
    explicit MaildirStore(fs::path root);

    const fs::path& root() const { return root_; }
    // Creates the root and its UID when they do not exist yet.
    void open();
    const Uid& uid() const { return uid_; }

    fs::path directory(std::string_view folder) const;
    // Whether an existing path really leads inside the store (links and junctions resolved).
    // Nothing outside is listed, opened, watched or deleted.
    bool leadsInside(const fs::path& path) const { return boundary_.contains(path); }
#ifdef _WIN32
    bool leadsInside(void* openHandle) const {
        return boundary_.containsOpen(openHandle);
    }
#endif
    // A file of the store opened once, checked where that very handle leads and that it is a
    // regular file (not a FIFO, a device or a directory, which could block or mislead a
    // reader), and read from the same handle: a file swapped for a link after the check is not
    // what is read. Nothing when any of that fails; `identity` tells which file was read.
    std::optional<std::string> readInside(const fs::path& file,
                                          FileIdentity* identity = nullptr) const;
    // The same into `content`, whose memory is reused; false also for a file of more than
    // `most` bytes, which is not read.
    bool readInside(const fs::path& file, std::string& content, FileIdentity* identity = nullptr,
                    std::uint64_t most = UINT64_MAX) const;
    bool folderExists(std::string_view folder) const;
    // The path that opens the file `name` of `directory`. A Maildir written on Linux may hold
    // names Windows cannot open ('*', '?', '"', '<', '>', '|'); such a file is opened by the
    // short name the file system lists it with.
    static fs::path openablePath(const fs::path& directory, std::string_view name);
    bool isMaildir(std::string_view folder) const;
    std::vector<FolderEntry> childFolders(std::string_view folder) const;
    static std::string parentOf(std::string_view folder);
    static std::string join(std::string_view folder, std::string_view directoryName);
    std::string displayName(std::string_view folder) const;

    // Creates a Maildir folder under `parent`; `existed` tells whether it was there already.
    // Nothing for a name that no entry identifier could carry (see childFolderPath).
    std::optional<std::string> createFolder(std::string_view parent, std::string_view displayName,
                                            bool& existed);
    bool removeFolder(std::string_view folder);
    // A folder path from display names ("IPM_SUBTREE/Inbox/Projects"), encoded.
    static std::string pathFromDisplayNames(std::string_view names);

    std::vector<MessageFile> messages(std::string_view folder) const;
    std::optional<MessageFile> findMessage(std::string_view folder, std::string_view unique) const;
    bool deleteMessage(std::string_view folder, std::string_view unique);
    // Delivers by the Maildir protocol: written in tmp/, then renamed into new/. Returns the
    // message's unique name.
    std::string deliver(std::string_view folder, std::string_view content);

    // Calendar folders: a folder of the IPM subtree that is not a Maildir holds one iCalendar
    // file per appointment.
    bool isCalendar(std::string_view folder) const;
    // One listing of the directory, which also gives each file's size and time of writing.
    // Files leading outside the root are left out, as is every file of a folder that does.
    std::vector<CalendarFile> calendarFiles(std::string_view folder) const;
    // The same listing with only the folder checked, not each file: listing a large calendar
    // then takes no time. For a caller that reads the files only through readInside (which
    // checks the very handle it reads) and names none of them before calendarFileInside has
    // said it leads inside.
    std::vector<CalendarFile> calendarFilesUnchecked(std::string_view folder) const;
    // Whether a listed file of `folder` leads inside the root; what was found is kept while
    // the file's signature stays the same, as for the listings.
    bool calendarFileInside(std::string_view folder, const CalendarFile& file) const;
    std::optional<CalendarFile> findCalendarFile(std::string_view folder,
                                                 std::string_view name) const;
    // Writes NAME.ics whole, replacing one of that name; a new unique name when `name` is empty.
    // Returns the name.
    std::string putCalendarFile(std::string_view folder, std::string_view content,
                                std::string_view name = {});
    bool deleteCalendarFile(std::string_view folder, std::string_view name);

    // Store properties: a map from a name to bytes.
    std::map<std::string, Bytes> properties() const;
    void setProperty(const std::string& name, const Bytes& value);
    std::optional<Bytes> property(const std::string& name) const;

    // The folder that receives mail ("IPM_SUBTREE/Inbox" unless set otherwise).
    std::string receiveFolder() const;

    // A new store's usual folders and its IPM subtree identifier; the calendar folder is given
    // the name a localized mailbox has for it ("Kalender").
    void createStandardLayout(std::string_view calendarName = "Calendar");

private:
    void writeProperties(const std::map<std::string, Bytes>& values);
    // Keeps of `files`, found in `folder`, those leading inside the root. `whole`: they are the
    // folder's whole listing, so what is remembered of files no longer there is dropped.
    void keepInside(std::string_view folder, std::vector<CalendarFile>& files, bool whole) const;

    fs::path root_;
    StoreBoundary boundary_;
    struct CheckedFiles;
    std::shared_ptr<CheckedFiles> checkedCalendarFiles_;
    Uid uid_{};
};

// Called by readInside between its check and its reading, with the file: lets a test change
// the file at that moment. Empty: nothing is called.
void setBetweenCheckAndRead(std::function<void(const fs::path&)> hook);
// The named events through which the kit's fault switch "File::read" holds such a read.
inline constexpr wchar_t kReadHeldEvent[] = L"MaildirMAPI.ReadHeld";
inline constexpr wchar_t kReadResumeEvent[] = L"MaildirMAPI.ReadResume";

// Writes a file so that readers see either the old or the whole new content.
void writeFileAtomically(const fs::path& file, std::string_view content);
// A file's content; nothing when it cannot be read (gone, or held by a writer for longer
// than a brief wait).
std::optional<std::string> tryReadFile(const fs::path& file);
std::string readFile(const fs::path& file);

// An RFC 5322 message from its parts; non-ASCII text is sent as UTF-8 encoded words and a
// quoted-printable body.
std::string composeMessage(std::string_view from, std::string_view to, std::string_view subject,
                           std::string_view body, std::int64_t unixTime);

inline constexpr char ipmSubtreeName[] = "IPM_SUBTREE";
inline constexpr char calendarFolderName[] = "Calendar";
inline constexpr char calendarExtension[] = ".ics";
inline constexpr char ipmSubtreeProperty[] = "35E00102"; // PR_IPM_SUBTREE_ENTRYID
inline constexpr char propertiesFile[] = ".store-properties";

} // namespace devkit
