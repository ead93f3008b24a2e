#include "maildir_store.h"

#include "ascii.h"
#include "folder_name.h"
#include "maildir_name.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>
#include <unordered_map>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <chrono>

#ifdef _WIN32
#include <windows.h>
#endif

namespace devkit {

namespace {

fs::path utf8Path(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Name(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool isMaildirSubdirectory(std::string_view name) {
    return name == "cur" || name == "new" || name == "tmp";
}

std::string toHex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 0x0F];
    }
    return hex;
}

std::optional<Bytes> fromHex(std::string_view hex) {
    if (hex.size() % 2)
        return std::nullopt;
    Bytes bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigitValue(hex[i]), low = hexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(std::uint8_t(high * 16 + low));
    }
    return bytes;
}

// Unique names: time, a per-process random number in place of the process id, a counter.
std::string newUniqueName() {
    static const std::uint32_t process = std::random_device{}();
    static std::atomic<std::uint64_t> counter{0};
    return makeUniqueName(std::int64_t(std::time(nullptr)), process, ++counter, "devkit");
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x80; });
}

std::string base64(std::string_view data) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const unsigned v = (unsigned char)data[i] << 16 | (unsigned char)data[i + 1] << 8 |
                           (unsigned char)data[i + 2];
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63],
                alphabet[v & 63]};
    }
    if (i + 1 == data.size()) {
        const unsigned v = (unsigned char)data[i] << 16;
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == data.size()) {
        const unsigned v = (unsigned char)data[i] << 16 | (unsigned char)data[i + 1] << 8;
        out += {alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '='};
    }
    return out;
}

std::string encodedWord(std::string_view text) {
    return isAscii(text) ? std::string(text) : "=?UTF-8?B?" + base64(text) + "?=";
}

// "Name <address>": only the name may need encoding.
std::string encodeAddress(std::string_view from) {
    const size_t open = from.rfind('<');
    if (open == std::string_view::npos || open == 0)
        return std::string(from);
    std::string_view name = from.substr(0, open);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    return encodedWord(name) + " " + std::string(from.substr(open));
}

std::string rfc5322Date(std::int64_t unixTime) {
    static constexpr const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t t = std::time_t(unixTime);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[utc.tm_wday],
                  utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

#ifdef _WIN32
// The short names of the files in `directory` that open only by them.
std::map<std::wstring, std::wstring> shortNames(const fs::path& directory) {
    std::map<std::wstring, std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW((directory / L"*").c_str(), FindExInfoStandard, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (opensOnlyByShortName(entry.cFileName) && entry.cAlternateFileName[0])
            names[entry.cFileName] = entry.cAlternateFileName;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}
#endif

// Calls `found(name, path)` for each file (not directory) in `directory`, `path` being the one
// that opens it. On Windows the type comes with the listing: a name that Windows cannot use
// could not be asked about on its own.
template <typename Found> void forEachFile(const fs::path& directory, Found found) {
#ifdef _WIN32
    // Without short names, which a large folder would pay for: they are asked for only when
    // a name needs one.
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW((directory / L"*").c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::optional<std::map<std::wstring, std::wstring>> shortened;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (!opensOnlyByShortName(entry.cFileName)) {
            found(utf8Name(entry.cFileName), directory / entry.cFileName);
            continue;
        }
        if (!shortened)
            shortened = shortNames(directory);
        if (auto it = shortened->find(entry.cFileName); it != shortened->end())
            found(utf8Name(entry.cFileName), directory / it->second);
        // else no name opens it
    } while (FindNextFileW(search, &entry));
    FindClose(search);
#else
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error))
        if (entry.is_regular_file(error))
            found(utf8Name(entry.path().filename()), entry.path());
#endif
}

} // namespace

void writeFileAtomically(const fs::path& file, std::string_view content) {
    fs::path temporary = file;
    temporary += ".tmp-" + newUniqueName();
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), std::streamsize(content.size()));
        out.flush();
        if (!out)
            throw std::runtime_error("cannot write " + utf8Name(temporary));
    }
    std::error_code error;
    fs::rename(temporary, file, error);
    if (error) {
        fs::remove(temporary, error);
        throw std::runtime_error("cannot replace " + utf8Name(file));
    }
}

