#include "store_boundary.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <system_error>

namespace devkit {

namespace {

#ifdef _WIN32
// The object name of an open file: under Wine "\??\C:\...", every link resolved.
std::optional<std::wstring> objectNameOf(HANDLE handle) {
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    struct Name {
        USHORT length, maximumLength;
        WCHAR* buffer;
    };
    constexpr int objectNameInformation = 1;
    std::vector<std::uint64_t> storage(8192); // 64 KiB: more than any name
    ULONG returned = 0;
    if (!query || query(handle, objectNameInformation, storage.data(),
                        ULONG(storage.size() * sizeof storage[0]), &returned) < 0)
        return std::nullopt;
    const auto* name = reinterpret_cast<const Name*>(storage.data());
    return std::wstring(name->buffer, name->length / sizeof(WCHAR));
}

} // namespace

std::optional<fs::path> finalPathOf(void* handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0 && GetLastError() == ERROR_MORE_DATA) {
            // Wine's own call gives up on a path longer than MAX_PATH (an appointment's name may
            // have 200 characters); the object name it works from is the same path as
            // "\??\C:\...". Any other form (a device path) is refused.
            auto name = objectNameOf(handle);
            if (!name || !name->starts_with(L"\\??\\"))
                return std::nullopt;
            (*name)[1] = L'\\';
            return fs::path(*name);
        }
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return fs::path(path);
        }
        path.resize(length + 1);
    }
}

namespace {

HANDLE openForQuery(const fs::path& path, DWORD access) {
    // Without FILE_FLAG_OPEN_REPARSE_POINT: the handle is on what the path leads to.
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool startsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.data(), int(prefix.size()), prefix.data(), int(prefix.size()),
                                TRUE) == CSTR_EQUAL;
}
#endif

} // namespace

#ifdef _WIN32
std::optional<fs::path> finalPath(const fs::path& path) {
    HANDLE handle = openForQuery(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    auto found = finalPathOf(handle);
    CloseHandle(handle);
    return found;
}

bool sameFinalPath(const fs::path& a, const fs::path& b) {
    const std::wstring &left = a.native(), &right = b.native();
    return left.size() == right.size() &&
           CompareStringOrdinal(left.data(), int(left.size()), right.data(), int(right.size()),
                                TRUE) == CSTR_EQUAL;
}
#else
std::optional<fs::path> finalPath(const fs::path& path) {
    std::error_code error;
    fs::path found = fs::canonical(path, error);
    if (error)
        return std::nullopt;
    return found;
}
#endif

bool StoreBoundary::insideRoot(const std::optional<fs::path>& finalPath) const {
    if (!finalPath)
        return false;
    if (!rootFinal_)
        rootFinal_ = devkit::finalPath(root_);
    if (!rootFinal_)
        return false;
#ifdef _WIN32
    const std::wstring& root = rootFinal_->native();
    const std::wstring& path = finalPath->native();
    return startsWithIgnoringCase(path, root) &&
           (path.size() == root.size() || path[root.size()] == L'\\' || root.back() == L'\\');
#else
    const std::string& root = rootFinal_->native();
    const std::string& path = finalPath->native();
    return path.compare(0, root.size(), root) == 0 &&
           (path.size() == root.size() || path[root.size()] == '/' || root.back() == '/');
#endif
}

bool StoreBoundary::contains(const fs::path& path) const {
    return insideRoot(finalPath(path));
}

#ifdef _WIN32
bool StoreBoundary::containsOpen(void* handle) const {
    return insideRoot(finalPathOf(handle));
}
#endif

bool StoreBoundary::removeFile(const fs::path& path) const {
#ifdef _WIN32
    HANDLE handle = openForQuery(path, DELETE | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool removed =
        insideRoot(finalPathOf(handle)) &&
        SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle);
    return removed;
#else
    std::error_code error;
    return contains(path) && fs::remove(path, error);
#endif
}

bool StoreBoundary::removeTree(const fs::path& directory) const {
    // First every directory is checked, so that a tree with a way out loses nothing.
    return contains(directory) && allInside(directory) && removeDirectoryTree(directory);
}

#ifdef _WIN32
bool opensOnlyByShortName(std::wstring_view name) {
    return name.find_first_of(L"*?\"<>|") != std::wstring_view::npos ||
           (!name.empty() && (name.back() == L'.' || name.back() == L' ') && name != L"." &&
            name != L"..");
}

namespace {

struct Entry {
    fs::path path; // what opens it
    bool directory = false;
    bool link = false;
};

// What `directory` holds. A name that Windows cannot open (a Linux tool may write '*', '?',
// '"', '<', '>' or '|') is given by its short name. False when it cannot be listed.
bool listEntries(const fs::path& directory, std::vector<Entry>& entries) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((directory / L"*").c_str(), FindExInfoStandard, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const bool shortOnly = opensOnlyByShortName(name);
        if (shortOnly && !found.cAlternateFileName[0]) {
            FindClose(search);
            return false; // nothing could remove it
        }
        entries.push_back({directory / (shortOnly ? found.cAlternateFileName : found.cFileName),
                           (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                           (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

} // namespace

bool StoreBoundary::allInside(const fs::path& directory) const {
    std::vector<Entry> entries;
    if (!listEntries(directory, entries))
        return false;
    // A directory link is refused even when it leads inside: RemoveDirectoryW removes the link
    // on Windows but, under Wine, the (empty) directory it leads to.
    for (const Entry& entry : entries)
        if (entry.directory && (entry.link || !contains(entry.path) || !allInside(entry.path)))
            return false;
    return true;
}

bool removeDirectoryTree(const fs::path& directory) {
    std::vector<Entry> entries;
    if (!listEntries(directory, entries))
        return false;
    bool removed = true;
    for (const Entry& entry : entries) {
        if (entry.directory && entry.link)
            removed = false; // see allInside
        else if (entry.directory)
            removed &= removeDirectoryTree(entry.path);
        else
            removed &= DeleteFileW(entry.path.c_str()) != FALSE;
    }
    return removed && RemoveDirectoryW(directory.c_str());
}
#else
bool StoreBoundary::allInside(const fs::path& directory) const {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(directory, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !contains(it->path()))
            return false;
    }
    return !error;
}

bool removeDirectoryTree(const fs::path& directory) {
    std::error_code error;
    fs::remove_all(directory, error);
    return !error;
}
#endif

} // namespace devkit
