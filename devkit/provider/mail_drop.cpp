#include "mail_drop.h"

#include "faults.h"
#include "maildir_name.h"
#include "properties.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <set>

namespace maildir {

namespace {

namespace fs = devkit::fs;

std::wstring trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    const size_t last = text.find_last_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

// Where moved messages go: a directory that readers watch, the tmp/ beside it for copies, and
// the names already there.
struct Destination {
    fs::path directory;
    fs::path temporary;
    std::set<std::string> present;
    std::function<std::optional<fs::path>(const std::string&)> find;
};

std::string newUniqueName() {
    static const std::uint32_t process = std::random_device{}();
    static std::atomic<std::uint64_t> counter{0};
    return devkit::makeUniqueName(std::int64_t(std::time(nullptr)), process, ++counter, "drop");
}

// The message's unique name as its file name gives it; a name that cannot serve as one in the
// store gets a name made from it, the same on every flush.
std::string uniqueNameOf(const std::string& fileName) {
    const devkit::MaildirName parts = devkit::splitMaildirName(fileName);
    if (!parts.unique.empty() && devkit::isSafeUniqueName(parts.unique))
        return parts.unique;
    std::uint64_t hash = 0xcbf29ce484222325ull; // FNV-1a
    for (unsigned char c : fileName)
        hash = (hash ^ c) * 0x100000001b3ull;
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.drop", static_cast<unsigned long long>(hash));
    return name;
}

bool sameContent(const fs::path& a, const fs::path& b) {
    std::error_code error;
    const auto sizeA = fs::file_size(a, error);
    if (error || sizeA != fs::file_size(b, error) || error)
        return false;
    const auto contentA = devkit::tryReadFile(a), contentB = devkit::tryReadFile(b);
    return contentA && contentB && *contentA == *contentB;
}

// The rename itself, or the error that a fault injection names instead.
DWORD renameNoReplace(const fs::path& from, const fs::path& to) {
    if (const HRESULT injected = injectedFault("MailDrop::Rename"); FAILED(injected))
        return HRESULT_FACILITY(injected) == FACILITY_WIN32 ? DWORD(HRESULT_CODE(injected))
                                                            : ERROR_GEN_FAILURE;
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS
                                                                         : GetLastError();
}

bool isGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
// Taken by another flush, as opposed to a destination that cannot be reached.
bool isGone(DWORD error, const fs::path& source) {
    return isGone(error) && GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES;
}
bool isTaken(DWORD error) {
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// Removes a message that has arrived at its destination; gone already is as good.
HRESULT removeOriginal(const fs::path& source) {
    if (DeleteFileW(source.c_str()))
        return S_OK;
    const DWORD error = GetLastError();
    return isGone(error) ? S_OK : HRESULT_FROM_WIN32(error);
}

// Moves one message file to the destination under its unique name, or under a fresh one when
// another message holds that name.
HRESULT moveMessage(const fs::path& source, std::string name, Destination& to) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (to.present.count(name)) {
            const std::optional<fs::path> existing = to.find(name);
            if (existing && sameContent(*existing, source)) {
                // Arrived before the flush that moved it was interrupted: only the original
                // is left to remove.
                return removeOriginal(source);
            }
            if (existing) {
                name = newUniqueName();
                continue;
            }
        }
        const fs::path target = to.directory / fs::path(utf8ToWide(name));
        DWORD error = renameNoReplace(source, target);
        if (error == ERROR_NOT_SAME_DEVICE) {
            // Another volume: copy beside the destination, rename into place, then remove.
            const fs::path copy = to.temporary / fs::path(utf8ToWide(name + "." + newUniqueName()));
            std::error_code ignored;
            fs::create_directories(to.temporary, ignored);
            if (!CopyFileW(source.c_str(), copy.c_str(), TRUE)) {
                error = GetLastError();
                DeleteFileW(copy.c_str());
                if (isGone(error, source))
                    return S_OK; // another flush took it
                return HRESULT_FROM_WIN32(error);
            }
            if (MoveFileExW(copy.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
                // Fault injection stops here as a process that dies would: in both places.
                MAILDIR_FAULT_POINT("MailDrop::RemoveOriginal");
                return removeOriginal(source);
            }
            error = GetLastError();
            DeleteFileW(copy.c_str());
        }
        if (error == ERROR_SUCCESS)
            return S_OK;
        if (isGone(error, source))
            return S_OK; // another flush took it
        if (!isTaken(error))
            return HRESULT_FROM_WIN32(error);
        to.present.insert(name); // arrived meanwhile: compare, or choose another name
    }
    return MAPI_E_COLLISION;
}

// The complete messages of a Maildir directory (new/ and cur/ hold whole files only), oldest
// name first.
std::vector<fs::path> messageFiles(const std::vector<fs::path>& directories) {
    std::vector<fs::path> files;
    for (const fs::path& directory : directories) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(directory, error)) {
            const std::wstring name = entry.path().filename().native();
            if (name.empty() || name[0] == L'.' || !entry.is_regular_file(error))
                continue;
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
    return files;
}

// A message that cannot move now (held by its writer, say) does not hold up the others; the
// first failure is the flush's result.
HRESULT moveAll(const std::vector<fs::path>& files, Destination& to) {
    HRESULT first = S_OK;
    for (const fs::path& file : files) {
        const HRESULT result =
            moveMessage(file, uniqueNameOf(wideToUtf8(file.filename().c_str())), to);
        if (FAILED(result) && SUCCEEDED(first))
            first = result;
    }
    return first;
}

HRESULT download(const fs::path& drop, devkit::MaildirStore& store) {
    // Nothing waiting costs two listings of the drop, whatever the Inbox holds.
    const std::vector<fs::path> waiting = messageFiles({drop / "new", drop / "cur"});
    if (waiting.empty())
        return S_OK;
    const std::string inbox = store.receiveFolder();
    if (!store.isMaildir(inbox))
        return MAPI_E_NOT_FOUND;
    Destination to{store.directory(inbox) / "new", store.directory(inbox) / "tmp", {}, {}};
    for (const auto& message : store.messages(inbox))
        to.present.insert(message.unique);
    to.find = [&](const std::string& name) -> std::optional<fs::path> {
        if (auto found = store.findMessage(inbox, name))
            return found->file;
        return std::nullopt;
    };
    return moveAll(waiting, to);
}

HRESULT upload(const fs::path& drop, devkit::MaildirStore& store) {
    if (GetFileAttributesW(store.directory(outboxFolder).c_str()) == INVALID_FILE_ATTRIBUTES)
        return S_OK; // no Outbox: nothing waits
    const std::vector<fs::path> waiting = messageFiles(
        {store.directory(outboxFolder) / "new", store.directory(outboxFolder) / "cur"});
    if (waiting.empty())
        return S_OK;
    Destination to{drop / "outgoing", drop / "tmp", {}, {}};
    std::error_code error;
    fs::create_directories(to.directory, error);
    for (const auto& entry : fs::directory_iterator(to.directory, error))
        to.present.insert(wideToUtf8(entry.path().filename().c_str()));
    to.find = [&](const std::string& name) -> std::optional<fs::path> {
        const fs::path file = to.directory / fs::path(utf8ToWide(name));
        std::error_code ignored;
        return fs::is_regular_file(file, ignored) ? std::optional(file) : std::nullopt;
    };
    return moveAll(waiting, to);
}

// Flushes of one process take turns; other processes are kept apart by the renames alone.
std::mutex flushing;

} // namespace

std::vector<MailDrop> parseMailDrops(const std::wstring& setting) {
    std::vector<MailDrop> drops;
    size_t start = 0;
    while (start <= setting.size()) {
        const size_t end = std::min(setting.find(L';', start), setting.size());
        const std::wstring pair = setting.substr(start, end - start);
        start = end + 1;
        const size_t equals = pair.find(L'=');
        if (equals == std::wstring::npos)
            continue;
        const std::string name = wideToUtf8(trimmed(pair.substr(0, equals)).c_str());
        const std::wstring directory = trimmed(pair.substr(equals + 1));
        if (name.empty() || directory.empty() ||
            std::any_of(drops.begin(), drops.end(),
                        [&](const MailDrop& drop) { return drop.name == name; }))
            continue;
        drops.push_back({name, fs::path(directory)});
    }
    return drops;
}

HRESULT flushMailDrop(const MailDrop& drop, devkit::MaildirStore& store, ULONG flags) {
    std::lock_guard guard(flushing);
    std::error_code error;
    if (!fs::is_directory(drop.directory / "new", error)) {
        if (!fs::is_directory(drop.directory, error))
            return MAPI_E_NETWORK_ERROR;
        // A new drop is made ready for a fetcher.
        for (const char* sub : {"tmp", "new", "cur"})
            fs::create_directories(drop.directory / sub, error);
    }
    HRESULT result = S_OK;
    if (flags & FLUSH_UPLOAD)
        result = upload(drop.directory, store);
    if (flags & FLUSH_DOWNLOAD)
        if (const HRESULT received = download(drop.directory, store); SUCCEEDED(result))
            result = received;
    return result;
}

} // namespace maildir