std::optional<std::string> tryReadFile(const fs::path& file) {
    // A writer on Windows may still hold the file for a moment after renaming it into place
    // (its handle denies sharing until it closes): try again briefly before giving up.
    for (int attempt = 0; attempt < 20; ++attempt) {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            std::ostringstream content;
            content << in.rdbuf();
            return content.str();
        }
        std::error_code error;
        if (!fs::exists(file, error))
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

namespace {

// Reads a file of `size` bytes (as its handle tells) in place into `content`, so that a large
// file is neither copied nor grown while it is read, then whatever it grew by since; false
// on an error or past `most` bytes. `read` answers the bytes read, 0 at the end, -1 on error.
template <class Read>
bool readAll(std::string& content, std::uint64_t size, std::uint64_t most, Read read) {
    content.resize(std::size_t(std::min<std::uint64_t>(size, 64 << 20)));
    std::size_t got = 0;
    while (got < content.size()) {
        const std::int64_t part = read(content.data() + got, content.size() - got);
        if (part < 0)
            return false;
        if (part == 0)
            break;
        got += std::size_t(part);
    }
    content.resize(got);
    char more[65536];
    for (;;) {
        const std::int64_t part = read(more, sizeof more);
        if (part < 0 || content.size() + std::uint64_t(part) > most)
            return false;
        if (part == 0)
            return true;
        content.append(more, std::size_t(part));
    }
}

std::mutex hookLock;
std::function<void(const fs::path&)> betweenCheckAndRead;

void callBetweenCheckAndRead(const fs::path& file) {
    std::function<void(const fs::path&)> hook;
    {
        std::lock_guard guard(hookLock);
        hook = betweenCheckAndRead;
    }
    if (hook)
        hook(file);
}

} // namespace

void setBetweenCheckAndRead(std::function<void(const fs::path&)> hook) {
    std::lock_guard guard(hookLock);
    betweenCheckAndRead = std::move(hook);
}

std::optional<std::string> MaildirStore::readInside(const fs::path& file,
                                                    FileIdentity* identity) const {
    std::string content;
    if (!readInside(file, content, identity))
        return std::nullopt;
    return content;
}

bool MaildirStore::readInside(const fs::path& file, std::string& content, FileIdentity* identity,
                              std::uint64_t most) const {
#ifdef _WIN32
    HANDLE handle = INVALID_HANDLE_VALUE;
    // A writer on Windows may still hold the file for a moment after renaming it into place.
    for (int attempt = 0; attempt < 20; ++attempt) {
        handle = CreateFileW(file.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    struct Closer {
        HANDLE handle;
        ~Closer() { CloseHandle(handle); }
    } closer{handle};
    // A FIFO opens at once under Wine, and its reading waits for a writer: only disk files.
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(handle, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !leadsInside(handle))
        return false;
    const std::uint64_t size =
        std::uint64_t(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
    if (size > most)
        return false;
    if (identity)
        *identity = {information.dwVolumeSerialNumber,
                     std::uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
    callBetweenCheckAndRead(file);
    return readAll(content, size, most, [&](char* into, std::size_t wanted) -> std::int64_t {
        DWORD read = 0;
        if (!ReadFile(handle, into, DWORD(std::min<std::size_t>(wanted, 1 << 30)), &read, nullptr))
            return -1;
        return read;
    });
#else
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat status {};
    std::error_code error;
    const fs::path opened = fs::read_symlink("/proc/self/fd/" + std::to_string(descriptor), error);
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || error ||
        !leadsInside(opened) || std::uint64_t(status.st_size) > most)
        return false;
    if (identity)
        *identity = {std::uint64_t(status.st_dev), std::uint64_t(status.st_ino)};
    callBetweenCheckAndRead(file);
    return readAll(content, std::uint64_t(status.st_size), most,
                   [&](char* into, std::size_t wanted) -> std::int64_t {
                       return ::read(descriptor, into, wanted);
                   });
#endif
}

std::string readFile(const fs::path& file) {
    return tryReadFile(file).value_or(std::string());
}

fs::path MaildirStore::openablePath(const fs::path& directory, std::string_view name) {
    const fs::path named = directory / utf8Path(name);
#ifdef _WIN32
    if (!opensOnlyByShortName(named.filename().c_str()))
        return named;
    fs::path found = named;
    forEachFile(directory, [&](const std::string& listed, const fs::path& file) {
        if (listed == name)
            found = file;
    });
    return found;
#else
    return named;
#endif
}

// Where each calendar file leads, checked again only when its signature changes: opening every
// file of a large calendar at each listing would cost far more than the listing itself.
struct MaildirStore::CheckedFiles {
    struct Check {
        std::uint64_t signature = 0;
        bool inside = false;
    };
    std::mutex lock;
    std::map<std::string, std::unordered_map<fs::path::string_type, Check>, std::less<>> folders;
};

MaildirStore::MaildirStore(fs::path root)
    : root_(std::move(root)), boundary_(root_),
      checkedCalendarFiles_(std::make_shared<CheckedFiles>()) {}

void MaildirStore::open() {
    fs::create_directories(root_);
    if (auto stored = property("uid"); stored && stored->size() == uid_.size()) {
        std::copy(stored->begin(), stored->end(), uid_.begin());
        return;
    }
    std::random_device random;
    for (auto& b : uid_)
        b = std::uint8_t(random());
    setProperty("uid", Bytes(uid_.begin(), uid_.end()));
}

fs::path MaildirStore::directory(std::string_view folder) const {
    return folder.empty() ? root_ : root_ / utf8Path(folder);
}

bool MaildirStore::folderExists(std::string_view folder) const {
    const fs::path dir = directory(folder);
    return isDirectory(dir) && boundary_.contains(dir);
}

bool MaildirStore::isMaildir(std::string_view folder) const {
    const fs::path dir = directory(folder);
    return isDirectory(dir / "new") && isDirectory(dir / "cur");
}

std::vector<FolderEntry> MaildirStore::childFolders(std::string_view folder) const {
    std::vector<FolderEntry> children;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory(folder), error)) {
        const std::string name = utf8Name(entry.path().filename());
        if (name.empty() || name[0] == '.' || isMaildirSubdirectory(name) ||
            !entry.is_directory(error) || !boundary_.contains(entry.path()))
            continue;
        children.push_back({join(folder, name), decodeFolderName(name)});
    }
    std::sort(children.begin(), children.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.path < b.path; });
    return children;
}

std::string MaildirStore::parentOf(std::string_view folder) {
    const size_t slash = folder.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(folder.substr(0, slash));
}

std::string MaildirStore::join(std::string_view folder, std::string_view directoryName) {
    return folder.empty() ? std::string(directoryName)
                          : std::string(folder) + "/" + std::string(directoryName);
}

std::string MaildirStore::displayName(std::string_view folder) const {
    const size_t slash = folder.rfind('/');
    return decodeFolderName(slash == std::string_view::npos ? folder : folder.substr(slash + 1));
}

std::optional<std::string> MaildirStore::createFolder(std::string_view parent,
                                                      std::string_view displayName, bool& existed) {
    const std::optional<std::string> path = childFolderPath(parent, displayName);
    if (!path || !folderExists(parent))
        return std::nullopt;
    const std::string& folder = *path;
    existed = folderExists(folder);
    if (existed && isCalendar(folder))
        return folder; // a calendar stays one
    std::error_code error;
    if (!existed && fs::exists(fs::symlink_status(directory(folder), error)))
        return std::nullopt; // there, but leading elsewhere
    for (const char* sub : {"tmp", "new", "cur"})
        fs::create_directories(directory(folder) / sub, error);
    if (error)
        return std::nullopt;
    return folder;
}

bool MaildirStore::removeFolder(std::string_view folder) {
    if (folder.empty() || !folderExists(folder))
        return false;
    return boundary_.removeTree(directory(folder));
}

std::string MaildirStore::pathFromDisplayNames(std::string_view names) {
    std::string path;
    while (!names.empty()) {
        const size_t slash = names.find('/');
        const std::string_view name = names.substr(0, slash);
        if (!name.empty())
            path = join(path, encodeFolderName(name));
        names = slash == std::string_view::npos ? std::string_view() : names.substr(slash + 1);
    }
    return path;
}

std::vector<MessageFile> MaildirStore::messages(std::string_view folder) const {
    std::vector<MessageFile> found;
    if (!folderExists(folder))
        return found;
    for (const char* sub : {"new", "cur"}) {
        forEachFile(directory(folder) / sub, [&](const std::string& name, const fs::path& file) {
            if (name.empty() || name[0] == '.')
                return;
            MaildirName parts = splitMaildirName(name);
            auto key = messageKey(parts.unique);
            if (key && boundary_.contains(file))
                found.push_back({std::move(*key), parts.flags, sub[0] == 'n', file, name});
        });
    }
    std::sort(found.begin(), found.end(),
              [](const MessageFile& a, const MessageFile& b) { return a.unique < b.unique; });
    return found;
}

std::optional<MessageFile> MaildirStore::findMessage(std::string_view folder,
                                                     std::string_view unique) const {
    if (!folderExists(folder))
        return std::nullopt;
    const auto inside = [&](std::optional<MessageFile> message) {
        return message && boundary_.contains(message->file) ? message : std::nullopt;
    };
    // An escaped key is never a file's own name: only the listing below finds its file.
    const bool encoded = unique.find('%') != std::string_view::npos;
    // A message not yet seen by a reader is new/UNIQUE exactly: no listing needed.
    const fs::path fresh = directory(folder) / "new" / utf8Path(unique);
    std::error_code error;
    if (!encoded && fs::is_regular_file(fresh, error))
        return inside(MessageFile{std::string(unique), {}, true, fresh, std::string(unique)});
    // Readers mark mail with a few flag sets; trying those names first keeps opening a message
    // independent of its folder's size. Rarer flags, and names written on Linux (whose ':'
    // must never be built into a Windows path), are found by listing.
    static constexpr std::string_view usualFlags[] = {"S", "", "RS", "FS", "FRS", "PS", "DS", "ST"};
    for (const char separator : {kMaildirInfoSeparator, '!'}) {
        for (const std::string_view flags : usualFlags) {
            const std::string name = std::string(unique) + separator + "2," + std::string(flags);
            const fs::path seen = directory(folder) / "cur" / utf8Path(name);
            if (!encoded && fs::is_regular_file(seen, error))
                return inside(
                    MessageFile{std::string(unique), std::string(flags), false, seen, name});
        }
    }
    std::optional<MessageFile> found;
    for (const char* sub : {"new", "cur"}) {
        forEachFile(directory(folder) / sub, [&](const std::string& name, const fs::path& file) {
            if (found || (!encoded && name.compare(0, unique.size(), unique) != 0))
                return;
            MaildirName parts = splitMaildirName(name);
            if (messageKey(parts.unique) == unique)
                found = MessageFile{std::string(unique), parts.flags, sub[0] == 'n', file, name};
        });
        if (found)
            return inside(found);
    }
    return std::nullopt;
}

bool MaildirStore::deleteMessage(std::string_view folder, std::string_view unique) {
    auto message = findMessage(folder, unique);
    return message && boundary_.removeFile(message->file);
}

std::string MaildirStore::deliver(std::string_view folder, std::string_view content) {
    if (!folderExists(folder))
        throw std::runtime_error("no folder " + std::string(folder));
    const std::string unique = newUniqueName();
    const fs::path dir = directory(folder);
    const fs::path temporary = dir / "tmp" / utf8Path(unique);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(content.data(), std::streamsize(content.size()));
        out.flush();
        if (!out)
            throw std::runtime_error("cannot write " + utf8Name(temporary));
    }
    fs::rename(temporary, dir / "new" / utf8Path(unique));
    return unique;
}

