#include "mail_drop.h"

#include "drop_files.h"
#include "failure_trace.h"
#include "faults.h"
#include "maildir_name.h"
#include "properties.h"
#include "store_boundary.h"

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
    // The content of the message of that name there, when it is a plain file.
    std::function<std::optional<std::string>(const std::string&)> content;
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

// For the tests: called with each listed message between the listing and its move.
using ListedHook = void(WINAPI*)(const wchar_t* file);
std::atomic<ListedHook> listedHook{nullptr};

// Says what a flush leaves alone, and why, in the failure trace: once in the process's life
// for each path, or a flush every few seconds would push everything else out of it.
void traceOnce(const std::string& what, const fs::path& path) {
    static std::mutex lock;
    static std::set<std::wstring> named;
    {
        std::lock_guard guard(lock);
        if (named.size() >= 10000 || !named.insert(path.native()).second)
            return;
    }
    traceFailure(what + ": " + wideToUtf8(fs::path(path).make_preferred().c_str()));
}
void leftAlone(const fs::path& file, const char* why) {
    traceOnce(std::string("left alone, ") + why, file);
}

// The move through the file's own handle, or the error that a fault injection names instead.
DWORD renameNoReplace(DropFile& source, const fs::path& to) {
    if (const HRESULT injected = injectedFault("MailDrop::Rename"); FAILED(injected))
        return HRESULT_FACILITY(injected) == FACILITY_WIN32 ? DWORD(HRESULT_CODE(injected))
                                                            : ERROR_GEN_FAILURE;
    return source.renameTo(to);
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
HRESULT removeOriginal(DropFile& source) {
    const DWORD error = source.remove();
    return error == ERROR_SUCCESS || isGone(error) ? S_OK : HRESULT_FROM_WIN32(error);
}

// Moves one message file to the destination under its unique name, or under a fresh one when
// another message holds that name.
HRESULT moveMessage(DropFile& source, const fs::path& listed, std::string name, Destination& to) {
    bool held = false; // the rename found the name taken
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (to.present.count(name)) {
            const std::optional<std::string> existing = to.content(name);
            if (existing && source.content() && *existing == *source.content()) {
                // Arrived before the flush that moved it was interrupted: only the original
                // is left to remove.
                return removeOriginal(source);
            }
            if (existing || held) {
                name = newUniqueName();
                held = false;
                continue;
            }
        }
        const fs::path target = to.directory / fs::path(utf8ToWide(name));
        DWORD error = renameNoReplace(source, target);
        if (error == ERROR_NOT_SAME_DEVICE) {
            // Another volume: copy beside the destination, rename into place, then remove.
            if (!source.content())
                return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_READ_FAULT);
            const fs::path copy = to.temporary / fs::path(utf8ToWide(name + "." + newUniqueName()));
            std::error_code ignored;
            fs::create_directories(to.temporary, ignored);
            error = placeCopy(copy, target, *source.content(), source.lastWrite());
            if (error == ERROR_SUCCESS) {
                // Fault injection stops here as a process that dies would: in both places.
                MAILDIR_FAULT_POINT("MailDrop::RemoveOriginal");
                return removeOriginal(source);
            }
        }
        if (error == ERROR_SUCCESS)
            return S_OK;
        if (isGone(error, listed))
            return S_OK; // another flush took it
        if (!isTaken(error))
            return HRESULT_FROM_WIN32(error);
        held = true;
        to.present.insert(name); // arrived meanwhile: compare, or choose another name
    }
    return MAPI_E_COLLISION;
}

struct Waiting {
    ListedFile file;
    fs::path finalDirectory; // of the directory that holds it
};

// The complete messages of a Maildir directory (new/ and cur/ hold whole files only), oldest
// name first. What cannot be a message is named in the failure trace.
std::vector<Waiting> messageFiles(const std::vector<fs::path>& directories) {
    std::vector<Waiting> files;
    for (const fs::path& directory : directories) {
        std::vector<ListedFile> listed = listFiles(directory);
        const auto final = listed.empty() ? std::nullopt : devkit::finalPath(directory);
        if (!final)
            continue;
        for (ListedFile& file : listed) {
            if (file.directory)
                leftAlone(file.path, file.link ? "a link to a directory" : "a directory");
            else
                files.push_back({std::move(file), *final});
        }
    }
    std::sort(files.begin(), files.end(),
              [](const Waiting& a, const Waiting& b) { return a.file.name < b.file.name; });
    return files;
}

