#include "store_boundary.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <system_error>

namespace devkit {

namespace {

#ifdef _WIN32
// The final path of an open file or directory: every link resolved, in "\\?\C:\..." form.
std::optional<fs::path> finalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return fs::path(path);
        }
        path.resize(length + 1);
    }
}

HANDLE openForQuery(const fs::path& path, DWORD access) {
    // Without FILE_FLAG_OPEN_REPARSE_POINT: the handle is on what the path leads to.
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<fs::path> finalPath(const fs::path& path) {
    HANDLE handle = openForQuery(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    auto found = finalPathOf(handle);
    CloseHandle(handle);
    return found;
}

bool startsWithIgnoringCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.data(), int(prefix.size()), prefix.data(), int(prefix.size()),
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

} // namespace

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
    std::error_code error;
    if (!contains(directory))
        return false;
    for (auto it = fs::recursive_directory_iterator(directory, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        if (it->is_directory(typeError) && !contains(it->path()))
            return false;
    }
    if (error)
        return false;
    fs::remove_all(directory, error);
    return !error;
}

} // namespace devkit