bool MaildirStore::isCalendar(std::string_view folder) const {
    return folder.size() > std::string_view(ipmSubtreeName).size() &&
           folder.starts_with(std::string(ipmSubtreeName) + "/") && !isMaildir(folder) &&
           folderExists(folder);
}

namespace {

std::uint64_t signatureOf(std::uint64_t size, std::int64_t written) {
    return (size * 1099511628211ULL) ^ std::uint64_t(written);
}

std::optional<std::string> calendarName(const fs::path& file) {
    const std::string name = utf8Name(file.filename());
    const std::string_view extension = calendarExtension;
    if (name.size() <= extension.size() || name[0] == '.' ||
        !equalsIgnoreAsciiCase(std::string_view(name).substr(name.size() - extension.size()),
                               extension))
        return std::nullopt;
    std::string stem = name.substr(0, name.size() - extension.size());
    if (!isSafeUniqueName(stem))
        return std::nullopt;
    return stem;
}

} // namespace

void MaildirStore::keepInside(std::string_view folder, std::vector<CalendarFile>& files,
                              bool whole) const {
    if (!folderExists(folder)) { // gone, or a link leading outside
        files.clear();
        return;
    }
    std::lock_guard guard(checkedCalendarFiles_->lock);
    auto& checked = checkedCalendarFiles_->folders[std::string(folder)];
    const bool prune = whole && checked.size() > files.size(); // some files are gone
    std::unordered_map<fs::path::string_type, CheckedFiles::Check> listed;
    std::erase_if(files, [&](const CalendarFile& file) {
        auto [found, added] = checked.try_emplace(file.file.native());
        CheckedFiles::Check& check = found->second;
        if (added || check.signature != file.signature)
            check = {file.signature, boundary_.contains(file.file)};
        if (prune)
            listed.emplace(file.file.native(), check);
        return !check.inside;
    });
    if (prune)
        checked = std::move(listed);
}