// A message that cannot move now (held by its writer, say) does not hold up the others; the
// first failure is the flush's result.
HRESULT moveAll(const std::vector<Waiting>& files, Destination& to) {
    HRESULT first = S_OK;
    for (const Waiting& waiting : files) {
        if (const ListedHook hook = listedHook)
            hook(waiting.file.path.c_str());
        DropFile file = DropFile::open(waiting.file, waiting.finalDirectory);
        HRESULT result = S_OK;
        switch (file.refusal()) {
        case DropFile::Refusal::none:
            result = moveMessage(file, waiting.file.path,
                                 uniqueNameOf(wideToUtf8(waiting.file.name.c_str())), to);
            break;
        case DropFile::Refusal::busy:
            result = HRESULT_FROM_WIN32(file.error());
            break;
        case DropFile::Refusal::link:
            leftAlone(waiting.file.path, "a link, or a file reached through one");
            break;
        case DropFile::Refusal::special:
            leftAlone(waiting.file.path, "not a plain file");
            break;
        case DropFile::Refusal::gone:    // another flush took it
        case DropFile::Refusal::changed: // the next flush looks again
            break;
        }
        if (FAILED(result) && SUCCEEDED(first))
            first = result;
    }
    return first;
}

HRESULT download(const fs::path& drop, devkit::MaildirStore& store) {
    // Nothing waiting costs two listings of the drop, whatever the Inbox holds.
    const std::vector<Waiting> waiting = messageFiles({drop / "new", drop / "cur"});
    if (waiting.empty())
        return S_OK;
    const std::string inbox = store.receiveFolder();
    if (!store.isMaildir(inbox))
        return MAPI_E_NOT_FOUND;
    Destination to{store.directory(inbox) / "new", store.directory(inbox) / "tmp", {}, {}};
    for (const auto& message : store.messages(inbox))
        to.present.insert(message.unique);
    to.content = [&](const std::string& name) -> std::optional<std::string> {
        if (auto found = store.findMessage(inbox, name))
            return readPlainFile(found->file);
        return std::nullopt;
    };
    return moveAll(waiting, to);
}

HRESULT upload(const fs::path& drop, devkit::MaildirStore& store) {
    if (GetFileAttributesW(store.directory(outboxFolder).c_str()) == INVALID_FILE_ATTRIBUTES)
        return S_OK; // no Outbox: nothing waits
    const std::vector<Waiting> waiting = messageFiles(
        {store.directory(outboxFolder) / "new", store.directory(outboxFolder) / "cur"});
    if (waiting.empty())
        return S_OK;
    Destination to{drop / "outgoing", drop / "tmp", {}, {}};
    std::error_code error;
    fs::create_directories(to.directory, error);
    for (const ListedFile& file : listFiles(to.directory))
        to.present.insert(wideToUtf8(file.name.c_str()));
    to.content = [&](const std::string& name) {
        return readPlainFile(to.directory / fs::path(utf8ToWide(name)));
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

std::optional<std::string> dropRefusal(const MailDrop& drop, const devkit::MaildirStore& store) {
    if (store.leadsInside(drop.directory))
        return "it lies inside the store";
    // A link to a directory is a reparse point, on Windows and under Wine alike.
    for (const char* sub : {"new", "cur", "tmp", "outgoing"}) {
        const fs::path directory = drop.directory / sub;
        const DWORD attributes = GetFileAttributesW(directory.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        return std::string("its ") + sub +
               (store.leadsInside(directory) ? "/ leads into the store" : "/ is a link");
    }
    return std::nullopt;
}

HRESULT flushMailDrop(const MailDrop& drop, devkit::MaildirStore& store, ULONG flags) {
    std::lock_guard guard(flushing);
    std::error_code error;
    if (!fs::is_directory(drop.directory, error))
        return MAPI_E_NETWORK_ERROR;
    if (const auto refusal = dropRefusal(drop, store)) {
        // Emptying the store into itself would delete what it holds.
        traceOnce("mail drop " + drop.name + " refused, " + *refusal, drop.directory);
        return MAPI_E_NO_ACCESS;
    }
    if (!fs::is_directory(drop.directory / "new", error)) {
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

extern "C" void WINAPI MaildirSetDropHook(void(WINAPI* hook)(const wchar_t* file)) {
    maildir::listedHook = hook;
}