namespace {

#ifdef _WIN32

// Files matching `pattern` with their sizes and times of writing, from the directory listing
// itself: asking for each file's attributes apart costs a path lookup per file.
template <typename Visit> void listFiles(const fs::path& pattern, Visit visit) {
    WIN32_FIND_DATAW data;
    const HANDLE found =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                         FIND_FIRST_EX_LARGE_FETCH);
    if (found == INVALID_HANDLE_VALUE)
        return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const auto size = std::uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
        const auto written = std::int64_t(std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 |
                                          data.ftLastWriteTime.dwLowDateTime);
        visit(fs::path(data.cFileName), size, written);
    } while (FindNextFileW(found, &data));
    FindClose(found);
}

// The files of `dir`, each with its size and time of writing (a FILETIME's 100 ns units).
template <typename Visit> void listDirectory(const fs::path& dir, Visit visit) {
    listFiles(dir / L"*", visit);
}

// The one file `file`, when it is a file.
template <typename Visit> void listOne(const fs::path& file, Visit visit) {
    listFiles(file, visit); // a name without wildcards matches itself only
}

#else

template <typename Visit> void visitEntry(const fs::directory_entry& entry, Visit visit) {
    std::error_code error;
    if (!entry.is_regular_file(error))
        return;
    const auto size = std::uint64_t(entry.file_size(error));
    const auto since1970 = std::chrono::file_clock::to_sys(entry.last_write_time(error));
    const auto written = std::int64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                          since1970.time_since_epoch())
                                          .count() /
                                      100) +
                         116444736000000000LL;
    if (!error)
        visit(entry.path().filename(), size, written);
}

template <typename Visit> void listDirectory(const fs::path& dir, Visit visit) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error))
        visitEntry(entry, visit);
}

template <typename Visit> void listOne(const fs::path& file, Visit visit) {
    std::error_code error;
    const fs::directory_entry entry(file, error);
    if (!error)
        visitEntry(entry, visit);
}

#endif

} // namespace

namespace {

std::vector<CalendarFile> listCalendar(const fs::path& dir) {
    std::vector<CalendarFile> found;
    listDirectory(dir, [&](const fs::path& file, std::uint64_t size, std::int64_t written) {
        if (auto name = calendarName(file))
            found.push_back({std::move(*name), dir / file, signatureOf(size, written), written});
    });
    std::sort(found.begin(), found.end(),
              [](const CalendarFile& a, const CalendarFile& b) { return a.name < b.name; });
    return found;
}

} // namespace

std::vector<CalendarFile> MaildirStore::calendarFiles(std::string_view folder) const {
    std::vector<CalendarFile> found = listCalendar(directory(folder));
    keepInside(folder, found, true);
    return found;
}

std::vector<CalendarFile> MaildirStore::calendarFilesUnchecked(std::string_view folder) const {
    if (!folderExists(folder)) // gone, or a link leading outside
        return {};
    return listCalendar(directory(folder));
}

bool MaildirStore::calendarFileInside(std::string_view folder, const CalendarFile& file) const {
    std::vector<CalendarFile> one{file};
    keepInside(folder, one, false);
    return !one.empty();
}

std::optional<CalendarFile> MaildirStore::findCalendarFile(std::string_view folder,
                                                           std::string_view name) const {
    if (!isSafeUniqueName(name)) // also keeps wildcards out of the pattern
        return std::nullopt;
    const fs::path file = directory(folder) / utf8Path(std::string(name) + calendarExtension);
    std::vector<CalendarFile> found;
    listOne(file, [&](const fs::path&, std::uint64_t size, std::int64_t written) {
        found.push_back({std::string(name), file, signatureOf(size, written), written});
    });
    keepInside(folder, found, false);
    return found.empty() ? std::nullopt : std::optional(found.front());
}

std::string MaildirStore::putCalendarFile(std::string_view folder, std::string_view content,
                                          std::string_view name) {
    const std::string chosen = name.empty() ? newUniqueName() : std::string(name);
    if (!isSafeUniqueName(chosen))
        throw std::invalid_argument("not a usable name: " + chosen);
    writeFileAtomically(directory(folder) / utf8Path(chosen + calendarExtension), content);
    return chosen;
}

bool MaildirStore::deleteCalendarFile(std::string_view folder, std::string_view name) {
    auto file = findCalendarFile(folder, name);
    return file && boundary_.removeFile(file->file);
}

std::map<std::string, Bytes> MaildirStore::properties() const {
    std::map<std::string, Bytes> values;
    std::istringstream lines(readFile(root_ / propertiesFile));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        if (space == std::string::npos)
            continue;
        if (auto bytes = fromHex(line.substr(space + 1)))
            values[line.substr(0, space)] = std::move(*bytes);
    }
    return values;
}

std::optional<Bytes> MaildirStore::property(const std::string& name) const {
    auto values = properties();
    auto found = values.find(name);
    if (found == values.end())
        return std::nullopt;
    return found->second;
}

void MaildirStore::setProperty(const std::string& name, const Bytes& value) {
    auto values = properties();
    values[name] = value;
    writeProperties(values);
}

void MaildirStore::writeProperties(const std::map<std::string, Bytes>& values) {
    std::string content;
    for (const auto& [name, bytes] : values)
        content += name + " " + toHex(bytes) + "\n";
    writeFileAtomically(root_ / propertiesFile, content);
}

std::string MaildirStore::receiveFolder() const {
    if (auto stored = property("receive"))
        return std::string(stored->begin(), stored->end());
    return std::string(ipmSubtreeName) + "/Inbox";
}

void MaildirStore::createStandardLayout(std::string_view calendarName) {
    open();
    fs::create_directories(directory(ipmSubtreeName));
    bool existed = false;
    for (const char* name : {"Inbox", "Sent Items", "Deleted Items"})
        createFolder(ipmSubtreeName, name, existed);
    fs::create_directories(directory(
        pathFromDisplayNames(std::string(ipmSubtreeName) + "/" + std::string(calendarName))));
    setProperty(ipmSubtreeProperty, folderEntryId(uid_, ipmSubtreeName));
}

std::string composeMessage(std::string_view from, std::string_view to, std::string_view subject,
                           std::string_view body, std::int64_t unixTime) {
    std::string message;
    message += "From: " + encodeAddress(from) + "\r\n";
    if (!to.empty())
        message += "To: " + encodeAddress(to) + "\r\n";
    message += "Subject: " + encodedWord(subject) + "\r\n";
    message += "Date: " + rfc5322Date(unixTime) + "\r\n";
    message += "Message-ID: <" + newUniqueName() + "@devkit>\r\n";
    message += "MIME-Version: 1.0\r\n";
    std::string text;
    for (char c : body) { // line breaks as CRLF
        if (c == '\n' && (text.empty() || text.back() != '\r'))
            text += '\r';
        text += c;
    }
    if (isAscii(text)) {
        message += "Content-Type: text/plain; charset=us-ascii\r\n\r\n" + text;
    } else {
        message += "Content-Type: text/plain; charset=utf-8\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\n";
        const std::string encoded = base64(text);
        for (size_t i = 0; i < encoded.size(); i += 76)
            message += encoded.substr(i, 76) + "\r\n";
    }
    return message;
}

} // namespace devkit
